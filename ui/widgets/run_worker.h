// RunWorker runs one engine run (an update, a restore, a preview) on a
// thread of its own, so that the windows keep repainting while it works.
// The run reports through the window's own RunWindow, whose calls are
// carried to the window's thread by queued signals; showMessage blocks the
// run until the user has closed the box, as the run expects.  The run's
// thread calls nothing of the window itself.  While a run goes on, every
// input to the program's windows is blocked except Stop (a button
// registered with allowDuringRun, or Escape), which asks the run to end
// after the document it is on.  It knows nothing of what it runs.

#ifndef VANTREL_UI_WIDGETS_RUN_WORKER_H_
#define VANTREL_UI_WIDGETS_RUN_WORKER_H_

#include <QObject>
#include <atomic>
#include <functional>

#include "ui/widgets/run_window.h"

class QWidget;

class RunWorker : public QObject {
  Q_OBJECT

 public:
  // window: the reporter that shows the run, called on this thread only.
  // Its stopRequested() is asked each time the run's reports have been
  // shown, and a yes ends the run as Stop does.  The window must outlive
  // the worker: a window that is its parent deletes it first thing in its
  // destructor.
  explicit RunWorker(RunWindow& window, QObject* parent = nullptr);
  ~RunWorker() override;  // waits for a run still going on

  // Starts run on a worker thread and returns at once; run gets the
  // reporter to call.  Ignored while a run goes on.  Throws
  // std::system_error or std::bad_alloc when no thread can be made; no run
  // has started then, and the windows take input as before.
  void start(std::function<void(RunWindow&)> run);
  bool running() const;
  // Asks the run to stop after its current document.
  void requestStop();
  // The flag that requestStop sets, for a run that reads it itself rather
  // than through its reporter.
  const std::atomic<bool>* stopFlag() const;
  // A widget that stays usable during a run (the Stop button).
  void allowDuringRun(QWidget* widget);
  // A reason of the caller's own to end the runs started from now on.  It
  // is asked on the run's thread each time the run asks whether to stop,
  // and may hold the run there; so it must be safe to call from another
  // thread and must touch no window.
  void setStopCheck(std::function<bool()> check);

  // Whether any run of the program is going on.
  static bool anyRunning();

 signals:
  void started();
  // After the run has returned and its last report has been shown.
  void finished();

 private:
  class Impl;
  Impl* impl_;
};

#endif  // VANTREL_UI_WIDGETS_RUN_WORKER_H_
