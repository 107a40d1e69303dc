// UpdateGuard decides when Update may be pressed again after a run that
// changed documents.  Without the history, that run's backups are the only
// way back, and a second run would replace them: Update stays off until
// the program starts again.  With the history, any run can be undone, so
// Update comes back as soon as what it would do changes (the texts, the
// options, the list, the folder, the selection) or a restore or an undo
// puts documents back; pressed twice with nothing changed, it stays off,
// so that one change is never applied twice by a double click.

#ifndef VANTREL_UI_FORM1_UPDATE_GUARD_H_
#define VANTREL_UI_FORM1_UPDATE_GUARD_H_

#include <QObject>
#include <QString>
#include <functional>

class UpdateGuard : public QObject {
  Q_OBJECT

 public:
  // fingerprint: what an update would do now, as one text.
  UpdateGuard(std::function<QString()> fingerprint, QObject* parent);

  bool enabled() const { return enabled_; }
  // A run changed documents: Update goes off.
  void ran();
  // Asks again whether Update may come back; call on every change of what
  // the fingerprint covers.
  void refresh();

 signals:
  void enabledChanged(bool enabled);

 private:
  std::function<QString()> fingerprint_;
  QString ranWith_;
  int putBack_ = 0;  // restores and undos since the last run
  bool enabled_ = true;
};

#endif  // VANTREL_UI_FORM1_UPDATE_GUARD_H_
