// The history in SQLite: write-ahead logging with full synchronisation, so
// that a committed batch is on disk and a killed program leaves the last
// committed state; contents compressed with zstd, named by SHA-256.

#include <fcntl.h>
#include <openssl/evp.h>
#include <signal.h>
#include <sqlite3.h>
#include <sys/stat.h>
#include <unistd.h>
#include <zstd.h>

#include <cerrno>
#include <cstdlib>
#include <ctime>
#include <new>

#include "engine/history/history_store.h"

namespace engine {

namespace {

constexpr int kBusyMilliseconds = 5000;

const char kSchema[] = R"(
CREATE TABLE IF NOT EXISTS runs(
  id INTEGER PRIMARY KEY, started INTEGER NOT NULL, ended INTEGER NOT NULL,
  folder TEXT NOT NULL, kind TEXT NOT NULL, what TEXT NOT NULL,
  undoes INTEGER NOT NULL, ending TEXT NOT NULL, pid INTEGER NOT NULL);
CREATE TABLE IF NOT EXISTS documents(
  run INTEGER NOT NULL REFERENCES runs(id) ON DELETE CASCADE,
  path TEXT NOT NULL, before_hash TEXT NOT NULL, after_hash TEXT NOT NULL,
  before_size INTEGER NOT NULL, after_size INTEGER NOT NULL,
  encoding TEXT NOT NULL);
CREATE INDEX IF NOT EXISTS documents_of_run ON documents(run);
CREATE INDEX IF NOT EXISTS documents_before ON documents(before_hash);
CREATE TABLE IF NOT EXISTS contents(
  hash TEXT PRIMARY KEY, size INTEGER NOT NULL, data BLOB NOT NULL);
CREATE TABLE IF NOT EXISTS settings(key TEXT PRIMARY KEY, value INTEGER);
)";

// One prepared statement, finalized with the object.
class Statement {
 public:
  Statement(sqlite3* db, const char* sql) {
    sqlite3_prepare_v2(db, sql, -1, &statement_, nullptr);
  }
  ~Statement() { sqlite3_finalize(statement_); }
  Statement(const Statement&) = delete;
  Statement& operator=(const Statement&) = delete;

  bool ok() const { return statement_ != nullptr; }
  Statement& Bind(int at, std::int64_t value) {
    sqlite3_bind_int64(statement_, at, value);
    return *this;
  }
  Statement& Bind(int at, std::string_view text) {
    sqlite3_bind_text(statement_, at, text.data(),
                      static_cast<int>(text.size()), SQLITE_TRANSIENT);
    return *this;
  }
  Statement& BindBlob(int at, std::string_view bytes) {
    sqlite3_bind_blob(statement_, at, bytes.data(),
                      static_cast<int>(bytes.size()), SQLITE_STATIC);
    return *this;
  }
  // SQLITE_ROW, SQLITE_DONE or an error.
  int Step() { return ok() ? sqlite3_step(statement_) : SQLITE_ERROR; }
  void Reset() {
    sqlite3_reset(statement_);
    sqlite3_clear_bindings(statement_);
  }
  std::int64_t Int(int column) {
    return sqlite3_column_int64(statement_, column);
  }
  std::string Text(int column) {
    const void* data = sqlite3_column_blob(statement_, column);
    const int size = sqlite3_column_bytes(statement_, column);
    return data == nullptr ? std::string()
                           : std::string(static_cast<const char*>(data), size);
  }

 private:
  sqlite3_stmt* statement_ = nullptr;
};

class SqliteHistory : public HistoryStore {
 public:
  SqliteHistory(sqlite3* db, std::string path)
      : db_(db), path_(std::move(path)) {}
  ~SqliteHistory() override { sqlite3_close_v2(db_); }

  Status Open();
  Status BeginRun(HistoryRun* run) override;
  Status AddDocuments(std::int64_t run,
                      const std::vector<HistoryDocument>& documents,
                      const std::vector<StoredContent>& contents) override;
  Status EndRun(std::int64_t run, const std::string& ending) override;
  Status ListRuns(std::vector<HistoryRun>* runs) override;
  Status LoadDocuments(std::int64_t run,
                       std::vector<HistoryDocument>* documents) override;
  Status FetchContent(const std::string& hash, std::string* content) override;
  Status ForgetRun(std::int64_t run) override;
  Status GetLimits(HistoryLimits* limits) override;
  Status SetLimits(const HistoryLimits& limits) override;
  Status SpaceUsed(std::int64_t* bytes) override;

 private:
  Status Error(const char* doing) const {
    return Status::Error(path_,
                         std::string(doing) + ": " + sqlite3_errmsg(db_));
  }
  Status Execute(const char* sql, const char* doing) {
    return sqlite3_exec(db_, sql, nullptr, nullptr, nullptr) == SQLITE_OK
               ? Status::OK()
               : Error(doing);
  }
  // Drops runs beyond the limits, oldest first, and unneeded contents.
  Status Trim();
  // Drops the contents no run's document names any more.
  bool DropUnneededContents() {
    Statement drop(db_,
                   "DELETE FROM contents WHERE hash NOT IN (SELECT "
                   "before_hash FROM documents UNION SELECT after_hash FROM "
                   "documents)");
    return drop.Step() == SQLITE_DONE;
  }

  sqlite3* db_;
  std::string path_;
};

Status SqliteHistory::Open() {
  sqlite3_busy_timeout(db_, kBusyMilliseconds);
  // A damaged file fails here, before any run relies on it.
  Status status = Execute(
      "PRAGMA journal_mode=WAL; PRAGMA synchronous=FULL; "
      "PRAGMA foreign_keys=ON;",
      "it can't be opened");
  if (status.ok()) status = Execute(kSchema, "it can't be read");
  return status;
}

Status SqliteHistory::BeginRun(HistoryRun* run) {
  run->started = static_cast<std::int64_t>(std::time(nullptr));
  run->ending = "running";
  Statement insert(db_,
                   "INSERT INTO runs(started, ended, folder, kind, what, "
                   "undoes, ending, pid) VALUES(?, 0, ?, ?, ?, ?, ?, ?)");
  insert.Bind(1, run->started).Bind(2, run->folder).Bind(3, run->kind);
  insert.Bind(4, run->what).Bind(5, run->undoes).Bind(6, run->ending);
  insert.Bind(7, static_cast<std::int64_t>(::getpid()));
  if (insert.Step() != SQLITE_DONE) return Error("the run can't be recorded");
  run->id = sqlite3_last_insert_rowid(db_);
  return Status::OK();
}

Status SqliteHistory::AddDocuments(
    std::int64_t run, const std::vector<HistoryDocument>& documents,
    const std::vector<StoredContent>& contents) {
  Status status = Execute("BEGIN IMMEDIATE", "it can't be written");
  if (!status.ok()) return status;
  Statement content(db_,
                    "INSERT OR IGNORE INTO contents(hash, size, data) "
                    "VALUES(?, ?, ?)");
  Statement document(db_,
                     "INSERT INTO documents(run, path, before_hash, "
                     "after_hash, before_size, after_size, encoding) "
                     "VALUES(?, ?, ?, ?, ?, ?, ?)");
  bool written = content.ok() && document.ok();
  for (const StoredContent& stored : contents) {
    if (!written) break;
    content.Bind(1, stored.hash).Bind(2, stored.size);
    content.BindBlob(3, stored.compressed);
    written = content.Step() == SQLITE_DONE;
    content.Reset();
  }
  for (const HistoryDocument& d : documents) {
    if (!written) break;
    document.Bind(1, run).Bind(2, d.path).Bind(3, d.before_hash);
    document.Bind(4, d.after_hash).Bind(5, d.before_size);
    document.Bind(6, d.after_size).Bind(7, d.encoding);
    written = document.Step() == SQLITE_DONE;
    document.Reset();
  }
  if (written &&
      sqlite3_exec(db_, "COMMIT", nullptr, nullptr, nullptr) == SQLITE_OK) {
    return Status::OK();
  }
  const Status failed = Error("it can't be written");
  sqlite3_exec(db_, "ROLLBACK", nullptr, nullptr, nullptr);
  return failed;
}

Status SqliteHistory::EndRun(std::int64_t run, const std::string& ending) {
  Statement end(db_, "UPDATE runs SET ended = ?, ending = ? WHERE id = ?");
  end.Bind(1, static_cast<std::int64_t>(std::time(nullptr)));
  end.Bind(2, ending).Bind(3, run);
  if (end.Step() != SQLITE_DONE)
    return Error("the run's end can't be recorded");
  return Trim();
}

Status SqliteHistory::Trim() {
  HistoryLimits limits;
  Status status = GetLimits(&limits);
  if (!status.ok()) return status;
  Statement over_count(db_,
                       "DELETE FROM runs WHERE ending != 'running' AND id NOT "
                       "IN (SELECT id FROM runs ORDER BY id DESC LIMIT ?)");
  over_count.Bind(1, limits.runs);
  if (over_count.Step() != SQLITE_DONE) return Error("it can't be trimmed");
  if (!DropUnneededContents()) return Error("it can't be trimmed");
  // Then the oldest runs, one at a time, while the contents take more.
  for (;;) {
    Statement size(db_, "SELECT COALESCE(SUM(LENGTH(data)), 0) FROM contents");
    if (size.Step() != SQLITE_ROW || size.Int(0) <= limits.bytes) break;
    Statement oldest(db_,
                     "SELECT id FROM runs WHERE ending != 'running' ORDER BY "
                     "id LIMIT 1");
    if (oldest.Step() != SQLITE_ROW) break;
    status = ForgetRun(oldest.Int(0));
    if (!status.ok()) return status;
  }
  return Status::OK();
}

Status SqliteHistory::ListRuns(std::vector<HistoryRun>* runs) {
  runs->clear();
  Statement list(db_,
                 "SELECT id, started, ended, folder, kind, what, undoes, "
                 "ending, pid, (SELECT COUNT(*) FROM documents WHERE run = "
                 "runs.id) FROM runs ORDER BY id DESC");
  int step;
  while ((step = list.Step()) == SQLITE_ROW) {
    HistoryRun run{list.Int(0),  list.Int(1),  list.Int(2),
                   list.Text(3), list.Text(4), list.Text(5),
                   list.Int(6),  list.Text(7), list.Int(9)};
    // A run whose program is gone will never end: it was interrupted.
    const auto pid = static_cast<pid_t>(list.Int(8));
    if (run.ending == "running" && pid != ::getpid() && ::kill(pid, 0) != 0 &&
        errno == ESRCH) {
      run.ending = "interrupted";
    }
    runs->push_back(std::move(run));
  }
  return step == SQLITE_DONE ? Status::OK() : Error("it can't be read");
}

Status SqliteHistory::LoadDocuments(std::int64_t run,
                                    std::vector<HistoryDocument>* documents) {
  documents->clear();
  Statement load(db_,
                 "SELECT path, before_hash, after_hash, before_size, "
                 "after_size, encoding FROM documents WHERE run = ? ORDER BY "
                 "rowid");
  load.Bind(1, run);
  int step;
  while ((step = load.Step()) == SQLITE_ROW) {
    documents->push_back({load.Text(0), load.Text(1), load.Text(2), load.Int(3),
                          load.Int(4), load.Text(5)});
  }
  return step == SQLITE_DONE ? Status::OK() : Error("it can't be read");
}

Status SqliteHistory::FetchContent(const std::string& hash,
                                   std::string* content) {
  Statement fetch(db_, "SELECT size, data FROM contents WHERE hash = ?");
  fetch.Bind(1, hash);
  const int step = fetch.Step();
  if (step == SQLITE_DONE) {
    return Status::Error(path_, "it does not hold the content " + hash);
  }
  if (step != SQLITE_ROW) return Error("it can't be read");
  const std::string compressed = fetch.Text(1);
  content->resize(static_cast<std::size_t>(fetch.Int(0)));
  const std::size_t made = ZSTD_decompress(
      content->data(), content->size(), compressed.data(), compressed.size());
  // A damaged record must never be written back as a document.
  if (ZSTD_isError(made) || made != content->size() ||
      Sha256Hex(*content) != hash) {
    return Status::Error(path_,
                         "its copy of the content " + hash + " is damaged");
  }
  return Status::OK();
}

Status SqliteHistory::ForgetRun(std::int64_t run) {
  Statement forget(db_, "DELETE FROM runs WHERE id = ?");
  forget.Bind(1, run);
  if (forget.Step() != SQLITE_DONE) return Error("the run can't be dropped");
  return DropUnneededContents() ? Status::OK()
                                : Error("the run can't be dropped");
}

Status SqliteHistory::GetLimits(HistoryLimits* limits) {
  *limits = HistoryLimits();
  Statement get(db_, "SELECT key, value FROM settings");
  int step;
  while ((step = get.Step()) == SQLITE_ROW) {
    const std::string key = get.Text(0);
    if (key == "runs") limits->runs = get.Int(1);
    if (key == "bytes") limits->bytes = get.Int(1);
  }
  return step == SQLITE_DONE ? Status::OK() : Error("it can't be read");
}

Status SqliteHistory::SetLimits(const HistoryLimits& limits) {
  Statement set(db_,
                "INSERT OR REPLACE INTO settings(key, value) VALUES('runs', "
                "?), ('bytes', ?)");
  set.Bind(1, limits.runs).Bind(2, limits.bytes);
  if (set.Step() != SQLITE_DONE) return Error("it can't be written");
  return Trim();
}

Status SqliteHistory::SpaceUsed(std::int64_t* bytes) {
  Statement pages(db_,
                  "SELECT page_count * page_size FROM pragma_page_count(), "
                  "pragma_page_size()");
  if (pages.Step() != SQLITE_ROW) return Error("it can't be read");
  *bytes = pages.Int(0);
  return Status::OK();
}

// Makes each missing folder of path's folder, for the user alone.
Status MakeFolders(const std::string& path) {
  for (std::size_t slash = path.find('/', 1); slash != std::string::npos;
       slash = path.find('/', slash + 1)) {
    const std::string folder = path.substr(0, slash);
    if (::mkdir(folder.c_str(), 0700) != 0 && errno != EEXIST) {
      return Status::FromErrno(folder, errno);
    }
  }
  return Status::OK();
}

}  // namespace

std::string DefaultHistoryPath() {
  const char* state = std::getenv("XDG_STATE_HOME");
  if (state != nullptr && state[0] == '/') {
    return std::string(state) + "/vantrel/history.sqlite";
  }
  const char* home = std::getenv("HOME");
  return std::string(home != nullptr ? home : "") +
         "/.local/state/vantrel/history.sqlite";
}

Status OpenHistory(const std::string& path,
                   std::unique_ptr<HistoryStore>* store) {
  Status status = MakeFolders(path);
  if (!status.ok()) return Status::Error(path, status.message());
  // Made for the user alone before SQLite writes a byte into it.
  const int fd = ::open(path.c_str(), O_RDWR | O_CREAT | O_CLOEXEC, 0600);
  if (fd < 0) return Status::FromErrno(path, errno);
  ::close(fd);
  sqlite3* db = nullptr;
  if (sqlite3_open_v2(path.c_str(), &db,
                      SQLITE_OPEN_READWRITE | SQLITE_OPEN_NOMUTEX,
                      nullptr) != SQLITE_OK) {
    const std::string reason = db != nullptr ? sqlite3_errmsg(db) : "no memory";
    sqlite3_close_v2(db);
    return Status::Error(path, "it can't be opened: " + reason);
  }
  auto history = std::make_unique<SqliteHistory>(db, path);
  status = history->Open();
  if (!status.ok()) return status;
  *store = std::move(history);
  return Status::OK();
}

std::string Sha256Hex(std::string_view bytes) {
  // Fetched once: OpenSSL 3 looks the algorithm up again on every call
  // otherwise, which costs more than hashing a small page.
  static EVP_MD* const sha256 = EVP_MD_fetch(nullptr, "SHA256", nullptr);
  unsigned char digest[EVP_MAX_MD_SIZE];
  unsigned int length = 0;
  EVP_Digest(bytes.data(), bytes.size(), digest, &length,
             sha256 != nullptr ? sha256 : EVP_sha256(), nullptr);
  static const char kHex[] = "0123456789abcdef";
  std::string hex;
  for (unsigned int i = 0; i < length; ++i) {
    hex.push_back(kHex[digest[i] >> 4]);
    hex.push_back(kHex[digest[i] & 15]);
  }
  return hex;
}

StoredContent StoreContent(std::string_view bytes) {
  StoredContent stored;
  stored.hash = Sha256Hex(bytes);
  stored.size = static_cast<std::int64_t>(bytes.size());
  // A context and room per thread, kept: making a context costs more than
  // compressing a page, and a batch holds only what each page shrank to.
  // Level 1: web pages shrink well even so, and the history must not slow
  // the update down.
  struct Context {
    ZSTD_CCtx* context = ZSTD_createCCtx();
    std::string room;
    ~Context() { ZSTD_freeCCtx(context); }
  };
  static thread_local Context kept;
  if (kept.context == nullptr) throw std::bad_alloc();
  kept.room.resize(ZSTD_compressBound(bytes.size()));
  const std::size_t made =
      ZSTD_compressCCtx(kept.context, kept.room.data(), kept.room.size(),
                        bytes.data(), bytes.size(), 1);
  if (ZSTD_isError(made)) throw std::bad_alloc();
  stored.compressed.assign(kept.room, 0, made);
  return stored;
}

}  // namespace engine
