// A window without a title bar still needs what its frame would give it:
// its edges resize it, a drag on its background (or on a picture handed to
// addMoveHandle) moves it, and a thin line shows where it ends.  The window
// manager does the resizing and moving, so they feel like any other window.

#ifndef VANTREL_UI_FORM2_FRAMELESS_SIZING_H_
#define VANTREL_UI_FORM2_FRAMELESS_SIZING_H_

#include <QObject>
#include <QPoint>
#include <QWidget>

class FramelessSizing : public QObject {
  Q_OBJECT
 public:
  // Watches window and the children it has now; create it after them.
  explicit FramelessSizing(QWidget* window);

  void addMoveHandle(QWidget* handle);

 protected:
  bool eventFilter(QObject* watched, QEvent* event) override;

 private:
  Qt::Edges edgesAt(QPoint windowPos) const;
  void showEdgeCursor(QWidget* widget, Qt::Edges edges);

  QWidget* window_;
  QWidget* border_;
  QList<QWidget*> moveHandles_;
};

#endif  // VANTREL_UI_FORM2_FRAMELESS_SIZING_H_
