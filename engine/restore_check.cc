#include "engine/restore_check.h"

#include <optional>

#include "engine/backup_record.h"
#include "engine/locale_text.h"
#include "engine/owners.h"
#include "engine/path_rules.h"

namespace engine {

bool RestoreCheck::Check(const std::string& backup, CheckedBackup* checked,
                         std::string* why) {
  c_ = checked;
  c_->backup = backup;
  c_->refusal = Reason::kNotAllowed;
  // The backup's folder is the run's before anything in it is looked at; a
  // link's target's once the link is known.
  if (!Lock(FolderOf(backup), why)) return false;
  std::optional<std::string> target = type_text_.empty()
                                          ? RecordedDocument(backup, why)
                                          : restoredPath(backup, type_text_);
  if (!target) {
    if (why->empty()) {
      *why = "the name is too short to restore; the backup is kept.";
    }
    return false;
  }
  c_->target = *target;
  if (c_->target == backup) {
    *why = "the type would copy the backup onto itself; the backup is kept.";
    return false;
  }
  if (!Examine(backup, why) || !Lock(FolderOf(c_->real_target), why)) {
    return false;
  }
  // The document is claimed now, though written later with its batch.
  if (c_->target_attributes.exists) {
    restored_.insert(
        {c_->target_attributes.device, c_->target_attributes.inode});
    return true;
  }
  if (!created_.insert(c_->target).second) {
    c_->refusal = Reason::kSameFile;
    *why = c_->target +
           " was already restored from another backup in this run" + kBothKept;
    return false;
  }
  auto listed = folder_names_.find(FolderOf(c_->target));
  if (listed != folder_names_.end()) {
    listed->second[CaseFoldKey(NameOf(c_->target))].push_back(
        NameOf(c_->target));
  }
  return true;
}

std::optional<std::string> RestoreCheck::RecordedDocument(
    const std::string& backup, std::string* why) {
  std::string recorded;
  bool present = false;
  Status status =
      fs_.GetAttribute(backup, kDocumentRecordAttribute, &recorded, &present);
  if (!status.ok()) {
    *why = "it could not be examined (" + status.message() + ")" + kBothKept;
    return std::nullopt;
  }
  // A record is a name in the backup's own folder, never a way out of it.
  if (!present || recorded.empty() || !staysInFolder(recorded) ||
      recorded.find('/') != std::string::npos) {
    c_->refusal = Reason::kNoRecord;
    *why =
        "it does not record the document it was made from; choose the type "
        "that document had; the backup is kept.";
    return std::nullopt;
  }
  return documentPath(FolderOf(backup), recorded);
}

void RestoreCheck::NoteRestored(const FileAttributes& restored) {
  if (restored.exists) restored_.insert({restored.device, restored.inode});
}

const RestoreCheck::NamesByKey& RestoreCheck::NamesIn(
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

bool RestoreCheck::FindTarget(std::string* why) {
  Status status = fs_.GetAttributes(c_->target, &c_->target_attributes);
  if (status.ok() && !c_->target_attributes.exists) {
    const std::string folder = FolderOf(c_->target);
    const std::string key = CaseFoldKey(NameOf(c_->target));
    const NamesByKey& names = NamesIn(folder);
    auto found = names.find(key);
    if (!c_->recorded.empty() && CaseFoldKey(c_->recorded) == key) {
      // The backup knows its document's own name, present or not.
      c_->target = documentPath(folder, c_->recorded);
    } else if (found != names.end() && found->second.size() > 1) {
      *why = "its folder holds several names that differ from " + c_->target +
             " only in letter case, and the backup does not record which "
             "one it belongs to" +
             kBothKept;
      return false;
    } else if (found != names.end()) {
      c_->target = documentPath(folder, found->second.front());
    }
    status = fs_.GetAttributes(c_->target, &c_->target_attributes);
  }
  if (status.ok()) return true;
  *why = "it could not be examined (" + status.message() + ")" + kBothKept;
  return false;
}

bool RestoreCheck::Lock(const std::string& folder, std::string* why) {
  Status locked = locks_.Take(folder);
  if (locked.ok()) return true;
  c_->refusal = Reason::kLocked;
  *why = (locked.code() == Status::kBusy
              ? "another update or restore is working in " + folder
              : "the folder " + folder + " could not be locked (" +
                    locked.reason() + ")") +
         kBothKept;
  return false;
}

bool RestoreCheck::RecordAllows(const std::string& backup, std::string* why) {
  if (c_->recorded.empty() ||
      SameTextIgnoringCase(c_->recorded, NameOf(c_->target))) {
    return true;
  }
  *why = "it holds the original of " +
         documentPath(FolderOf(backup), c_->recorded) + ", not of " +
         c_->target + "; choose the type that document has" + kBothKept;
  return false;
}

bool RestoreCheck::Examine(const std::string& backup, std::string* why) {
  Status status = fs_.GetAttributes(backup, &c_->backup_attributes);
  if (!status.ok()) {
    *why = "it could not be examined (" + status.message() + ")" + kBothKept;
    return false;
  }
  if (!c_->backup_attributes.exists) {
    *why = "the backup is gone.";
    return false;
  }
  if (!c_->backup_attributes.isRegular ||
      (c_->backup_attributes.isLink &&
       c_->backup_attributes.linkOwner != c_->backup_attributes.owner)) {
    *why = "it is not a file of its own; nothing was changed.";
    return false;
  }
  // An empty record names no document.
  bool present = false;
  status = fs_.GetAttribute(backup, kDocumentRecordAttribute, &c_->recorded,
                            &present);
  if (!status.ok()) {
    *why = "it could not be examined (" + status.message() + ")" + kBothKept;
    return false;
  }
  if (!present) c_->recorded.clear();
  if (!FindTarget(why)) return false;
  c_->real_target = c_->target;
  if (c_->target_attributes.exists) {
    if (!c_->target_attributes.isRegular) {
      *why = c_->target + " is not a file" + kBothKept;
      return false;
    }
    if (c_->target_attributes.isLink &&
        c_->target_attributes.linkOwner != c_->target_attributes.owner) {
      *why = c_->target + " is a link to a file of another owner" + kBothKept;
      return false;
    }
    if (!c_->target_attributes.writable) {
      *why = c_->target + " is read-only" + kBothKept;
      return false;
    }
    if (c_->target_attributes.links > 1) {
      *why = c_->target + " has " +
             std::to_string(c_->target_attributes.links) +
             " names (hard links); replacing it would split them" + kBothKept;
      return false;
    }
    if (c_->target_attributes.SameFileAs(c_->backup_attributes)) {
      *why = c_->target + " is the backup itself" + kBothKept;
      return false;
    }
    if (restored_.count(
            {c_->target_attributes.device, c_->target_attributes.inode}) != 0) {
      *why = c_->target +
             " was already restored from another backup in this "
             "run" +
             kBothKept;
      return false;
    }
    if (c_->target_attributes.isLink) {
      status = fs_.ResolvePath(c_->target, &c_->real_target);
      if (!status.ok()) {
        *why =
            "it could not be examined (" + status.message() + ")" + kBothKept;
        return false;
      }
    }
  }
  if (!RecordAllows(backup, why)) return false;
  const std::string owners =
      OwnersRefusal(c_->target_attributes.exists ? c_->target_attributes
                                                 : c_->backup_attributes);
  if (!owners.empty()) {
    *why = c_->target + ": " + owners + kBothKept;
    return false;
  }
  static const long long largest = LargestReadableDocument();
  if (c_->backup_attributes.size > largest) {
    *why = "it is " + std::to_string(c_->backup_attributes.size) +
           " bytes long, more than the " + std::to_string(largest) +
           " bytes one file may have here" + kBothKept;
    return false;
  }
  FileAttributes& read = c_->backup_read;
  status = fs_.ReadFile(backup, &read, &c_->contents);
  if (!status.ok() || !read.SameFileAs(c_->backup_attributes)) {
    *why = "it could not be read (" +
           (status.ok() ? std::string("it was replaced meanwhile")
                        : status.reason()) +
           ")" + kBothKept;
    return false;
  }
  return true;
}

}  // namespace engine
