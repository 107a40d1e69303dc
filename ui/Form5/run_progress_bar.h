// The restore window's progress bar.  A run over an empty file list sets
// the range 0 to 0, which QProgressBar would draw as its busy indicator;
// here it is an empty bar, as nothing is left to do.

#ifndef VANTREL_UI_FORM5_RUN_PROGRESS_BAR_H_
#define VANTREL_UI_FORM5_RUN_PROGRESS_BAR_H_

#include <QProgressBar>

class RunProgressBar : public QProgressBar {
  Q_OBJECT
 public:
  explicit RunProgressBar(QWidget* parent = nullptr);

 protected:
  void paintEvent(QPaintEvent* event) override;
};

#endif  // VANTREL_UI_FORM5_RUN_PROGRESS_BAR_H_
