#include "engine/update_check.h"

#include <new>

#include "engine/backup_record.h"
#include "engine/path_rules.h"
#include "engine/safe_replace.h"

namespace engine {

CheckResult UpdateCheck::Check(const std::string& document,
                               CheckedDocument* checked, std::string* why,
                               bool keep_changed_lines) {
  checked->document = document;
  std::optional<std::string> backup = backupPath(document);
  if (!backup) {
    *why = "the name is too short to form a backup name";
    return CheckResult::kRefused;
  }
  checked->backup = *backup;
  if (!Examine(checked, why, keep_changed_lines)) return CheckResult::kRefused;
  if (checked->plan.replacements == 0) return CheckResult::kTextNotFound;
  if (!BackupIsOurs(*checked, why)) return CheckResult::kRefused;
  handled_.emplace(KeyOf(checked->attributes), document);
  backups_.insert(checked->backup);
  return CheckResult::kWillChange;
}

void UpdateCheck::NoteReplaced(const std::string& document,
                               const FileAttributes& replaced) {
  if (replaced.exists) handled_.emplace(KeyOf(replaced), document);
}

bool UpdateCheck::Examine(CheckedDocument* checked, std::string* why,
                          bool keep_changed_lines) {
  const std::string& document = checked->document;
  FileAttributes& attributes = checked->attributes;
  if (checked->backup == document) {
    *why = "its name ends in \"bac\", so it would be its own backup";
    return false;
  }
  if (backups_.count(checked->backup) != 0) {
    *why = "its backup " + checked->backup +
           " was already made for another document in this run";
    return false;
  }
  Status status = fs_.GetAttributes(document, &attributes);
  if (!status.ok()) {
    *why = "the document could not be examined (" + status.reason() + ")";
    return false;
  }
  if (!attributes.exists) {
    *why = "the document is gone";
    return false;
  }
  if (!attributes.isRegular) {
    *why = "it is not a file";
    return false;
  }
  // The rule the kernel applies to links in shared folders: a link is
  // followed only to a file of the link's own owner.
  if (attributes.isLink && attributes.linkOwner != attributes.owner) {
    *why = "it is a link to a file of another owner";
    return false;
  }
  if (!attributes.writable) {
    *why = "the document is read-only";
    return false;
  }
  auto earlier = handled_.find(KeyOf(attributes));
  if (earlier != handled_.end()) {
    *why = "it is the same file as " + earlier->second +
           ", already changed in this run";
    return false;
  }
  checked->target = document;
  if (attributes.isLink) {
    status = fs_.ResolvePath(document, &checked->target);
    if (!status.ok()) {
      *why = "the link could not be followed (" + status.reason() + ")";
      return false;
    }
  }
  FileAttributes read;
  status = fs_.ReadFile(checked->target, &read, &checked->contents);
  if (!status.ok()) {
    *why = "the document could not be read (" + status.reason() + ")";
    return false;
  }
  if (!read.SameFileAs(attributes)) {
    *why = "another program replaced it while it was read";
    return false;
  }
  attributes.size = read.size;
  attributes.modifiedNanoseconds = read.modifiedNanoseconds;
  attributes.hasExtendedAttributes = read.hasExtendedAttributes;
  try {
    planner_.Plan(checked->contents, &checked->plan, keep_changed_lines);
  } catch (const std::bad_alloc&) {
    checked->contents = std::string();
    checked->plan = DocumentPlan();
    *why = "there is not enough memory to hold it";
    return false;
  }
  if (!checked->plan.refusal.empty()) {
    *why = checked->plan.refusal;
    return false;
  }
  return true;
}

bool UpdateCheck::BackupIsOurs(const CheckedDocument& checked,
                               std::string* why) {
  const std::string& backup = checked.backup;
  FileAttributes existing;
  Status status = fs_.GetAttributes(backup, &existing);
  if (!status.ok()) {
    *why = "its backup " + backup + " could not be examined (" +
           status.reason() + ")";
    return false;
  }
  if (!existing.exists) return true;
  if (existing.SameFileAs(checked.attributes)) {
    *why = "its backup " + backup + " is the document itself";
    return false;
  }
  std::string recorded;
  bool present = false;
  status =
      fs_.GetAttribute(backup, kDocumentRecordAttribute, &recorded, &present);
  if (!status.ok()) {
    *why = "its backup " + backup + " could not be examined (" +
           status.reason() + ")";
    return false;
  }
  if (!present || recorded == NameOf(checked.document)) return true;
  const std::string other = documentPath(FolderOf(backup), recorded);
  FileAttributes other_attributes;
  status = fs_.GetAttributes(other, &other_attributes);
  if (status.ok() && !other_attributes.exists) return true;
  *why = "its backup " + backup + " holds the original of " + other +
         ", which is still there; restore or remove that backup first";
  return false;
}

}  // namespace engine
