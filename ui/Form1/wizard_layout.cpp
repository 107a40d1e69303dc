#include "ui/Form1/wizard_layout.h"

#include <QFrame>
#include <QLabel>
#include <QPushButton>

namespace wizard {

QFont dialogFont() {
  QFont font;
  // Liberation Sans has Arial's metrics, which are close to those of the
  // Windows dialog face the layout was measured with.
  font.setFamilies({QStringLiteral("Liberation Sans"), QStringLiteral("Arial"),
                    QStringLiteral("Helvetica"),
                    QStringLiteral("DejaVu Sans")});
  font.setPointSizeF(8.25);
  font.setWeight(QFont::Normal);
  return font;
}

QFont bannerFont() {
  QFont font;
  // Impact is a heavy condensed face; its nearest packaged relatives are
  // the narrow sans faces in bold.
  font.setFamilies({QStringLiteral("Liberation Sans Narrow"),
                    QStringLiteral("Nimbus Sans Narrow"),
                    QStringLiteral("DejaVu Sans Condensed")});
  font.setPointSize(36);
  font.setWeight(QFont::Bold);
  font.setStretch(QFont::Condensed);
  return font;
}

QLabel* addLabel(QWidget* container, const char* name, const QRect& place,
                 const QString& text, Qt::Alignment alignment) {
  auto* label = new QLabel(text, container);
  label->setObjectName(QLatin1String(name));
  label->setTextFormat(Qt::PlainText);
  label->setWordWrap(true);
  label->setAlignment(alignment | Qt::AlignTop);
  label->setGeometry(place);
  return label;
}

QPushButton* addButton(QWidget* container, const char* name, const QRect& place,
                       const QString& caption) {
  auto* button = new QPushButton(caption, container);
  button->setObjectName(QLatin1String(name));
  button->setGeometry(place);
  return button;
}

QFrame* addLine(QWidget* container, const char* name, int x1, int y1, int x2,
                int y2) {
  auto* line = new QFrame(container);
  line->setObjectName(QLatin1String(name));
  line->setFrameShape(y1 == y2 ? QFrame::HLine : QFrame::VLine);
  line->setFrameShadow(QFrame::Plain);
  line->setLineWidth(1);
  line->setGeometry(QRect(QPoint(px(x1), px(y1)), QPoint(px(x2), px(y2))));
  return line;
}

}  // namespace wizard
