// The two ways back from an update, as the user sets them: recording every
// run in the history, and .bac backups beside the documents.  They are kept
// with the program's other settings, so that the main window reads them
// before each run without this box being open.

#ifndef VANTREL_UI_HISTORY_RECORDING_BOX_H_
#define VANTREL_UI_HISTORY_RECORDING_BOX_H_

#include <QWidget>

class QCheckBox;
class QLabel;

class RecordingBox : public QWidget {
  Q_OBJECT
 public:
  explicit RecordingBox(QWidget* parent = nullptr);

 private:
  void save();

  QCheckBox* record_;
  QCheckBox* backups_;
  QLabel* warning_;
};

#endif  // VANTREL_UI_HISTORY_RECORDING_BOX_H_
