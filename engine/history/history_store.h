// The history of runs: every update, restore and undo, with each document
// it changed, the content before and after as SHA-256 hashes, and the
// content before itself (compressed, stored once per hash), so that any
// run can be undone later, whatever ran since.  HistoryStore is the
// interface the runs write through; OpenHistory gives the SQLite one, and
// a test may wrap it to fail on demand.
//
// A store belongs to one run at a time and is used from one thread; two
// programs may record into one database at once (SQLite's locking).

#ifndef VANTREL_ENGINE_HISTORY_HISTORY_STORE_H_
#define VANTREL_ENGINE_HISTORY_HISTORY_STORE_H_

#include <cstdint>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "engine/status.h"

namespace engine {

struct HistoryRun {
  std::int64_t id = 0;
  std::int64_t started = 0, ended = 0;  // Unix seconds; ended 0 while running
  std::string folder;
  std::string kind;         // "update", "restore" or "undo"
  std::string what;         // the texts and options, in words
  std::int64_t undoes = 0;  // the run an undo undid
  // "running", "complete", "stopped", or "interrupted" (its program ended
  // before the run did).
  std::string ending;
  std::int64_t documents = 0;  // documents it changed
};

struct HistoryDocument {
  std::string path;
  std::string before_hash, after_hash;  // SHA-256, hexadecimal
  std::int64_t before_size = 0, after_size = 0;
  std::string encoding;
};

// A content as stored: its hash, its size and its bytes compressed.
struct StoredContent {
  std::string hash;
  std::int64_t size = 0;
  std::string compressed;
};

struct HistoryLimits {
  std::int64_t runs = 200;
  std::int64_t bytes = std::int64_t{2} << 30;
};

class HistoryStore {
 public:
  virtual ~HistoryStore() = default;

  // Starts recording run: sets its id and start time.
  virtual Status BeginRun(HistoryRun* run) = 0;
  // Records documents of run and the contents they need, in one
  // transaction that is on disk when this returns OK; nothing of it when
  // not.
  virtual Status AddDocuments(std::int64_t run,
                              const std::vector<HistoryDocument>& documents,
                              const std::vector<StoredContent>& contents) = 0;
  // Ends run ("complete" or "stopped"), then drops the oldest whole runs
  // beyond the limits, and the contents no run needs any more.
  virtual Status EndRun(std::int64_t run, const std::string& ending) = 0;
  // Every run, newest first.
  virtual Status ListRuns(std::vector<HistoryRun>* runs) = 0;
  virtual Status LoadDocuments(std::int64_t run,
                               std::vector<HistoryDocument>* documents) = 0;
  // The content with hash, uncompressed; kChanged-free error when absent.
  virtual Status FetchContent(const std::string& hash,
                              std::string* content) = 0;
  virtual Status ForgetRun(std::int64_t run) = 0;
  virtual Status GetLimits(HistoryLimits* limits) = 0;
  virtual Status SetLimits(const HistoryLimits& limits) = 0;
  // Bytes the database takes on disk.
  virtual Status SpaceUsed(std::int64_t* bytes) = 0;
};

// Ends a recorded run: kept, as "stopped" or "complete", when it changed
// documents; dropped when it changed none, so that it never stands in the
// way of "undo the last run".
inline Status FinishRun(HistoryStore& store, std::int64_t run, bool stopped,
                        std::size_t changed) {
  if (changed == 0) return store.ForgetRun(run);
  return store.EndRun(run, stopped ? "stopped" : "complete");
}

// $XDG_STATE_HOME/vantrel/history.sqlite, or ~/.local/state/vantrel/...
std::string DefaultHistoryPath();

// Opens (and creates: folder 0700, file 0600) the history at path.  An
// error names the file and the reason.
Status OpenHistory(const std::string& path,
                   std::unique_ptr<HistoryStore>* store);

// The SHA-256 of bytes, in hexadecimal.  Thread-safe.
std::string Sha256Hex(std::string_view bytes);
// bytes compressed, ready for the store.  Thread-safe.
StoredContent StoreContent(std::string_view bytes);

}  // namespace engine

#endif  // VANTREL_ENGINE_HISTORY_HISTORY_STORE_H_
