// Form1 is the main window: a four-page wizard that leads the user from
// picking documents to an update run, and the reporter of every run it
// starts.  The run works on a thread of its own while the window shows its
// progress and offers Stop.  F1 shows the help.  It keeps nothing of its
// own beyond what its controls show.

#ifndef VANTREL_UI_FORM1_FORM1_H_
#define VANTREL_UI_FORM1_FORM1_H_

#include <QPointer>
#include <QWidget>
#include <memory>
#include <string>

#include "engine/preview.h"
#include "ui/widgets/run_window.h"

class ChangeFrame;
class ChangeOptions;
class Form2;
class HistoryWindow;
class UpdateGuard;
class Form5;
class PreviewWindow;
class IndexTab;
class IntroductionFrame;
class QPushButton;
class RunWorker;
class SelectFilesFrame;
class UpdateFrame;

class Form1 : public QWidget, public RunWindow {
  Q_OBJECT

 public:
  explicit Form1(QWidget* parent = nullptr);
  ~Form1() override;

  // Moves the drive, folder and file lists to folder; a folder that cannot
  // be opened is told to the user and the lists stay where they are.
  void openFolder(const QString& folder);

  // RunWindow, called on the window's thread with what the run
  // reported on its own.
  void showWorkingOn(const std::string& text) override;
  void showOperation(const std::string& text) override;
  void setProgressRange(int minimum, int maximum) override;
  void setProgressValue(int value) override;
  void showMessage(const std::string& prompt,
                   const std::string& title) override;
  void disableUpdate() override;
  void refreshList() override;

 private:
  void Form_Load();
  void Command1_Click();
  void Command2_Click();
  void Command4_Click();
  void Command5_Click();
  void Command6_Click();
  void CommandPreview_Click();
  void CommandHistory_Click();
  // What an update would do now, for UpdateGuard.
  QString updateFingerprint() const;
  void watchUpdateInputs();
  void showPreview(engine::Preview&& preview);
  void dir_Change();
  void Dir1_Change();
  void runStarted();
  void runFinished();

  void setUpFocusOrder();

  IndexTab* tabs_;
  IntroductionFrame* introduction_;
  SelectFilesFrame* selectFiles_;
  ChangeFrame* change_;
  ChangeOptions* changeOptions_;
  UpdateFrame* update_;
  QPushButton* about_;
  QPushButton* help_;
  QPushButton* history_;
  QPushButton* exit_;
  RunWorker* runner_;
  UpdateGuard* updateGuard_;

  bool updateEnabled_ = true;
  QPointer<Form2> aboutWindow_;
  QPointer<Form5> restoreWindow_;
  QPointer<HistoryWindow> historyWindow_;
  QPointer<PreviewWindow> previewWindow_;
  // What the preview run going on fills, shown when it has finished.
  std::shared_ptr<engine::Preview> pendingPreview_;
};

#endif  // VANTREL_UI_FORM1_FORM1_H_
