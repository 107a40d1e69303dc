// A main window under test: shown offscreen, its controls found by name.

#ifndef VANTREL_TESTS_FORM1_FORM1_TEST_SUPPORT_H_
#define VANTREL_TESTS_FORM1_FORM1_TEST_SUPPORT_H_

#include <QApplication>
#include <QLabel>
#include <QPlainTextEdit>
#include <QProgressBar>
#include <QPushButton>
#include <QTabWidget>

#include "browser/browser_test_support.h"
#include "ui/Form1/form1.h"
#include "ui/browser/file_list.h"

namespace testing_support {

struct MainWindow {
  MainWindow() {
    form.show();
    if (!QTest::qWaitForWindowExposed(&form)) qFatal("no window");
  }

  template <typename T = QWidget>
  T* get(const char* name) const {
    T* child = form.findChild<T*>(QLatin1String(name));
    if (!child) qFatal("no control %s", name);
    return child;
  }
  QString label(const char* name) const { return get<QLabel>(name)->text(); }
  QPlainTextEdit* text(const char* name) const {
    return get<QPlainTextEdit>(name);
  }
  QTabWidget* tabs() const { return get<QTabWidget>("SSIndexTab1"); }
  QProgressBar* progress() const { return get<QProgressBar>("ProgressBar1"); }
  FileList* files() const { return get<FileList>("File1"); }
  // Presses a button, first showing the page that holds it.
  void press(const char* name, int page = -1) const {
    if (page >= 0) tabs()->setCurrentIndex(page);
    QTest::mouseClick(get<QPushButton>(name), Qt::LeftButton);
  }
  // The status lines, the bar and the Update button at a glance.
  QString state() const {
    return label("Label11") + " | " + label("Label12") +
           (progress()->value() <= 0 ? " | empty bar | " : " | bar | ") +
           (get<QPushButton>("Command5")->isEnabled() ? "Update" : "no Update");
  }

  Form1 form;
};

}  // namespace testing_support

#endif  // VANTREL_TESTS_FORM1_FORM1_TEST_SUPPORT_H_
