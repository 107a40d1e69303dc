// A preview as a flat list that a view can page through: each document is a
// header row, followed by two rows per changed line (before, then after) or
// by one row saying why it stays as it is.  Every row is one line of text,
// so the view can give them all the same height.
//
// A preview may hold hundreds of thousands of lines; the rows are handed to
// the view in batches as it scrolls, and the text of a row is decoded only
// when the row is asked for.

#ifndef VANTREL_UI_PREVIEW_PREVIEW_MODEL_H_
#define VANTREL_UI_PREVIEW_PREVIEW_MODEL_H_

#include <QAbstractListModel>
#include <cstddef>
#include <memory>
#include <vector>

#include "engine/preview.h"

class PreviewModel : public QAbstractListModel {
  Q_OBJECT
 public:
  enum RowKind { DocumentRow, BeforeRow, AfterRow, ReasonRow };
  Q_ENUM(RowKind)

  enum Role {
    KindRole = Qt::UserRole + 1,  // RowKind
    DetailRole,      // document rows: "3 replacements", "refused"...
    LineNumberRole,  // before and after rows
    // The highlighted part of a before or after row, in QString positions.
    SpanStartRole,
    SpanLengthRole,
  };

  static constexpr int kBatchSize = 200;

  explicit PreviewModel(QObject* parent = nullptr);

  // Replaces the preview; the first batch of rows is there at once, so that
  // the view has something to paint before it asks for more.
  void setPreview(std::shared_ptr<const engine::Preview> preview);
  const engine::Preview& preview() const { return *preview_; }

  int rowCount(const QModelIndex& parent = QModelIndex()) const override;
  QVariant data(const QModelIndex& index, int role) const override;
  bool canFetchMore(const QModelIndex& parent) const override;
  void fetchMore(const QModelIndex& parent) override;

  // Rows of the whole preview, fetched or not, and where they are.
  int totalRows() const { return firstRows_.back(); }
  std::size_t documentAt(int row) const;
  int firstRowOf(std::size_t document) const { return firstRows_[document]; }
  int rowsOf(std::size_t document) const;
  // Makes sure that row (and the rest of its batch) has been fetched.
  void fetchUpTo(int row);

 private:
  QVariant lineData(const engine::PreviewLine& line, bool before,
                    int role) const;

  std::shared_ptr<const engine::Preview> preview_;
  // firstRows_[d] is the row of document d's header; the last entry is the
  // number of rows in all.
  std::vector<int> firstRows_;
  int fetched_ = 0;
};

#endif  // VANTREL_UI_PREVIEW_PREVIEW_MODEL_H_
