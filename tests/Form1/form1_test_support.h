// A main window under test: shown offscreen, its controls found by name; a
// run window whose user acts in the middle of a run; and a user who answers
// questions.

#ifndef VANTREL_TESTS_FORM1_FORM1_TEST_SUPPORT_H_
#define VANTREL_TESTS_FORM1_FORM1_TEST_SUPPORT_H_

#include <QApplication>
#include <QLabel>
#include <QMessageBox>
#include <QPlainTextEdit>
#include <QProgressBar>
#include <QPushButton>
#include <QSemaphore>
#include <QTabWidget>
#include <QTimer>
#include <atomic>
#include <functional>

#include "browser/browser_test_support.h"
#include "ui/Form1/form1.h"
#include "ui/browser/file_list.h"
#include "ui/widgets/run_worker.h"

namespace testing_support {

// A run window on which a user acts once its run is past the first
// document; the run waits for that before its second entry.
template <typename Window>
class BusyUser : public Window {
 public:
  BusyUser() {
    auto* runner = this->template findChild<RunWorker*>(
        QString(), Qt::FindDirectChildrenOnly);
    if (!runner) qFatal("no run worker");
    runner->setStopCheck([this] {  // on the run's thread
      if (++asked_ == 2) acted_.tryAcquire(1, 60000);
      return false;
    });
  }
  std::function<void()> atFirstDocument;
  void setProgressValue(int value) override {
    Window::setProgressValue(value);
    if (value != 1 || !atFirstDocument) return;
    std::exchange(atFirstDocument, nullptr)();
    acted_.release();
  }

 private:
  QSemaphore acted_;
  std::atomic<int> asked_ = 0;
};

// While alive, answers every question box with answer, noting each as
// "title: text".
struct AnsweredQuestions {
  QMessageBox::StandardButton answer = QMessageBox::No;
  QStringList asked;
  QTimer poll;
  AnsweredQuestions() {
    QObject::connect(&poll, &QTimer::timeout, [this] {
      auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget());
      if (!box) return;
      asked << box->windowTitle() + ": " + box->text();
      box->button(answer)->click();
    });
    poll.start(10);
  }
};

template <typename Window = Form1>
struct MainWindowOf {
  MainWindowOf() {
    form.show();
    if (!QTest::qWaitForWindowExposed(&form)) qFatal("no window");
  }

  template <typename T = QWidget>
  T* get(const char* name) const {
    T* child = form.template findChild<T*>(QLatin1String(name));
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
  // Presses a button, first showing the page that holds it, and waits for
  // the end of the run it may have started.
  void press(const char* name, int page = -1) const {
    if (page >= 0) tabs()->setCurrentIndex(page);
    QTest::mouseClick(get<QPushButton>(name), Qt::LeftButton);
    QVERIFY(QTest::qWaitFor([] { return !RunWorker::anyRunning(); }, 60000));
  }
  // The status lines, the bar and the Update button at a glance.
  QString state() const {
    return label("Label11") + " | " + label("Label12") +
           (progress()->value() <= 0 ? " | empty bar | " : " | bar | ") +
           (get<QPushButton>("Command5")->isEnabled() ? "Update" : "no Update");
  }

  Window form;
};
using MainWindow = MainWindowOf<>;

}  // namespace testing_support

#endif  // VANTREL_TESTS_FORM1_FORM1_TEST_SUPPORT_H_
