// A preview as a flat list that a view can page through: each document is a
// header row, followed by two rows per changed line (before, then after) or
// by one row saying why it stays as it is.  Every row is one line of text,
// so the view can give them all the same height.
//
// A preview may hold hundreds of thousands of lines; every row is there at
// once (a row costs nothing until it is asked for, when its text is
// decoded), so that the end is one key press away.  Documents that would
// not change may be left out.

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

  explicit PreviewModel(QObject* parent = nullptr);

  // Replaces the preview.
  void setPreview(std::shared_ptr<const engine::Preview> preview);
  const engine::Preview& preview() const { return *preview_; }
  // Whether only the documents that would change are listed (the default).
  void setOnlyChanges(bool only);
  bool onlyChanges() const { return onlyChanges_; }

  int rowCount(const QModelIndex& parent = QModelIndex()) const override;
  QVariant data(const QModelIndex& index, int role) const override;

  // The rows, and where each document's are: documents are numbered as in
  // preview(); firstRowOf is -1 for a document left out.
  int totalRows() const { return firstRows_.back(); }
  std::size_t documentAt(int row) const;
  int firstRowOf(std::size_t document) const;
  int rowsOf(std::size_t document) const;

 private:
  QVariant lineData(const engine::PreviewLine& line, bool before,
                    int role) const;

  // Lists the documents to show and where their rows start.
  void rebuild();

  std::shared_ptr<const engine::Preview> preview_;
  bool onlyChanges_ = true;
  // The documents listed, in order; firstRows_[i] is the row of shown_[i]'s
  // header, and the last entry the number of rows in all.
  std::vector<std::size_t> shown_;
  std::vector<int> firstRows_;
  std::vector<int> shownAt_;  // per document: its place in shown_, or -1
};

#endif  // VANTREL_UI_PREVIEW_PREVIEW_MODEL_H_
