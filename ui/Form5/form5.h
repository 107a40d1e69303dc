// The restore window: the user opens a folder, selects backups ("*.bac"),
// picks or types the type they are to become, and presses Restore, which
// runs engine::RestoreRun on a thread of its own with this window as its
// reporter; Stop (or Escape) ends it early.  It is deleted on closing, so
// every opening starts afresh, at the folder it is opened at, with
// "<Choose>" in the type box.  Escape closes it, F1 shows the help.

#ifndef VANTREL_UI_FORM5_FORM5_H_
#define VANTREL_UI_FORM5_FORM5_H_

#include <QWidget>
#include <string>

#include "ui/widgets/run_window.h"

class DriveList;
class FileList;
class FolderList;
class QCheckBox;
class QComboBox;
class QLabel;
class QPushButton;
class ProgressBar;
class RunWorker;

class Form5 : public QWidget, public RunWindow {
  Q_OBJECT
 public:
  // Starts at the process's current folder.
  explicit Form5(QWidget* parent = nullptr);
  ~Form5() override;

  // Moves the drive, folder and file lists to folder; a folder that cannot
  // be opened is told to the user and the lists stay where they are.
  void openFolder(const QString& folder);

  // RunWindow, called on the window's thread with what the run
  // reported on its own.  The restore run never asks for status lines or
  // for the Update button, which this window lacks.
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
  void Drive1_Change();
  void Dir1_Change();
  // Picks "As recorded" when the listed backups record their documents,
  // unless the user has picked a type.
  void chooseTypeForBackups();
  void Command1_Click();
  void Command2_Click();
  void runStarted();
  void runFinished();

  DriveList* Drive1;
  FolderList* Dir1;
  FileList* File1;
  QCheckBox* CheckSubfolders;
  QComboBox* Combo1;
  QLabel* Label1;
  QPushButton* Command1;
  QPushButton* Command2;
  QPushButton* CommandStop;
  ProgressBar* ProgressBar1;
  RunWorker* runner_;
};

#endif  // VANTREL_UI_FORM5_FORM5_H_
