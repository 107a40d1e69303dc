#include "ui/Form1/update_guard.h"

#include "ui/widgets/run_preferences.h"

UpdateGuard::UpdateGuard(std::function<QString()> fingerprint, QObject* parent)
    : QObject(parent), fingerprint_(std::move(fingerprint)) {
  connect(&DocumentsPutBack::instance(), &DocumentsPutBack::putBack, this,
          [this] {
            ++putBack_;
            refresh();
          });
}

void UpdateGuard::ran() {
  ranWith_ = fingerprint_();
  putBack_ = 0;
  if (enabled_) {
    enabled_ = false;
    emit enabledChanged(false);
  }
}

void UpdateGuard::refresh() {
  if (enabled_ || !preferences::recordingOn()) return;
  if (putBack_ == 0 && fingerprint_() == ranWith_) return;
  enabled_ = true;
  emit enabledChanged(true);
}
