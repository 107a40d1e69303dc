// The History window: every recorded run, newest first, and for the one
// selected its documents with their states now, so that the user sees
// which of them an undo would put back before asking for it.  A document's
// change shows as the preview shows an update's lines.  Undo runs on a
// thread of its own with this window as its reporter (Stop, or Escape,
// ends it early) and is itself recorded, so it lists as the newest run.
// Below the lists: how much the history keeps, and whether runs are
// recorded and leave backups at all.
//
// The history is opened when the window is first shown; one that cannot
// be opened is told, and the window still lets the user turn recording
// off.  It is deleted on closing, so every opening reads the files afresh.

#ifndef VANTREL_UI_HISTORY_HISTORY_WINDOW_H_
#define VANTREL_UI_HISTORY_HISTORY_WINDOW_H_

#include <QWidget>
#include <cstdint>
#include <memory>
#include <string>

#include "engine/history/history_store.h"
#include "ui/widgets/run_window.h"

class LimitsBox;
class ProgressBar;
class QLabel;
class QPushButton;
class QTableView;
class RecordingBox;
class RunDocumentsModel;
class RunListModel;
class RunWorker;

class HistoryWindow : public QWidget, public RunWindow {
  Q_OBJECT
 public:
  explicit HistoryWindow(QWidget* parent = nullptr);
  ~HistoryWindow() override;

  // The user's settings, for the main window to read before each update.
  static bool recordingOn();
  static bool keepBackups();

  // RunWindow, called on the window's thread with what the undo reported.
  void showWorkingOn(const std::string& text) override;
  void showOperation(const std::string& text) override;
  void setProgressRange(int minimum, int maximum) override;
  void setProgressValue(int value) override;
  void showMessage(const std::string& prompt,
                   const std::string& title) override;
  void refreshList() override;

 protected:
  void showEvent(QShowEvent* event) override;

 private:
  void openStore();
  // Lists the runs again, keeping the selected one selected when it is
  // still there.
  void reloadRuns();
  void showDocuments();
  void updateCommands();
  // The selected run's id, or 0; the selected document's row, or -1.
  std::int64_t selectedRun() const;
  int selectedDocument() const;
  void showChange();
  void undoRun();
  void forgetRun();
  void runStarted();
  void runFinished();
  // Tells a failed read of the history; false when status is an error.
  bool told(const engine::Status& status);

  std::unique_ptr<engine::HistoryStore> store_;
  bool storeTried_ = false;
  QLabel* LabelError;
  QTableView* TableRuns;
  QTableView* TableDocuments;
  QPushButton* CommandShowChange;
  QPushButton* CommandUndoRun;
  QPushButton* CommandForget;
  LimitsBox* limits_;
  RecordingBox* recording_;
  QLabel* LabelStatus;
  ProgressBar* ProgressBar1;
  QPushButton* CommandClose;
  QPushButton* CommandStop;
  RunListModel* runs_;
  RunDocumentsModel* documents_;
  RunWorker* runner_;
};

#endif  // VANTREL_UI_HISTORY_HISTORY_WINDOW_H_
