// The recorded runs as the History window lists them, newest first, one row
// each: when it started, its folder, what it did, how many documents it
// changed and how it ended.

#ifndef VANTREL_UI_HISTORY_RUN_LIST_MODEL_H_
#define VANTREL_UI_HISTORY_RUN_LIST_MODEL_H_

#include <QAbstractTableModel>
#include <cstdint>
#include <vector>

#include "engine/history/history_store.h"

class RunListModel : public QAbstractTableModel {
  Q_OBJECT
 public:
  enum Column {
    WhenColumn,
    FolderColumn,
    WhatColumn,
    DocumentsColumn,
    EndedColumn,
    ColumnCount
  };

  explicit RunListModel(QObject* parent = nullptr);

  // Replaces the runs; they are listed in the order given.
  void setRuns(std::vector<engine::HistoryRun> runs);
  const engine::HistoryRun& run(int row) const;
  // The row of the run with id, or -1.
  int rowOf(std::int64_t id) const;

  int rowCount(const QModelIndex& parent = QModelIndex()) const override;
  int columnCount(const QModelIndex& parent = QModelIndex()) const override;
  QVariant data(const QModelIndex& index, int role) const override;
  QVariant headerData(int section, Qt::Orientation orientation,
                      int role) const override;

 private:
  std::vector<engine::HistoryRun> runs_;
};

#endif  // VANTREL_UI_HISTORY_RUN_LIST_MODEL_H_
