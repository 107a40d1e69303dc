// The progress bar of the windows that run updates and restores.  It draws
// an empty range (minimum equal to maximum) as an empty bar; QProgressBar
// would show its busy indicator, which is not what a run over an empty file
// list means.

#ifndef VANTREL_UI_WIDGETS_PROGRESS_BAR_H_
#define VANTREL_UI_WIDGETS_PROGRESS_BAR_H_

#include <QProgressBar>

class ProgressBar : public QProgressBar {
  Q_OBJECT
 public:
  explicit ProgressBar(QWidget* parent = nullptr);

 protected:
  void paintEvent(QPaintEvent* event) override;
};

#endif  // VANTREL_UI_WIDGETS_PROGRESS_BAR_H_
