#include "ui/history/run_list_model.h"

#include <QDateTime>
#include <QLocale>
#include <algorithm>

#include "ui/browser/code_page.h"

namespace {

QString fromBytes(const std::string& bytes) {
  // Folders are file names, which need not be UTF-8.
  return ui::fromPathBytes(QByteArray::fromStdString(bytes));
}

QString when(std::int64_t started) {
  return QLocale().toString(QDateTime::fromSecsSinceEpoch(started),
                            QLocale::ShortFormat);
}

}  // namespace

RunListModel::RunListModel(QObject* parent) : QAbstractTableModel(parent) {}

void RunListModel::setRuns(std::vector<engine::HistoryRun> runs) {
  beginResetModel();
  runs_ = std::move(runs);
  endResetModel();
}

const engine::HistoryRun& RunListModel::run(int row) const {
  return runs_.at(static_cast<std::size_t>(row));
}

int RunListModel::rowOf(std::int64_t id) const {
  const auto found = std::find_if(
      runs_.begin(), runs_.end(),
      [id](const engine::HistoryRun& run) { return run.id == id; });
  return found == runs_.end() ? -1 : static_cast<int>(found - runs_.begin());
}

int RunListModel::rowCount(const QModelIndex& parent) const {
  return parent.isValid() ? 0 : static_cast<int>(runs_.size());
}

int RunListModel::columnCount(const QModelIndex& parent) const {
  return parent.isValid() ? 0 : ColumnCount;
}

QVariant RunListModel::data(const QModelIndex& index, int role) const {
  if (!checkIndex(index, CheckIndexOption::IndexIsValid)) return QVariant();
  const engine::HistoryRun& shown = run(index.row());
  if (role == Qt::TextAlignmentRole && index.column() == DocumentsColumn)
    return QVariant::fromValue(Qt::AlignRight | Qt::AlignVCenter);
  if (role == Qt::ToolTipRole && index.column() == WhatColumn)
    return QString::fromStdString(shown.what);
  if (role != Qt::DisplayRole) return QVariant();
  switch (index.column()) {
    case WhenColumn:
      return when(shown.started);
    case FolderColumn:
      return fromBytes(shown.folder);
    case WhatColumn:
      return QString::fromStdString(shown.what);
    case DocumentsColumn:
      return static_cast<qlonglong>(shown.documents);
    case EndedColumn:
      return QString::fromStdString(shown.ending);
  }
  return QVariant();
}

QVariant RunListModel::headerData(int section, Qt::Orientation orientation,
                                  int role) const {
  if (orientation != Qt::Horizontal || role != Qt::DisplayRole)
    return QAbstractTableModel::headerData(section, orientation, role);
  switch (section) {
    case WhenColumn:
      return tr("When");
    case FolderColumn:
      return tr("Folder");
    case WhatColumn:
      return tr("What");
    case DocumentsColumn:
      return tr("Documents");
    case EndedColumn:
      return tr("Ended");
  }
  return QVariant();
}
