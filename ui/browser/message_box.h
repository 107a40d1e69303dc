// Every message of the program reaches the user through informUser: a box
// with an information icon and one OK button that blocks every window until
// it is closed.  Tests replace the box with a handler of their own, since a
// modal box would wait for a click that never comes.

#ifndef VANTREL_UI_BROWSER_MESSAGE_BOX_H_
#define VANTREL_UI_BROWSER_MESSAGE_BOX_H_

#include <QString>
#include <functional>

class QWidget;

namespace ui {

using MessageHandler = std::function<void(QWidget* parent, const QString& title,
                                          const QString& prompt)>;

// Shows prompt under title over parent's window; returns once the user has
// closed the box (or at once, with a handler installed).
void informUser(QWidget* parent, const QString& title, const QString& prompt);

// Routes informUser to handler instead of a box; an empty handler restores
// the box.  Returns the handler that was installed before.
MessageHandler setMessageHandler(MessageHandler handler);

// The title for a message about a widget: its window's caption, else the
// application's name.
QString titleFor(const QWidget* widget);

}  // namespace ui

#endif  // VANTREL_UI_BROWSER_MESSAGE_BOX_H_
