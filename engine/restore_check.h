// RestoreCheck decides, for one backup after another, whether a restore may
// put it back and where, without writing anything: the document it goes
// back to (the typed name, the name its record holds, or the one name that
// differs from it in letter case alone), whether that document may be
// replaced, and the backup's bytes.  It takes the folders it looks in for
// the run first, and remembers the documents it has passed, so that one
// run restores a document at most once.

#ifndef VANTREL_ENGINE_RESTORE_CHECK_H_
#define VANTREL_ENGINE_RESTORE_CHECK_H_

#include <optional>
#include <set>
#include <string>
#include <unordered_map>
#include <utility>
#include <vector>

#include "engine/file_system.h"
#include "engine/run_outcome.h"
#include "engine/safe_replace.h"

namespace engine {

// What the restore ends each refusal with.
inline constexpr char kBothKept[] =
    "; the document and the backup are unchanged.";

// One backup as the checks found it.
struct CheckedBackup {
  std::string backup;
  FileAttributes backup_attributes;
  FileAttributes backup_read;  // as the read found it
  std::string contents;
  std::string recorded;     // the document the backup records, or empty
  std::string target;       // as named in its folder
  std::string real_target;  // links resolved
  FileAttributes target_attributes;
  Reason refusal = Reason::kNotAllowed;  // when Check refuses it
};

class RestoreCheck {
 public:
  RestoreCheck(const std::string& type_text, FileSystem& fs, FolderLocks& locks)
      : type_text_(type_text), fs_(fs), locks_(locks) {}

  // Examines backup and fills *checked; false with *why set (in words for
  // the user, saying where the content still is) to refuse it.  A backup
  // that passes claims its document for the rest of the run.
  bool Check(const std::string& backup, CheckedBackup* checked,
             std::string* why);
  // Remembers the file a restore made (a replace makes a new one), so
  // that its other names are known too.
  void NoteRestored(const FileAttributes& restored);

 private:
  using NamesByKey = std::unordered_map<std::string, std::vector<std::string>>;
  using FileKey = std::pair<unsigned long long, unsigned long long>;

  // Everything that can refuse the entry, decided before any write.
  bool Examine(const std::string& backup, std::string* why);
  // Where the copy goes: the target itself or, when no file is there, the
  // document the backup records, or the one file of the folder whose name
  // differs from it in letter case alone (index.htm for index.HTM), so that
  // undo replaces the document it came from.  Each folder is read once per
  // run for this.  False with *why when several names could be meant.
  bool FindTarget(std::string* why);
  // Takes a folder the entry works in; false with *why when another run
  // holds it.
  bool Lock(const std::string& folder, std::string* why);
  bool RecordAllows(const std::string& backup, std::string* why);
  // The document backup records, in its folder; std::nullopt with *why
  // set when it records none.
  std::optional<std::string> RecordedDocument(const std::string& backup,
                                              std::string* why);
  // The names of folder by CaseFoldKey, read at its first use.
  const NamesByKey& NamesIn(const std::string& folder);

  const std::string& type_text_;
  FileSystem& fs_;
  FolderLocks& locks_;
  std::unordered_map<std::string, NamesByKey> folder_names_;
  std::set<FileKey> restored_;
  std::set<std::string> created_;  // documents the run makes anew
  CheckedBackup* c_ = nullptr;     // the entry being checked
};

}  // namespace engine

#endif  // VANTREL_ENGINE_RESTORE_CHECK_H_
