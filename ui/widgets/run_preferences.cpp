#include "ui/widgets/run_preferences.h"

#include <QCoreApplication>
#include <QSettings>

#include "engine/update_run.h"

namespace preferences {

namespace {

const char kRecordKey[] = "history/record";
const char kBackupsKey[] = "backups/keep";

// As the main window's settings: the program names no organization, and
// without one QSettings reports an access error.
QSettings settings() {
  const QString name = QCoreApplication::applicationName();
  return QSettings(name, name);
}

}  // namespace

bool recordingOn() { return settings().value(kRecordKey, true).toBool(); }
bool keepBackups() { return settings().value(kBackupsKey, true).toBool(); }
void setRecordingOn(bool on) { settings().setValue(kRecordKey, on); }
void setKeepBackups(bool keep) { settings().setValue(kBackupsKey, keep); }

bool openRecording(std::shared_ptr<engine::HistoryStore>* store,
                   std::string* problem) {
  store->reset();
  if (!recordingOn()) return true;
  std::unique_ptr<engine::HistoryStore> opened;
  const engine::Status status =
      engine::OpenHistory(engine::DefaultHistoryPath(), &opened);
  if (!status.ok()) {
    *problem = engine::HistoryRefusal(status);
    return false;
  }
  *store = std::move(opened);
  return true;
}

}  // namespace preferences

DocumentsPutBack& DocumentsPutBack::instance() {
  static DocumentsPutBack notice;
  return notice;
}
