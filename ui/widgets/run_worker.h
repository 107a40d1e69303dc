// RunWorker runs one engine run (an update, a restore, a preview) on a
// thread of its own, so that the windows keep repainting while it works.
// The run reports through the window's own RunReporter, whose calls are
// carried to the window's thread by queued signals; showMessage blocks the
// run until the user has closed the box, as the run expects.  While a run
// goes on, every input to the program's windows is blocked except Stop (a
// button registered with allowDuringRun, or Escape), which asks the run to
// end after the document it is on.  It knows nothing of what it runs.

#ifndef VANTREL_UI_WIDGETS_RUN_WORKER_H_
#define VANTREL_UI_WIDGETS_RUN_WORKER_H_

#include <QObject>
#include <atomic>
#include <functional>

#include "engine/run_reporter.h"

class QWidget;

class RunWorker : public QObject {
  Q_OBJECT

 public:
  // window: the reporter that shows the run, called on this thread; only
  // its stopRequested() is asked on the run's thread, as RunReporter
  // allows, so that a window can end a run for reasons of its own.  The
  // window must outlive the worker: a window that is its parent deletes it
  // first thing in its destructor.
  explicit RunWorker(engine::RunReporter& window, QObject* parent = nullptr);
  ~RunWorker() override;  // waits for a run still going on

  // Starts run on a worker thread and returns at once; run gets the
  // reporter to call.  Ignored while a run goes on.
  void start(std::function<void(engine::RunReporter&)> run);
  bool running() const;
  // Asks the run to stop after its current document.
  void requestStop();
  // The flag that requestStop sets, for a run that reads it itself rather
  // than through its reporter.
  const std::atomic<bool>* stopFlag() const;
  // A widget that stays usable during a run (the Stop button).
  void allowDuringRun(QWidget* widget);

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
