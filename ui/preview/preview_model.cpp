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
  firstRows_.assign(1, 0);
  firstRows_.reserve(preview_->documents.size() + 1);
  for (const engine::PreviewDocument& document : preview_->documents)
    firstRows_.push_back(firstRows_.back() + rowsFor(document));
  fetched_ = std::min(kBatchSize, totalRows());
  endResetModel();
}

int PreviewModel::rowCount(const QModelIndex& parent) const {
  return parent.isValid() ? 0 : fetched_;
}

bool PreviewModel::canFetchMore(const QModelIndex& parent) const {
  return !parent.isValid() && fetched_ < totalRows();
}

void PreviewModel::fetchMore(const QModelIndex& parent) {
  if (canFetchMore(parent)) fetchUpTo(fetched_);
}

void PreviewModel::fetchUpTo(int row) {
  if (row < fetched_) return;
  const int end = std::min(totalRows(), (row / kBatchSize + 1) * kBatchSize);
  if (end <= fetched_) return;
  beginInsertRows(QModelIndex(), fetched_, end - 1);
  fetched_ = end;
  endInsertRows();
}

std::size_t PreviewModel::documentAt(int row) const {
  const auto after =
      std::upper_bound(firstRows_.begin(), firstRows_.end() - 1, row);
  return static_cast<std::size_t>(after - firstRows_.begin()) - 1;
}

int PreviewModel::rowsOf(std::size_t document) const {
  return firstRows_[document + 1] - firstRows_[document];
}

QVariant PreviewModel::data(const QModelIndex& index, int role) const {
  if (!checkIndex(index, CheckIndexOption::IndexIsValid)) return QVariant();
  const std::size_t number = documentAt(index.row());
  const engine::PreviewDocument& document = preview_->documents[number];
  const int offset = index.row() - firstRows_[number];
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
