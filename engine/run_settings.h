// How a run that writes documents keeps its way back: .bac backups beside
// the documents, a record in the history, or both.  Front ends fill it
// from their settings; the runs never decide it themselves.

#ifndef VANTREL_ENGINE_RUN_SETTINGS_H_
#define VANTREL_ENGINE_RUN_SETTINGS_H_

#include <string>

#include "engine/history/history_store.h"

namespace engine {

struct RunSettings {
  // Where the run is recorded; nullptr when recording is off.
  HistoryStore* history = nullptr;
  // Whether an update leaves a .bac backup beside each document it changes.
  bool keep_backups = true;
  // What the run does, in words, for its record ("replace "a" with "b"").
  std::string what;
};

}  // namespace engine

#endif  // VANTREL_ENGINE_RUN_SETTINGS_H_
