// The restore window: the user opens a folder, selects backups ("*.bac"),
// picks or types the type they are to become, and presses Restore, which
// runs engine::RestoreRun with this window as its reporter.  It is deleted
// on closing, so every opening starts afresh at the process's current
// folder with "<Choose>" in the type box.

#ifndef VANTREL_UI_FORM5_FORM5_H_
#define VANTREL_UI_FORM5_FORM5_H_

#include <QWidget>
#include <string>

#include "engine/run_reporter.h"

class DriveList;
class FileList;
class FolderList;
class QComboBox;
class QLabel;
class QPushButton;
class ProgressBar;

class Form5 : public QWidget, public engine::RunReporter {
  Q_OBJECT
 public:
  explicit Form5(QWidget* parent = nullptr);

  // engine::RunReporter.  A run holds the window's thread, so each takes
  // effect on screen before it returns.  The restore run never asks for
  // status lines or for the Update button, which this window lacks.
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
  void Command1_Click();
  void Command2_Click();

  DriveList* Drive1;
  FolderList* Dir1;
  FileList* File1;
  QComboBox* Combo1;
  QLabel* Label1;
  QPushButton* Command1;
  QPushButton* Command2;
  ProgressBar* ProgressBar1;
};

#endif  // VANTREL_UI_FORM5_FORM5_H_
