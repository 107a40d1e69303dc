// RunReporter is what a run tells while it goes on: the document it is on,
// the step, the progress, and whether to stop.  A run may call it from a
// thread of its own.  What a run did in the end it returns as a RunOutcome;
// the reporter words nothing.

#ifndef VANTREL_ENGINE_RUN_REPORTER_H_
#define VANTREL_ENGINE_RUN_REPORTER_H_

#include <string>

namespace engine {

// The step a run is at on its current document.
enum class RunStep { kScanning, kBackingUp, kUpdating };

class RunReporter {
 public:
  virtual ~RunReporter() = default;

  // The document being worked on, as the run names it.
  virtual void showWorkingOn(const std::string& document) = 0;
  virtual void showStep(RunStep step) = 0;
  // The progress range, minimum set first.  minimum == maximum is valid.
  virtual void setProgressRange(int minimum, int maximum) = 0;
  virtual void setProgressValue(int value) = 0;
  // Whether the run is to stop.  A run asks before each entry and, when
  // told so, ends after the document it is on.  Called from the run's
  // thread.
  virtual bool stopRequested() { return false; }
};

// A reporter that shows nothing and never stops the run.
class SilentReporter : public RunReporter {
 public:
  void showWorkingOn(const std::string&) override {}
  void showStep(RunStep) override {}
  void setProgressRange(int, int) override {}
  void setProgressValue(int) override {}
};

}  // namespace engine

#endif  // VANTREL_ENGINE_RUN_REPORTER_H_
