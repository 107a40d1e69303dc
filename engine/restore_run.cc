#include "engine/restore_run.h"

#include <unistd.h>

#include <exception>
#include <new>
#include <optional>
#include <set>
#include <unordered_map>
#include <vector>

#include "engine/backup_record.h"
#include "engine/failure_report.h"
#include "engine/locale_text.h"
#include "engine/owners.h"
#include "engine/path_rules.h"
#include "engine/safe_replace.h"

namespace engine {

namespace {

constexpr char kBothKept[] = "; the document and the backup are unchanged.";

// A type ending in "bac" would name a backup: the entry's own, or another
// one (x.bac restored as "y.bac" becomes x.y.bac).
bool IsBackupType(const std::string& type_text) {
  const std::optional<std::size_t> keep =
      BytesBeforeLastCharacters(type_text, 3);
  return keep && SameTextIgnoringCase(type_text.substr(*keep), "bac");
}

class BackupRestorer {
 public:
  BackupRestorer(const std::string& type_text, FileSystem& fs,
                 FolderLocks& locks)
      : type_text_(type_text), fs_(fs), locks_(locks) {}

  // Puts the content of backup in place of its document, then deletes
  // backup.  On failure *why says why and where the content still is.
  bool Restore(const std::string& backup, std::string* why);

 private:
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

  using NamesByKey = std::unordered_map<std::string, std::vector<std::string>>;
  // The names of folder by CaseFoldKey, read at its first use.
  const NamesByKey& NamesIn(const std::string& folder);

  const std::string& type_text_;
  FileSystem& fs_;
  FolderLocks& locks_;
  // Each folder's names by CaseFoldKey, read once per run.
  std::unordered_map<std::string, NamesByKey> folder_names_;
  std::set<std::pair<unsigned long long, unsigned long long>> restored_;

  // The entry being worked on.
  FileAttributes backup_attributes_;
  FileAttributes backup_read_;  // as the read found it
  std::string contents_;
  std::string recorded_;     // the document the backup records, or empty
  std::string target_;       // as named in its folder
  std::string real_target_;  // links resolved
  FileAttributes target_attributes_;
};

const BackupRestorer::NamesByKey& BackupRestorer::NamesIn(
    const std::string& folder) {
  auto listed = folder_names_.find(folder);
  if (listed != folder_names_.end()) return listed->second;
  listed = folder_names_.emplace(folder, NamesByKey()).first;
  std::vector<std::string> names;
  if (fs_.ListFolder(folder, &names).ok()) {
    for (std::string& name : names) {
      listed->second[CaseFoldKey(name)].push_back(std::move(name));
    }
  }
  return listed->second;
}

bool BackupRestorer::FindTarget(std::string* why) {
  Status status = fs_.GetAttributes(target_, &target_attributes_);
  if (status.ok() && !target_attributes_.exists) {
    const std::string folder = FolderOf(target_);
    const std::string key = CaseFoldKey(NameOf(target_));
    const NamesByKey& names = NamesIn(folder);
    auto found = names.find(key);
    if (!recorded_.empty() && CaseFoldKey(recorded_) == key) {
      // The backup knows its document's own name, present or not.
      target_ = documentPath(folder, recorded_);
    } else if (found != names.end() && found->second.size() > 1) {
      *why = "its folder holds several names that differ from " + target_ +
             " only in letter case, and the backup does not record which "
             "one it belongs to" +
             kBothKept;
      return false;
    } else if (found != names.end()) {
      target_ = documentPath(folder, found->second.front());
    }
    status = fs_.GetAttributes(target_, &target_attributes_);
  }
  if (status.ok()) return true;
  *why = "it could not be examined (" + status.message() + ")" + kBothKept;
  return false;
}

bool BackupRestorer::Lock(const std::string& folder, std::string* why) {
  Status locked = locks_.Take(folder);
  if (locked.ok()) return true;
  *why = (locked.code() == Status::kBusy
              ? "another update or restore is working in " + folder
              : "the folder " + folder + " could not be locked (" +
                    locked.reason() + ")") +
         kBothKept;
  return false;
}

bool BackupRestorer::RecordAllows(const std::string& backup, std::string* why) {
  if (recorded_.empty() || SameTextIgnoringCase(recorded_, NameOf(target_))) {
    return true;
  }
  *why = "it holds the original of " +
         documentPath(FolderOf(backup), recorded_) + ", not of " + target_ +
         "; choose the type that document has" + kBothKept;
  return false;
}

bool BackupRestorer::Examine(const std::string& backup, std::string* why) {
  Status status = fs_.GetAttributes(backup, &backup_attributes_);
  if (!status.ok()) {
    *why = "it could not be examined (" + status.message() + ")" + kBothKept;
    return false;
  }
  if (!backup_attributes_.exists) {
    *why = "the backup is gone.";
    return false;
  }
  if (!backup_attributes_.isRegular ||
      (backup_attributes_.isLink &&
       backup_attributes_.linkOwner != backup_attributes_.owner)) {
    *why = "it is not a file of its own; nothing was changed.";
    return false;
  }
  // An empty record names no document.
  bool present = false;
  status =
      fs_.GetAttribute(backup, kDocumentRecordAttribute, &recorded_, &present);
  if (!status.ok()) {
    *why = "it could not be examined (" + status.message() + ")" + kBothKept;
    return false;
  }
  if (!present) recorded_.clear();
  if (!FindTarget(why)) return false;
  real_target_ = target_;
  if (target_attributes_.exists) {
    if (!target_attributes_.isRegular) {
      *why = target_ + " is not a file" + kBothKept;
      return false;
    }
    if (target_attributes_.isLink &&
        target_attributes_.linkOwner != target_attributes_.owner) {
      *why = target_ + " is a link to a file of another owner" + kBothKept;
      return false;
    }
    if (!target_attributes_.writable) {
      *why = target_ + " is read-only" + kBothKept;
      return false;
    }
    if (target_attributes_.links > 1) {
      *why = target_ + " has " + std::to_string(target_attributes_.links) +
             " names (hard links); replacing it would split them" + kBothKept;
      return false;
    }
    if (target_attributes_.SameFileAs(backup_attributes_)) {
      *why = target_ + " is the backup itself" + kBothKept;
      return false;
    }
    if (restored_.count(
            {target_attributes_.device, target_attributes_.inode}) != 0) {
      *why = target_ +
             " was already restored from another backup in this "
             "run" +
             kBothKept;
      return false;
    }
    if (target_attributes_.isLink) {
      status = fs_.ResolvePath(target_, &real_target_);
      if (!status.ok()) {
        *why =
            "it could not be examined (" + status.message() + ")" + kBothKept;
        return false;
      }
    }
  }
  if (!RecordAllows(backup, why)) return false;
  const std::string owners = OwnersRefusal(
      target_attributes_.exists ? target_attributes_ : backup_attributes_);
  if (!owners.empty()) {
    *why = target_ + ": " + owners + kBothKept;
    return false;
  }
  static const long long largest = LargestReadableDocument();
  if (backup_attributes_.size > largest) {
    *why = "it is " + std::to_string(backup_attributes_.size) +
           " bytes long, more than the " + std::to_string(largest) +
           " bytes one file may have here" + kBothKept;
    return false;
  }
  FileAttributes& read = backup_read_;
  status = fs_.ReadFile(backup, &read, &contents_);
  if (!status.ok() || !read.SameFileAs(backup_attributes_)) {
    *why = "it could not be read (" +
           (status.ok() ? std::string("it was replaced meanwhile")
                        : status.reason()) +
           ")" + kBothKept;
    return false;
  }
  return true;
}

bool BackupRestorer::Restore(const std::string& backup, std::string* why) {
  std::optional<std::string> target = restoredPath(backup, type_text_);
  if (!target) {
    *why = "the name is too short to restore; the backup is kept.";
    return false;
  }
  target_ = *target;
  if (target_ == backup) {
    *why = "the type would copy the backup onto itself; the backup is kept.";
    return false;
  }
  // The backup's folder is the run's before anything in it is looked at; a
  // link's target's once the link is known.
  if (!Lock(FolderOf(backup), why) || !Examine(backup, why) ||
      !Lock(FolderOf(real_target_), why)) {
    return false;
  }

  ReplaceRequest request;
  request.target = real_target_;
  request.content = contents_;
  if (target_attributes_.exists) {
    // The document keeps its own permissions, owner, group and attributes,
    // whatever the backup carries.
    request.like = target_attributes_;
    request.attributes_from = real_target_;
    request.expected = &target_attributes_;
  } else {
    // The backup kept the document's owners and permissions.
    request.like.mode = backup_attributes_.mode & 0777;
    request.like.owner = backup_attributes_.owner;
    request.like.group = backup_attributes_.group;
  }
  Status status = ReplaceFile(fs_, request);
  if (status.code() == Status::kChanged) {
    *why = "another program changed " + target_ +
           " meanwhile; it is as that program saved it, and the backup is "
           "kept.";
    return false;
  }
  if (status.code() == Status::kUnflushed) {
    *why = "it was copied to " + target_ +
           ", but the folder could not be flushed to disk (" + status.reason() +
           "); the backup is kept.";
    return false;
  }
  if (!status.ok()) {
    *why = "it could not be copied to " + target_ + " (" + status.reason() +
           ")" + kBothKept;
    return false;
  }
  FileAttributes restored;
  if (fs_.GetAttributes(real_target_, &restored).ok()) {
    restored_.insert({restored.device, restored.inode});
  }
  if (!target_attributes_.exists) {
    auto listed = folder_names_.find(FolderOf(target_));
    if (listed != folder_names_.end()) {
      listed->second[CaseFoldKey(NameOf(target_))].push_back(NameOf(target_));
    }
  }
  // Only the backup that was copied goes: not one put there meanwhile.
  FileAttributes now;
  status = fs_.GetAttributes(backup, &now);
  if (status.ok() && !now.Unchanged(backup_read_)) {
    *why = "it was restored to " + target_ +
           ", and the backup was kept: another program changed it meanwhile.";
    return false;
  }
  if (status.ok()) status = fs_.DeleteFile(backup);
  if (!status.ok()) {
    *why = "it was restored to " + target_ +
           ", but the backup could not be deleted (" + status.reason() + ").";
    return false;
  }
  return true;
}

}  // namespace

void RestoreRun(const std::string& typeText, const std::string& folder,
                const Selection& entries, RunReporter& reporter,
                FileSystem& fs) {
  if (typeText == "<Choose>") {
    reporter.showMessage("Please select a file type to restore to.", "Oops...");
    return;
  }
  if (IsBackupType(typeText)) {
    reporter.showMessage("The type \"" + typeText +
                             "\" would make each restored file a backup. "
                             "Please choose the type the documents had.",
                         "Oops...");
    return;
  }
  if (typeText.find('/') != std::string::npos) {
    reporter.showMessage(
        "A type can't hold \"/\". Please choose the type the "
        "documents had.",
        "Oops...");
    return;
  }
  if (entries.size() > kMaxSelectionEntries) {
    reporter.showMessage(
        "The list holds " + std::to_string(entries.size()) +
            " files, more than the 32767 that one restore can take. Nothing "
            "was changed.",
        "Oops...");
    return;
  }
  std::unique_ptr<FolderHold> hold;
  Status status = fs.HoldFolder(folder, &hold);
  FolderLocks locks(fs);
  if (status.ok()) status = locks.Take(folder);
  if (!status.ok()) {
    reporter.showMessage(FolderRefusal(status, folder, "restore"), "Oops...");
    return;
  }

  const int count = static_cast<int>(entries.size());
  BackupRestorer restorer(typeText, fs, locks);
  FailureReport failures;
  std::int32_t restored = 0;
  bool stopped = false;
  reporter.setProgressRange(0, count);
  for (int i = 0; i < count; ++i) {
    reporter.setProgressValue(i);
    if (reporter.stopRequested()) {
      stopped = true;
      break;
    }
    const Entry& entry = entries[static_cast<std::size_t>(i)];
    if (!entry.selected) continue;
    const std::string backup = documentPath(folder, entry.name);
    std::string why;
    if (!staysInFolder(entry.name)) {
      failures.Add(backup, "its name leads out of the folder " + folder +
                               "; nothing was changed.");
    } else {
      bool done = false;
      try {
        done = restorer.Restore(backup, &why);
      } catch (const std::bad_alloc&) {
        why = std::string("there is not enough memory to hold it") + kBothKept;
      } catch (const std::exception& failure) {
        why = std::string("it could not be restored (") + failure.what() + ")" +
              kBothKept;
      }
      if (done) {
        ++restored;
      } else {
        failures.Add(backup, why);
      }
    }
  }

  if (!failures.empty()) {
    reporter.showMessage(
        failures.Message(
            failures.size() == 1 ? "This backup could not be restored:"
                                 : "These backups could not be restored:",
            "Nothing was lost: a backup that was not restored is still in "
            "its folder."),
        "Oops...");
  }
  reporter.refreshList();
  reporter.setProgressValue(0);
  if (stopped) {
    reporter.showMessage("The restore was stopped. " +
                             std::to_string(restored) +
                             " archived files successfully restored; the "
                             "other backups are unchanged.",
                         "Stopped.");
    return;
  }
  reporter.showMessage(
      std::to_string(restored) + " archived files successfully restored.",
      "Complete.");
}

}  // namespace engine
