// How the windows' runs keep their way back, as the user set it in the
// History window: whether runs are recorded in the history, and whether
// .bac backups are left beside the documents.  Also the one place that
// opens the history for a run, and the notice that a restore or an undo
// has put documents back (so that the main window may update again).

#ifndef VANTREL_UI_WIDGETS_RUN_PREFERENCES_H_
#define VANTREL_UI_WIDGETS_RUN_PREFERENCES_H_

#include <QObject>
#include <memory>
#include <string>

#include "engine/history/history_store.h"
#include "engine/run_settings.h"

namespace preferences {

bool recordingOn();
bool keepBackups();
void setRecordingOn(bool on);
void setKeepBackups(bool keep);

// Opens the history when recording is on (nullptr when off).  False, with
// *problem set to words naming the file, the reason and how to go on
// without it, when it is on and can't be opened.
bool openRecording(std::shared_ptr<engine::HistoryStore>* store,
                   std::string* problem);

}  // namespace preferences

// Tells the windows that documents were put back (a restore or an undo
// ran).  Its one instance lives as long as the program.
class DocumentsPutBack : public QObject {
  Q_OBJECT

 public:
  static DocumentsPutBack& instance();
  void note() { emit putBack(); }

 signals:
  void putBack();
};

#endif  // VANTREL_UI_WIDGETS_RUN_PREFERENCES_H_
