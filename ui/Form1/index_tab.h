// IndexTab is the wizard's tab control.  Its pages' frames are placed in
// the coordinates of the whole control, the tab row included, as the
// layout gives them; the frame is moved to make up for wherever the style
// puts the page area.

#ifndef VANTREL_UI_FORM1_INDEX_TAB_H_
#define VANTREL_UI_FORM1_INDEX_TAB_H_

#include <QPoint>
#include <QTabWidget>
#include <vector>

class IndexTab : public QTabWidget {
  Q_OBJECT

 public:
  explicit IndexTab(QWidget* parent = nullptr);

  // Adds a page holding frame at place, in the control's coordinates.
  void addFramePage(QWidget* frame, const QString& caption, QPoint place);

 protected:
  void resizeEvent(QResizeEvent* event) override;
  void showEvent(QShowEvent* event) override;

 private:
  void placeFrames();

  struct Placed {
    QWidget* frame;
    QPoint place;
  };
  std::vector<Placed> frames_;
};

#endif  // VANTREL_UI_FORM1_INDEX_TAB_H_
