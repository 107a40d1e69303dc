// Paints the rows of a PreviewModel: a document's name with its count, a
// changed line before (the matched text struck through on red) and after
// (the new text on green), and the reason a document stays as it is.
//
// Lines of web documents can be far wider than the window; a line that
// would put its highlighted text out of sight is shown from a little before
// that text, with an ellipsis for what is left out.  A line's before and
// after rows share the text in front of the highlight, so they are always
// cut at the same place and stay aligned.

#ifndef VANTREL_UI_PREVIEW_PREVIEW_DELEGATE_H_
#define VANTREL_UI_PREVIEW_PREVIEW_DELEGATE_H_

#include <QStyledItemDelegate>

class QAbstractItemModel;
class QTreeView;

class PreviewDelegate : public QStyledItemDelegate {
  Q_OBJECT
 public:
  explicit PreviewDelegate(QObject* parent = nullptr);

  // Makes view show model's rows as a preview does: one flat list of
  // rows of one height, painted by a delegate of this kind, nothing
  // selectable, long lines cut rather than scrolled.
  static void setUpView(QTreeView* view, QAbstractItemModel* model);

  void paint(QPainter* painter, const QStyleOptionViewItem& option,
             const QModelIndex& index) const override;
  // The same height for every kind of row, so that the view may assume it.
  QSize sizeHint(const QStyleOptionViewItem& option,
                 const QModelIndex& index) const override;

 private:
  void paintDocument(QPainter* painter, const QStyleOptionViewItem& option,
                     const QModelIndex& index) const;
  void paintLine(QPainter* painter, const QStyleOptionViewItem& option,
                 const QModelIndex& index, bool before) const;
  void paintReason(QPainter* painter, const QStyleOptionViewItem& option,
                   const QModelIndex& index) const;
  // Where the line numbers end and where the text of a line starts.
  int gutterWidth(const QStyleOptionViewItem& option) const;
  int textLeft(const QStyleOptionViewItem& option) const;
};

#endif  // VANTREL_UI_PREVIEW_PREVIEW_DELEGATE_H_
