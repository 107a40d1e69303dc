#include "ui/widgets/progress_bar.h"

#include <QStyleOptionProgressBar>
#include <QStylePainter>

ProgressBar::ProgressBar(QWidget* parent) : QProgressBar(parent) {
  setRange(0, 100);
  setValue(0);
  setTextVisible(false);
}

void ProgressBar::paintEvent(QPaintEvent* event) {
  if (minimum() != maximum()) {
    QProgressBar::paintEvent(event);
    return;
  }
  QStyleOptionProgressBar option;
  initStyleOption(&option);
  option.maximum = option.minimum + 1;
  option.progress = option.minimum;
  QStylePainter painter(this);
  painter.drawControl(QStyle::CE_ProgressBar, option);
}
