#include "ui/Form1/index_tab.h"

#include <algorithm>

IndexTab::IndexTab(QWidget* parent) : QTabWidget(parent) {
  setUsesScrollButtons(false);
}

void IndexTab::addFramePage(QWidget* frame, const QString& caption,
                            QPoint place) {
  auto* page = new QWidget(this);
  frame->setParent(page);
  addTab(page, caption);
  frames_.push_back({frame, place});
  placeFrames();
}

void IndexTab::resizeEvent(QResizeEvent* event) {
  QTabWidget::resizeEvent(event);
  placeFrames();
}

void IndexTab::showEvent(QShowEvent* event) {
  QTabWidget::showEvent(event);
  placeFrames();
}

void IndexTab::placeFrames() {
  for (const Placed& placed : frames_) {
    const QPoint origin = placed.frame->parentWidget()->mapTo(this, QPoint());
    placed.frame->move(std::max(0, placed.place.x() - origin.x()),
                       std::max(0, placed.place.y() - origin.y()));
  }
}
