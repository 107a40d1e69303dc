#include "ui/browser/message_box.h"

#include <QGuiApplication>
#include <QMessageBox>
#include <QWidget>
#include <utility>

namespace ui {
namespace {

MessageHandler& installedHandler() {
  static MessageHandler handler;
  return handler;
}

}  // namespace

void informUser(QWidget* parent, const QString& title, const QString& prompt) {
  if (const MessageHandler& handler = installedHandler()) {
    handler(parent, title, prompt);
    return;
  }
  QMessageBox box(QMessageBox::Information, title, prompt, QMessageBox::Ok,
                  parent ? parent->window() : nullptr);
  // Window-modal would leave the other windows of the program usable while
  // a run waits for this box.
  box.setWindowModality(Qt::ApplicationModal);
  box.exec();
}

MessageHandler setMessageHandler(MessageHandler handler) {
  return std::exchange(installedHandler(), std::move(handler));
}

QString titleFor(const QWidget* widget) {
  if (widget) {
    const QString caption = widget->window()->windowTitle();
    if (!caption.isEmpty()) return caption;
  }
  return QGuiApplication::applicationDisplayName();
}

}  // namespace ui
