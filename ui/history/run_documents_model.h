// The documents of one recorded run, each with its state now in words, so
// that the user sees beforehand which of them an undo would put back.

#ifndef VANTREL_UI_HISTORY_RUN_DOCUMENTS_MODEL_H_
#define VANTREL_UI_HISTORY_RUN_DOCUMENTS_MODEL_H_

#include <QAbstractTableModel>
#include <vector>

#include "engine/history/undo_run.h"

class RunDocumentsModel : public QAbstractTableModel {
  Q_OBJECT
 public:
  enum Column { DocumentColumn, StateColumn, ColumnCount };

  explicit RunDocumentsModel(QObject* parent = nullptr);

  void setDocuments(std::vector<engine::DocumentNow> documents);
  const engine::DocumentNow& document(int row) const;

  // "as the run left it", "changed since", "missing", "already as before".
  static QString stateWords(engine::DocumentState state);

  int rowCount(const QModelIndex& parent = QModelIndex()) const override;
  int columnCount(const QModelIndex& parent = QModelIndex()) const override;
  QVariant data(const QModelIndex& index, int role) const override;
  QVariant headerData(int section, Qt::Orientation orientation,
                      int role) const override;

 private:
  std::vector<engine::DocumentNow> documents_;
};

#endif  // VANTREL_UI_HISTORY_RUN_DOCUMENTS_MODEL_H_
