// HelpWindow shows the help file "VANTREL.hlp", an HTML text, at its
// contents topic.  It is an ordinary window of its own beside the main
// window, closed by Escape.  When no help file is found it says so and
// where it looked.

#ifndef VANTREL_UI_HELP_HELP_WINDOW_H_
#define VANTREL_UI_HELP_HELP_WINDOW_H_

#include <QString>
#include <QStringList>
#include <QWidget>

class QTextBrowser;

class HelpWindow : public QWidget {
  Q_OBJECT

 public:
  static constexpr char kFileName[] = "VANTREL.hlp";

  // Looks for the help file in folders, in that order; deleted on close.
  explicit HelpWindow(const QStringList& folders = defaultFolders(),
                      QWidget* parent = nullptr);

  // The current folder, the executable's folder, the installed data folder.
  static QStringList defaultFolders();
  // The first folder's help file that can be read, or an empty text.
  static QString find(const QStringList& folders);

  // Shows the program's one help window at its contents topic, opening it
  // when it is not open (F1 and the Help buttons).
  static HelpWindow* showContents();

  // The file shown, or an empty text when none was found.
  QString file() const { return file_; }

 private:
  void goToContents();

  QTextBrowser* browser_;
  QString file_;
};

#endif  // VANTREL_UI_HELP_HELP_WINDOW_H_
