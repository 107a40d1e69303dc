#include "ui/preview/preview_model.h"

#include <QString>
#include <algorithm>

namespace {

using Verdict = engine::PreviewDocument::Verdict;

QString fromUtf8(const std::string& text, std::size_t from, std::size_t to) {
  to = std::min(to, text.size());
  from = std::min(from, to);
  return QString::fromUtf8(text.data() + from,
                           static_cast<qsizetype>(to - from));
}

// A document without changes still takes two rows: its header and why.
int rowsFor(const engine::PreviewDocument& document) {
  if (document.verdict != Verdict::kChanges) return 2;
  return 1 + 2 * static_cast<int>(document.lines.size());
}

QString detailOf(const engine::PreviewDocument& document) {
  switch (document.verdict) {
    case Verdict::kChanges:
      return document.replacements == 1
                 ? PreviewModel::tr("1 replacement")
                 : PreviewModel::tr("%1 replacements")
                       .arg(static_cast<qulonglong>(document.replacements));
    case Verdict::kRefused:
      return PreviewModel::tr("refused");
    case Verdict::kTextNotFound:
      break;
  }
  return PreviewModel::tr("not changed");
}

QString reasonOf(const engine::PreviewDocument& document) {
  if (document.verdict == Verdict::kRefused)
    return QString::fromStdString(document.reason);
  return PreviewModel::tr("The text was not found.");
}

}  // namespace

PreviewModel::PreviewModel(QObject* parent)
    : QAbstractListModel(parent),
      preview_(std::make_shared<const engine::Preview>()),
      firstRows_{0} {}

void PreviewModel::setPreview(std::shared_ptr<const engine::Preview> preview) {
  beginResetModel();
  preview_ =
      preview ? std::move(preview) : std::make_shared<const engine::Preview>();
  rebuild();
  endResetModel();
}

void PreviewModel::setOnlyChanges(bool only) {
  if (only == onlyChanges_) return;
  beginResetModel();
  onlyChanges_ = only;
  rebuild();
  endResetModel();
}

void PreviewModel::rebuild() {
  const auto& documents = preview_->documents;
  shown_.clear();
  shownAt_.assign(documents.size(), -1);
  firstRows_.assign(1, 0);
  for (std::size_t i = 0; i < documents.size(); ++i) {
    if (onlyChanges_ && documents[i].verdict != Verdict::kChanges) continue;
    shownAt_[i] = static_cast<int>(shown_.size());
    shown_.push_back(i);
    firstRows_.push_back(firstRows_.back() + rowsFor(documents[i]));
  }
}

int PreviewModel::rowCount(const QModelIndex& parent) const {
  return parent.isValid() ? 0 : totalRows();
}

std::size_t PreviewModel::documentAt(int row) const {
  const auto after =
      std::upper_bound(firstRows_.begin(), firstRows_.end() - 1, row);
  return shown_[static_cast<std::size_t>(after - firstRows_.begin()) - 1];
}

int PreviewModel::firstRowOf(std::size_t document) const {
  const int at = shownAt_[document];
  return at < 0 ? -1 : firstRows_[static_cast<std::size_t>(at)];
}

int PreviewModel::rowsOf(std::size_t document) const {
  const int at = shownAt_[document];
  if (at < 0) return 0;
  return firstRows_[static_cast<std::size_t>(at) + 1] -
         firstRows_[static_cast<std::size_t>(at)];
}

QVariant PreviewModel::data(const QModelIndex& index, int role) const {
  if (!checkIndex(index, CheckIndexOption::IndexIsValid)) return QVariant();
  const std::size_t number = documentAt(index.row());
  const engine::PreviewDocument& document = preview_->documents[number];
  const int offset = index.row() - firstRowOf(number);
  if (offset == 0) {
    switch (role) {
      case Qt::DisplayRole:
        return QString::fromStdString(document.name);
      case KindRole:
        return DocumentRow;
      case DetailRole:
        return detailOf(document);
    }
    return QVariant();
  }
  if (document.verdict != Verdict::kChanges) {
    if (role == Qt::DisplayRole) return reasonOf(document);
    if (role == KindRole) return ReasonRow;
    return QVariant();
  }
  const bool before = offset % 2 == 1;
  return lineData(document.lines[static_cast<std::size_t>(offset - 1) / 2],
                  before, role);
}

QVariant PreviewModel::lineData(const engine::PreviewLine& line, bool before,
                                int role) const {
  const std::string& text = before ? line.before : line.after;
  const std::size_t start = before ? line.match_offset : line.inserted_offset;
  const std::size_t length = before ? line.match_length : line.inserted_length;
  switch (role) {
    case Qt::DisplayRole:
      return QString::fromUtf8(text.data(),
                               static_cast<qsizetype>(text.size()));
    case KindRole:
      return before ? BeforeRow : AfterRow;
    case LineNumberRole:
      return static_cast<qulonglong>(line.number);
    case SpanStartRole:
      return static_cast<int>(fromUtf8(text, 0, start).size());
    case SpanLengthRole:
      return static_cast<int>(fromUtf8(text, start, start + length).size());
  }
  return QVariant();
}
