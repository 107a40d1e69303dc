// The frames of the wizard's four pages.  Each builds its controls at
// their places and hands the window the ones its handlers work with.

#ifndef VANTREL_UI_FORM1_WIZARD_PAGES_H_
#define VANTREL_UI_FORM1_WIZARD_PAGES_H_

#include <QGroupBox>

class DriveList;
class FileList;
class FileTypesBox;
class FolderList;
class QCheckBox;
class QFrame;
class QLabel;
class QPlainTextEdit;
class QPushButton;
class ProgressBar;

// Page 0: the picture, the banner and the user line.
class IntroductionFrame : public QGroupBox {
  Q_OBJECT
 public:
  explicit IntroductionFrame(QWidget* parent = nullptr);
  QLabel* picture() const { return picture_; }
  QLabel* userLine() const { return userLine_; }

 private:
  QLabel* picture_;
  QLabel* userLine_;
};

// Page 1: the drive, folder and file lists.
class SelectFilesFrame : public QGroupBox {
  Q_OBJECT
 public:
  explicit SelectFilesFrame(QWidget* parent = nullptr);
  DriveList* drives() const { return drives_; }
  FolderList* folders() const { return folders_; }
  FileList* files() const { return files_; }
  FileTypesBox* types() const { return types_; }
  QCheckBox* subfolders() const { return subfolders_; }

 private:
  FolderList* folders_;
  DriveList* drives_;
  FileTypesBox* types_;
  FileList* files_;
  QCheckBox* subfolders_;
};

// Page 2: the text to replace and the new text, or a note that a list of
// replacements stands in for them; the matching options under them.
class ChangeFrame : public QGroupBox {
  Q_OBJECT
 public:
  explicit ChangeFrame(QWidget* parent = nullptr);
  QPlainTextEdit* searchText() const { return searchText_; }
  QPlainTextEdit* newText() const { return newText_; }
  QCheckBox* matchCase() const { return matchCase_; }
  QCheckBox* wholeWords() const { return wholeWords_; }
  QCheckBox* everyOccurrence() const { return everyOccurrence_; }
  QCheckBox* regex() const { return regex_; }
  QPushButton* list() const { return list_; }

  // Shows "N replacements from the list" where the two texts were, or the
  // texts again when count is 0.
  void showListInUse(int count);

 private:
  QPlainTextEdit* searchText_;
  QPlainTextEdit* newText_;
  QFrame* divider_;
  QLabel* listInUse_;
  QCheckBox* matchCase_;
  QCheckBox* wholeWords_;
  QCheckBox* everyOccurrence_;
  QCheckBox* regex_;
  QPushButton* list_;
};

// Page 3: the run's status lines, progress and buttons.  Stop takes the
// place of Undo while a run goes on.
class UpdateFrame : public QGroupBox {
  Q_OBJECT
 public:
  explicit UpdateFrame(QWidget* parent = nullptr);
  QLabel* workingOn() const { return workingOn_; }
  QLabel* operation() const { return operation_; }
  ProgressBar* progress() const { return progress_; }
  QPushButton* update() const { return update_; }
  QPushButton* preview() const { return preview_; }
  QPushButton* undo() const { return undo_; }
  QPushButton* stop() const { return stop_; }

  // Shows Stop instead of Undo while a run goes on, Undo otherwise.
  void showRunning(bool running);

 protected:
  void changeEvent(QEvent* event) override;

 private:
  void colourCaptions();

  QLabel* workingOnCaption_;
  QLabel* workingOn_;
  QLabel* operationCaption_;
  QLabel* operation_;
  QPushButton* update_;
  QPushButton* preview_;
  QPushButton* undo_;
  QPushButton* stop_;
  ProgressBar* progress_;
};

#endif  // VANTREL_UI_FORM1_WIZARD_PAGES_H_
