#include "engine/update_check.h"

#include <new>

#include "engine/backup_record.h"
#include "engine/locale_text.h"
#include "engine/owners.h"
#include "engine/path_rules.h"
#include "engine/safe_replace.h"
#include "engine/selection.h"

namespace engine {

std::unique_ptr<DocumentPlanner> ReadyUpdate(const ReplaceRules& rules,
                                             std::size_t entry_count,
                                             RunOutcome* refused) {
  refused->refusal = RunOutcome::Refusal::kText;
  std::string& problem = refused->problem;
  if (rules.pairs.size() == 1 && rules.pairs[0].search.empty()) {
    problem = "Please enter the information you would like replaced.";
    return nullptr;
  }
  std::unique_ptr<DocumentPlanner> planner =
      DocumentPlanner::Create(rules, &problem);
  if (!planner) return nullptr;
  if (entry_count > kMaxSelectionEntries) {
    refused->refusal = RunOutcome::Refusal::kTooMany;
    problem = "The list holds " + std::to_string(entry_count) +
              " files, more than the 32767 that one update can take. "
              "Nothing was changed.";
    return nullptr;
  }
  refused->refusal = RunOutcome::Refusal::kNone;
  return planner;
}

CheckResult UpdateCheck::Check(const std::string& document,
                               CheckedDocument* checked, std::string* why,
                               bool keep_changed_lines) {
  checked->document = document;
  checked->changed_through = nullptr;
  checked->backup_attributes = FileAttributes();
  ExamineStep& at = checked->refused_at;
  auto refused = [&](ExamineStep step) {
    at = step;
    return CheckResult::kRefused;
  };
  at = ExamineStep::kNone;
  if (!NameAllows(checked, why)) return refused(ExamineStep::kName);
  if (!Unclaimed(*checked, why)) return refused(ExamineStep::kSameFile);
  if (!AttributesAllow(checked, why)) return refused(ExamineStep::kAttributes);
  if (!NotHandled(checked, why)) return refused(ExamineStep::kSameFile);
  if (!ContentsAllow(planner_, checked, why, keep_changed_lines)) {
    return refused(ExamineStep::kContents);
  }
  if (checked->plan.stopped) return CheckResult::kStopped;
  if (checked->plan.replacements == 0) return CheckResult::kTextNotFound;
  if (!NotABackup(*checked, why)) return refused(ExamineStep::kSameFile);
  if (!BackupIsOurs(checked, why)) return refused(ExamineStep::kBackup);
  if (!BackupNotChanged(*checked, why)) return refused(ExamineStep::kSameFile);
  Remember(*checked);
  return CheckResult::kWillChange;
}

void UpdateCheck::Examine(const std::string& document,
                          const DocumentPlanner& planner,
                          CheckedDocument* checked,
                          bool keep_changed_lines) const {
  checked->document = document;
  checked->changed_through = nullptr;
  checked->backup_attributes = FileAttributes();
  std::string* why = &checked->refusal;
  ExamineStep& at = checked->refused_at;
  at = ExamineStep::kNone;
  if (!NameAllows(checked, why)) {
    at = ExamineStep::kName;
  } else if (!AttributesAllow(checked, why)) {
    at = ExamineStep::kAttributes;
  } else if (!ContentsAllow(planner, checked, why, keep_changed_lines)) {
    at = ExamineStep::kContents;
  } else if (checked->plan.replacements > 0 && !BackupIsOurs(checked, why)) {
    at = ExamineStep::kBackup;
  }
}

CheckResult UpdateCheck::Decide(CheckedDocument* checked, std::string* why) {
  // The checks that remember earlier documents come between the others
  // just where Check makes them, so that the first refusal is Check's.
  const ExamineStep at = checked->refused_at;
  auto refused = [&] {
    *why = checked->refusal;
    return CheckResult::kRefused;
  };
  auto same_file = [&] {
    checked->refused_at = ExamineStep::kSameFile;
    return CheckResult::kRefused;
  };
  if (at == ExamineStep::kName) return refused();
  if (!Unclaimed(*checked, why)) return same_file();
  if (at == ExamineStep::kAttributes) return refused();
  if (!NotHandled(checked, why)) return same_file();
  if (at == ExamineStep::kContents) return refused();
  if (checked->plan.stopped) return CheckResult::kStopped;
  if (checked->plan.replacements == 0) return CheckResult::kTextNotFound;
  if (!NotABackup(*checked, why)) return same_file();
  if (at == ExamineStep::kBackup) return refused();
  if (!BackupNotChanged(*checked, why)) return same_file();
  Remember(*checked);
  return CheckResult::kWillChange;
}

void UpdateCheck::NoteReplaced(const std::string& document,
                               const FileAttributes& replaced) {
  if (replaced.exists) handled_.emplace(KeyOf(replaced), document);
}

void UpdateCheck::Remember(const CheckedDocument& checked) {
  handled_.emplace(KeyOf(checked.attributes), checked.document);
  backups_.insert(checked.backup);
}

bool UpdateCheck::InFolder(const std::string& document,
                           std::string* why) const {
  const std::string prefix = documentPath(folder_, "");
  if (document.compare(0, prefix.size(), prefix) == 0 &&
      staysInFolder(std::string_view(document).substr(prefix.size()))) {
    return true;
  }
  *why = "its name leads out of the folder " + folder_;
  return false;
}

bool UpdateCheck::NameAllows(CheckedDocument* checked, std::string* why) const {
  if (!InFolder(checked->document, why)) return false;
  std::optional<std::string> backup = backupPath(checked->document);
  if (!backup) {
    *why = "the name is too short to form a backup name";
    return false;
  }
  checked->backup = *backup;
  // A name of fewer than three characters would put its backup into the
  // folder above.
  if (FolderOf(checked->backup) != FolderOf(checked->document) ||
      NameOf(checked->backup) == "bac") {
    *why = "the name is too short to form a backup name";
    return false;
  }
  // A backup taken for a document would get a backup of its own
  // (about.bac.bac), and undo would no longer find it.
  const std::optional<std::size_t> keep =
      BytesBeforeLastCharacters(checked->document, 3);
  if (keep && SameTextIgnoringCase(checked->document.substr(*keep), "bac")) {
    *why = "its name ends in \"bac\", as backups' names do";
    return false;
  }
  return true;
}

bool UpdateCheck::Unclaimed(const CheckedDocument& checked,
                            std::string* why) const {
  if (backups_.count(checked.backup) == 0) return true;
  *why = "its backup " + checked.backup +
         " was already made for another document in this run";
  return false;
}

bool UpdateCheck::AttributesAllow(CheckedDocument* checked,
                                  std::string* why) const {
  FileAttributes& attributes = checked->attributes;
  Status status = fs_.GetAttributes(checked->document, &attributes);
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
  if (attributes.links > 1) {
    *why = "it has " + std::to_string(attributes.links) +
           " names (hard links); replacing it would split them";
    return false;
  }
  *why = OwnersRefusal(attributes);
  return why->empty();
}

bool UpdateCheck::NotHandled(CheckedDocument* checked, std::string* why) const {
  auto earlier = handled_.find(KeyOf(checked->attributes));
  if (earlier == handled_.end()) return true;
  checked->changed_through = &earlier->second;
  *why = "it is the same file as " + earlier->second +
         ", which this run changes through that name";
  return false;
}

bool UpdateCheck::BackupNotChanged(const CheckedDocument& checked,
                                   std::string* why) const {
  if (!checked.backup_attributes.exists) return true;
  auto earlier = handled_.find(KeyOf(checked.backup_attributes));
  if (earlier == handled_.end()) return true;
  *why = "its backup " + checked.backup + " is the file that " +
         earlier->second + " leads to, which this run changes";
  return false;
}

bool UpdateCheck::NotABackup(const CheckedDocument& checked,
                             std::string* why) const {
  if (backups_.count(checked.target) == 0) return true;
  *why = "it leads to " + checked.target +
         ", the backup of another document in this run";
  return false;
}

bool UpdateCheck::ContentsAllow(const DocumentPlanner& planner,
                                CheckedDocument* checked, std::string* why,
                                bool keep_changed_lines) const {
  FileAttributes& attributes = checked->attributes;
  checked->target = checked->document;
  Status status;
  if (attributes.isLink) {
    status = fs_.ResolvePath(checked->document, &checked->target);
    if (!status.ok()) {
      *why = "the link could not be followed (" + status.reason() + ")";
      return false;
    }
  }
  static const long long largest = LargestReadableDocument();
  if (attributes.size > largest) {
    *why = "it is " + std::to_string(attributes.size) +
           " bytes long, more than the " + std::to_string(largest) +
           " bytes one document may have here";
    return false;
  }
  FileAttributes read;
  try {
    status = fs_.ReadFile(checked->target, &read, &checked->contents);
  } catch (const std::bad_alloc&) {
    checked->contents = std::string();
    *why = "there is not enough memory to hold it";
    return false;
  }
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
  if (read.unchangeable) {
    *why =
        "it is immutable or append-only (chattr +i or +a), so it can't "
        "be replaced";
    return false;
  }
  try {
    // Only a preview keeps the changed lines, and it writes nothing: the
    // lines alone do.
    planner.Plan(checked->contents, &checked->plan, keep_changed_lines,
                 /*changed_lines_only=*/keep_changed_lines, stop_);
  } catch (const std::exception& failure) {
    checked->contents = std::string();
    checked->plan = DocumentPlan();
    *why =
        dynamic_cast<const std::bad_alloc*>(&failure) != nullptr
            ? "there is not enough memory to hold it"
            : std::string("it could not be planned (") + failure.what() + ")";
    return false;
  }
  if (!checked->plan.refusal.empty()) {
    *why = checked->plan.refusal;
    return false;
  }
  return true;
}

bool UpdateCheck::BackupIsOurs(CheckedDocument* checked_document,
                               std::string* why) const {
  const CheckedDocument& checked = *checked_document;
  const std::string& backup = checked.backup;
  FileAttributes& existing = checked_document->backup_attributes;
  Status status = fs_.GetAttributes(backup, &existing);
  if (!status.ok()) {
    *why = "its backup " + backup + " could not be examined (" +
           status.reason() + ")";
    return false;
  }
  if (!existing.exists) return true;
  // A backup steps aside while its document is replaced, and a folder in
  // its place would be moved out of sight.
  if (!existing.isRegular && !existing.isLink) {
    *why = "its backup " + backup + " is not a file";
    return false;
  }
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
  // An empty record names no document.
  if (!present || recorded.empty() || recorded == NameOf(checked.document)) {
    return true;
  }
  const std::string other = documentPath(FolderOf(backup), recorded);
  FileAttributes other_attributes;
  status = fs_.GetAttributes(other, &other_attributes);
  if (status.ok() && !other_attributes.exists) return true;
  *why = "its backup " + backup + " holds the original of " + other +
         ", which is still there; restore or remove that backup first";
  return false;
}

}  // namespace engine
