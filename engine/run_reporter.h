// RunReporter is how a run talks to the window that started it.  A run may
// call it from a thread of its own; showMessage returns only once the user
// has closed the box, so the run waits for the user as it always did.  A
// window does nothing for the operations that its run never calls.

#ifndef VANTREL_ENGINE_RUN_REPORTER_H_
#define VANTREL_ENGINE_RUN_REPORTER_H_

#include <string>

namespace engine {

class RunReporter {
 public:
  virtual ~RunReporter() = default;

  // The status line naming the document being worked on; repainted at once.
  virtual void showWorkingOn(const std::string& text) = 0;
  // The status line naming the current step; repainted at once.
  virtual void showOperation(const std::string& text) = 0;
  // The progress bar's range, minimum set first.  minimum == maximum is
  // valid and shows an empty bar.
  virtual void setProgressRange(int minimum, int maximum) = 0;
  virtual void setProgressValue(int value) = 0;
  // A modal box with an information icon and one OK button; returns when
  // the user has closed it.
  virtual void showMessage(const std::string& prompt,
                           const std::string& title) = 0;
  // Disables the control that starts an update run (update run only).
  virtual void disableUpdate() = 0;
  // Re-reads the window's file list from its folder (restore run only).
  virtual void refreshList() = 0;
  // Whether the user has asked the run to stop.  A run asks before each
  // entry and, when told so, ends after the document it is on, saying how
  // many it changed.  May be called from the run's thread.
  virtual bool stopRequested() { return false; }
};

}  // namespace engine

#endif  // VANTREL_ENGINE_RUN_REPORTER_H_
