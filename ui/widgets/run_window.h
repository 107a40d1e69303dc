// RunWindow is a window that runs show themselves in: besides what a run
// tells while it goes on, the status words, the closing message boxes and
// the window's own controls.  UpdateInWindow and RestoreInWindow run the
// engine's update and restore and then word their outcome as the windows
// always have: the one place those words live.  None of this uses Qt, so
// the words can be checked without a display.

#ifndef VANTREL_UI_WIDGETS_RUN_WINDOW_H_
#define VANTREL_UI_WIDGETS_RUN_WINDOW_H_

#include <string>

#include "engine/file_system.h"
#include "engine/history/history_store.h"
#include "engine/replace_rules.h"
#include "engine/run_outcome.h"
#include "engine/run_reporter.h"
#include "engine/run_settings.h"
#include "engine/selection.h"

class RunWindow : public engine::RunReporter {
 public:
  // The status line naming the current step; repainted at once.
  virtual void showOperation(const std::string& text) = 0;
  // A modal box with an information icon and one OK button; returns when
  // the user has closed it.
  virtual void showMessage(const std::string& prompt,
                           const std::string& title) = 0;
  // Disables the control that starts an update run.
  virtual void disableUpdate() {}
  // Re-reads the window's file list from its folder.
  virtual void refreshList() {}

  // Shows step as its words on the status line.
  void showStep(engine::RunStep step) override;
};

// The restore window's type box before a type is picked.
inline constexpr char kChooseType[] = "<Choose>";

// Runs the update as the main window does and shows its closing messages in
// window.  Returns how many documents were changed.  Called on the run's
// thread.
// settings: backups and the history, as the user set them.
int UpdateInWindow(const std::string& folder, const engine::Selection& entries,
                   const engine::ReplaceRules& rules, RunWindow& window,
                   engine::FileSystem& fs = engine::FileSystem::Default(),
                   const engine::RunSettings& settings = {});
// The same with the plain rules of one pair.
int UpdateInWindow(const std::string& folder, const engine::Selection& entries,
                   const std::string& search_text, const std::string& new_text,
                   RunWindow& window,
                   engine::FileSystem& fs = engine::FileSystem::Default());

// Runs the restore as the restore window does (type "" is "As recorded",
// kChooseType is refused) and shows its closing messages in window.
void RestoreInWindow(const std::string& type, const std::string& folder,
                     const engine::Selection& entries, RunWindow& window,
                     engine::FileSystem& fs = engine::FileSystem::Default(),
                     engine::HistoryStore* history = nullptr);

// Undoes a recorded run as the History window does, and shows what became
// of its documents in window.  Returns how many were put back.
int UndoInWindow(engine::HistoryStore& store, std::int64_t run,
                 RunWindow& window,
                 engine::FileSystem& fs = engine::FileSystem::Default());

#endif  // VANTREL_UI_WIDGETS_RUN_WINDOW_H_
