// The worker that the windows' runs go through, apart from any window: what
// it leaves behind when it can't start, and on which thread it asks the
// window whether to stop.

#include "ui/widgets/run_worker.h"

#include <QLineEdit>
#include <QTest>
#include <chrono>
#include <cstdlib>
#include <new>
#include <string>
#include <thread>
#include <utility>
#include <vector>

namespace {

// Making the run's thread allocates its state first thing; failing that
// allocation fails the start as a thread the system refuses would.
thread_local bool failNextAllocation = false;

// A window that ends the run as soon as it is asked, and keeps where from.
class StoppingWindow : public RunWindow {
 public:
  void showWorkingOn(const std::string&) override {}
  void showOperation(const std::string&) override {}
  void setProgressRange(int, int) override {}
  void setProgressValue(int) override {}
  void showMessage(const std::string&, const std::string&) override {}
  void disableUpdate() override {}
  void refreshList() override {}
  bool stopRequested() override {
    askedOn.push_back(std::this_thread::get_id());
    return true;
  }
  std::vector<std::thread::id> askedOn;  // the window's thread only
};

}  // namespace

void* operator new(std::size_t size) {
  if (std::exchange(failNextAllocation, false)) throw std::bad_alloc();
  if (void* memory = std::malloc(size == 0 ? 1 : size)) return memory;
  throw std::bad_alloc();
}
void operator delete(void* memory) noexcept { std::free(memory); }
void operator delete(void* memory, std::size_t) noexcept { std::free(memory); }

class RunWorkerTest : public QObject {
  Q_OBJECT

 private slots:
  void aRunThatCannotStartLeavesInputAlone();
  void theWindowIsAskedToStopOnItsOwnThread();
};

void RunWorkerTest::aRunThatCannotStartLeavesInputAlone() {
  StoppingWindow window;
  RunWorker worker(window);
  QLineEdit edit;
  edit.show();
  QVERIFY(QTest::qWaitForWindowExposed(&edit));
  bool refused = false;
  failNextAllocation = true;
  try {
    worker.start([](RunWindow&) {});
  } catch (const std::bad_alloc&) {
    refused = true;
  }
  failNextAllocation = false;
  QVERIFY(refused);
  QVERIFY(!worker.running() && !RunWorker::anyRunning());
  QTest::keyClicks(&edit, "typed");
  QCOMPARE(edit.text(), QStringLiteral("typed"));
}

void RunWorkerTest::theWindowIsAskedToStopOnItsOwnThread() {
  StoppingWindow window;
  RunWorker worker(window);
  int entries = 0;
  worker.start([&entries](RunWindow& reporter) {
    for (; entries < 10000 && !reporter.stopRequested(); ++entries) {
      reporter.setProgressValue(entries);
      std::this_thread::sleep_for(std::chrono::milliseconds(1));
    }
  });
  QVERIFY(QTest::qWaitFor([&] { return !worker.running(); }, 60000));
  QVERIFY2(entries < 10000, "the window's answer never reached the run");
  QVERIFY(!window.askedOn.empty());
  for (std::thread::id thread : window.askedOn)
    QCOMPARE(thread, std::this_thread::get_id());
}

QTEST_MAIN(RunWorkerTest)
#include "run_worker_test.moc"
