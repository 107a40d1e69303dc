// A main window under test: shown offscreen on a fresh temporary folder,
// its controls found by name, its message boxes caught.

#ifndef VANTREL_TESTS_FORM1_FORM1_TEST_SUPPORT_H_
#define VANTREL_TESTS_FORM1_FORM1_TEST_SUPPORT_H_

#include <QApplication>
#include <QLabel>
#include <QPlainTextEdit>
#include <QProgressBar>
#include <QPushButton>
#include <QTabWidget>
#include <QTest>
#include <memory>

#include "browser/browser_test_support.h"
#include "ui/Form1/form1.h"
#include "ui/browser/file_list.h"
#include "ui/browser/folder_list.h"

namespace testing_support {

// Reads a whole file; a missing one reads as "<missing>".
inline QByteArray contents(const QString& path) {
  QFile file(path);
  if (!file.open(QIODevice::ReadOnly)) return "<missing>";
  return file.readAll();
}

// Windows of ours that are not the main window, found by name.
inline QList<QWidget*> openWindows(const QString& name) {
  QList<QWidget*> found;
  for (QWidget* window : QApplication::topLevelWidgets())
    if (window->objectName() == name && window->isVisible())
      found.push_back(window);
  return found;
}

// Closes every other window and lets the deleted ones go.
inline void closeOtherWindows() {
  for (QWidget* window : QApplication::topLevelWidgets())
    if (window->objectName() != QLatin1String("Form1")) window->close();
  QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
}

struct MainWindow {
  MainWindow() : form(std::make_unique<Form1>()) {
    form->show();
    if (!QTest::qWaitForWindowExposed(form.get())) qFatal("no window");
  }

  template <typename T>
  T* get(const char* name) const {
    T* child = form->findChild<T*>(QLatin1String(name));
    if (!child) qFatal("no control %s", name);
    return child;
  }
  QTabWidget* tabs() const { return get<QTabWidget>("SSIndexTab1"); }
  QPushButton* button(const char* name) const { return get<QPushButton>(name); }
  QLabel* label(const char* name) const { return get<QLabel>(name); }
  QPlainTextEdit* text(const char* name) const {
    return get<QPlainTextEdit>(name);
  }
  FolderList* folders() const { return get<FolderList>("Dir1"); }
  FileList* files() const { return get<FileList>("File1"); }
  QProgressBar* progress() const { return get<QProgressBar>("ProgressBar1"); }

  // Opens folder in Dir1, as a double click would.
  void openFolder(const QString& folder) const { folders()->setPath(folder); }
  // Presses a button on the page that holds it.
  void press(const char* name, int page = -1) const {
    if (page >= 0) tabs()->setCurrentIndex(page);
    QTest::mouseClick(button(name), Qt::LeftButton);
  }

  std::unique_ptr<Form1> form;
};

}  // namespace testing_support

#endif  // VANTREL_TESTS_FORM1_FORM1_TEST_SUPPORT_H_
