#include "ui/Form2/frameless_sizing.h"

#include <QEvent>
#include <QMouseEvent>
#include <QPainter>
#include <QWindow>

namespace {

// How far in from the window's edge a press still grabs the edge.
constexpr int kGripWidth = 4;

// Drawn over every control, but lets the mouse through to them.
class BorderLine : public QWidget {
 public:
  explicit BorderLine(QWidget* window) : QWidget(window) {
    setAttribute(Qt::WA_TransparentForMouseEvents);
    setFocusPolicy(Qt::NoFocus);
  }

 protected:
  void paintEvent(QPaintEvent*) override {
    QPainter painter(this);
    painter.setPen(palette().color(QPalette::Shadow));
    painter.drawRect(rect().adjusted(0, 0, -1, -1));
  }
};

Qt::CursorShape cursorFor(Qt::Edges edges) {
  const bool horizontal = edges & (Qt::LeftEdge | Qt::RightEdge);
  const bool vertical = edges & (Qt::TopEdge | Qt::BottomEdge);
  if (horizontal && vertical) {
    const bool falling = edges == (Qt::TopEdge | Qt::LeftEdge) ||
                         edges == (Qt::BottomEdge | Qt::RightEdge);
    return falling ? Qt::SizeFDiagCursor : Qt::SizeBDiagCursor;
  }
  return horizontal ? Qt::SizeHorCursor : Qt::SizeVerCursor;
}

}  // namespace

FramelessSizing::FramelessSizing(QWidget* window)
    : QObject(window), window_(window), border_(new BorderLine(window)) {
  border_->setGeometry(window->rect());
  border_->raise();
  window->setMouseTracking(true);
  window->installEventFilter(this);
  for (QWidget* child : window->findChildren<QWidget*>()) {
    if (child == border_) continue;
    child->setMouseTracking(true);
    child->installEventFilter(this);
  }
}

void FramelessSizing::addMoveHandle(QWidget* handle) {
  moveHandles_.append(handle);
}

Qt::Edges FramelessSizing::edgesAt(QPoint windowPos) const {
  Qt::Edges edges;
  if (windowPos.x() < kGripWidth) edges |= Qt::LeftEdge;
  if (windowPos.x() >= window_->width() - kGripWidth) edges |= Qt::RightEdge;
  if (windowPos.y() < kGripWidth) edges |= Qt::TopEdge;
  if (windowPos.y() >= window_->height() - kGripWidth) edges |= Qt::BottomEdge;
  return edges;
}

void FramelessSizing::showEdgeCursor(QWidget* widget, Qt::Edges edges) {
  if (edges) {
    widget->setCursor(cursorFor(edges));
  } else if (widget->testAttribute(Qt::WA_SetCursor)) {
    widget->unsetCursor();
  }
}

bool FramelessSizing::eventFilter(QObject* watched, QEvent* event) {
  auto* widget = qobject_cast<QWidget*>(watched);
  if (!widget) return false;
  if (widget == window_ && event->type() == QEvent::Resize) {
    border_->setGeometry(window_->rect());
    return false;
  }
  if (event->type() != QEvent::MouseMove &&
      event->type() != QEvent::MouseButtonPress) {
    return false;
  }
  auto* mouse = static_cast<QMouseEvent*>(event);
  const QPoint windowPos = widget->mapTo(window_, mouse->position().toPoint());
  const Qt::Edges edges = edgesAt(windowPos);
  if (event->type() == QEvent::MouseMove) {
    if (mouse->buttons() == Qt::NoButton) showEdgeCursor(widget, edges);
    return false;
  }
  if (mouse->button() != Qt::LeftButton || !window_->windowHandle()) {
    return false;
  }
  if (edges) return window_->windowHandle()->startSystemResize(edges);
  if (widget == window_ || moveHandles_.contains(widget)) {
    return window_->windowHandle()->startSystemMove();
  }
  return false;
}
