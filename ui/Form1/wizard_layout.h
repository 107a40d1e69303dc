// Positions, fonts and control makers shared by the wizard's pages.  The
// window is laid out in twips, 15 to a pixel at 96 dots per inch; Qt's own
// scaling takes care of denser screens.

#ifndef VANTREL_UI_FORM1_WIZARD_LAYOUT_H_
#define VANTREL_UI_FORM1_WIZARD_LAYOUT_H_

#include <QFont>
#include <QRect>
#include <QString>
#include <Qt>

class QFrame;
class QLabel;
class QPushButton;
class QWidget;

namespace wizard {

constexpr int kTwipsPerPixel = 15;

constexpr int px(int twips) {
  return (twips + kTwipsPerPixel / 2) / kTwipsPerPixel;
}

constexpr QRect twips(int left, int top, int width, int height) {
  return QRect(px(left), px(top), px(width), px(height));
}

// The window's font, in place of "MS Sans Serif" 8.25 points.
QFont dialogFont();
// The banner's font, in place of "Impact" 36 points.
QFont bannerFont();

// A label that wraps at word boundaries and cuts off what does not fit.
QLabel* addLabel(QWidget* container, const char* name, const QRect& place,
                 const QString& text, Qt::Alignment alignment = Qt::AlignLeft);

QPushButton* addButton(QWidget* container, const char* name, const QRect& place,
                       const QString& caption);

// A one-pixel rule from (x1, y1) to (x2, y2), given in twips; the line
// must be horizontal or vertical.
QFrame* addLine(QWidget* container, const char* name, int x1, int y1, int x2,
                int y2);

}  // namespace wizard

#endif  // VANTREL_UI_FORM1_WIZARD_LAYOUT_H_
