#include "ui/history/run_documents_model.h"

#include "ui/browser/code_page.h"

RunDocumentsModel::RunDocumentsModel(QObject* parent)
    : QAbstractTableModel(parent) {}

void RunDocumentsModel::setDocuments(
    std::vector<engine::DocumentNow> documents) {
  beginResetModel();
  documents_ = std::move(documents);
  endResetModel();
}

const engine::DocumentNow& RunDocumentsModel::document(int row) const {
  return documents_.at(static_cast<std::size_t>(row));
}

QString RunDocumentsModel::stateWords(engine::DocumentState state) {
  switch (state) {
    case engine::DocumentState::kAsLeft:
      return tr("as the run left it");
    case engine::DocumentState::kChangedSince:
      return tr("changed since");
    case engine::DocumentState::kMissing:
      return tr("missing");
    case engine::DocumentState::kAsBefore:
      return tr("already as before");
  }
  return QString();
}

int RunDocumentsModel::rowCount(const QModelIndex& parent) const {
  return parent.isValid() ? 0 : static_cast<int>(documents_.size());
}

int RunDocumentsModel::columnCount(const QModelIndex& parent) const {
  return parent.isValid() ? 0 : ColumnCount;
}

QVariant RunDocumentsModel::data(const QModelIndex& index, int role) const {
  if (!checkIndex(index, CheckIndexOption::IndexIsValid)) return QVariant();
  if (role != Qt::DisplayRole && role != Qt::ToolTipRole) return QVariant();
  const engine::DocumentNow& shown = document(index.row());
  if (index.column() == StateColumn) return stateWords(shown.state);
  // Paths are file names, which need not be UTF-8.
  return ui::fromPathBytes(QByteArray::fromStdString(shown.document.path));
}

QVariant RunDocumentsModel::headerData(int section, Qt::Orientation orientation,
                                       int role) const {
  if (orientation != Qt::Horizontal || role != Qt::DisplayRole)
    return QAbstractTableModel::headerData(section, orientation, role);
  return section == DocumentColumn ? tr("Document") : tr("State now");
}
