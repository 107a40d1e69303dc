// How much the history keeps, and how much it takes: the runs and the
// gigabytes it may hold (the oldest whole runs go beyond either), applied
// with a button so that stepping through the numbers drops nothing on the
// way, and the space the database takes on disk now.

#ifndef VANTREL_UI_HISTORY_LIMITS_BOX_H_
#define VANTREL_UI_HISTORY_LIMITS_BOX_H_

#include <QWidget>

#include "engine/history/history_store.h"

class QLabel;
class QPushButton;
class QSpinBox;

class LimitsBox : public QWidget {
  Q_OBJECT
 public:
  explicit LimitsBox(QWidget* parent = nullptr);

  // Shows store's limits and space, or disables the box for nullptr.  The
  // store must outlive the box or be replaced first.
  void setStore(engine::HistoryStore* store);
  // Reads the space used again, after runs were added or dropped.
  void showSpace();

 signals:
  // The store may have dropped runs to meet the new limits.
  void limitsApplied();

 private:
  void apply();
  void updateApply();
  engine::HistoryLimits chosen() const;

  engine::HistoryStore* store_ = nullptr;
  // The limits as the spin boxes showed them when last read or applied.
  engine::HistoryLimits stored_;
  QSpinBox* runs_;
  QSpinBox* gigabytes_;
  QPushButton* apply_;
  QLabel* space_;
};

#endif  // VANTREL_UI_HISTORY_LIMITS_BOX_H_
