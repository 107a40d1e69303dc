#include "engine/update_run.h"

#include <new>
#include <unordered_map>
#include <unordered_set>

#include "engine/backup_record.h"
#include "engine/document_plan.h"
#include "engine/failure_report.h"
#include "engine/path_rules.h"
#include "engine/safe_replace.h"

namespace engine {

namespace {

constexpr char kIdle[] = "Parsing Engine Idle.";
constexpr char kUnchanged[] = "; the document is unchanged.";

// How one document came out of the run.
enum class Outcome { kUpdated, kTextNotFound, kFailed };

struct FileKey {
  unsigned long long device;
  unsigned long long inode;
  bool operator==(const FileKey&) const = default;
};

struct FileKeyHash {
  std::size_t operator()(const FileKey& key) const {
    return std::hash<unsigned long long>()(key.device * 1000003ULL ^ key.inode);
  }
};

FileKey KeyOf(const FileAttributes& attributes) {
  return {attributes.device, attributes.inode};
}

class DocumentUpdater {
 public:
  DocumentUpdater(const DocumentPlanner& planner, RunReporter& reporter,
                  FileSystem& fs)
      : planner_(planner), reporter_(reporter), fs_(fs) {}

  // Decides whether the document may and must change, then backs it up and
  // replaces it.  On kFailed *why says what happened to it.
  Outcome Update(const std::string& document, std::string* why);

 private:
  // Everything that can refuse the document, decided before any write.
  bool Examine(const std::string& document, const std::string& backup,
               std::string* why);
  // The backup may be replaced: it is not the document itself and records
  // no other document that is still there.
  bool BackupIsOurs(const std::string& document, const std::string& backup,
                    std::string* why);

  const DocumentPlanner& planner_;
  RunReporter& reporter_;
  FileSystem& fs_;
  // Every file already handled in this run, by device and inode, with the
  // name that reached it; and every backup name written.
  std::unordered_map<FileKey, std::string, FileKeyHash> handled_;
  std::unordered_set<std::string> backups_written_;
  // The document being worked on.
  FileAttributes attributes_;
  std::string target_;  // the file itself, links resolved
  std::string contents_;
  DocumentPlan plan_;
};

bool DocumentUpdater::Examine(const std::string& document,
                              const std::string& backup, std::string* why) {
  if (backup == document) {
    *why = "its name ends in \"bac\", so it would be its own backup";
    return false;
  }
  if (backups_written_.count(backup) != 0) {
    *why = "its backup " + backup +
           " was already made for another document in this run";
    return false;
  }
  Status status = fs_.GetAttributes(document, &attributes_);
  if (!status.ok()) {
    *why = "the document could not be examined (" + status.reason() + ")";
    return false;
  }
  if (!attributes_.exists) {
    *why = "the document is gone";
    return false;
  }
  if (!attributes_.isRegular) {
    *why = "it is not a file";
    return false;
  }
  // The rule the kernel applies to links in shared folders: a link is
  // followed only to a file of the link's own owner.
  if (attributes_.isLink && attributes_.linkOwner != attributes_.owner) {
    *why = "it is a link to a file of another owner";
    return false;
  }
  if (!attributes_.writable) {
    *why = "the document is read-only";
    return false;
  }
  target_ = document;
  if (attributes_.isLink) {
    status = fs_.ResolvePath(document, &target_);
    if (!status.ok()) {
      *why = "the link could not be followed (" + status.reason() + ")";
      return false;
    }
  }
  auto earlier = handled_.find(KeyOf(attributes_));
  if (earlier != handled_.end()) {
    *why = "it is the same file as " + earlier->second +
           ", already handled in this run";
    return false;
  }
  FileAttributes read;
  status = fs_.ReadFile(target_, &read, &contents_);
  if (!status.ok()) {
    *why = "the document could not be read (" + status.reason() + ")";
    return false;
  }
  if (!read.SameFileAs(attributes_)) {
    *why = "another program replaced it while it was read";
    return false;
  }
  attributes_.size = read.size;
  attributes_.modifiedNanoseconds = read.modifiedNanoseconds;
  try {
    planner_.Plan(contents_, &plan_);
  } catch (const std::bad_alloc&) {
    *why = "there is not enough memory to hold it";
    return false;
  }
  if (!plan_.refusal.empty()) {
    *why = plan_.refusal;
    return false;
  }
  if (plan_.replacements == 0) return true;
  if (!BackupIsOurs(document, backup, why)) return false;
  handled_.emplace(KeyOf(attributes_), document);
  return true;
}

bool DocumentUpdater::BackupIsOurs(const std::string& document,
                                   const std::string& backup,
                                   std::string* why) {
  FileAttributes existing;
  Status status = fs_.GetAttributes(backup, &existing);
  if (!status.ok()) {
    *why = "its backup " + backup + " could not be examined (" +
           status.reason() + ")";
    return false;
  }
  if (!existing.exists) return true;
  if (existing.SameFileAs(attributes_)) {
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
  if (!present || recorded == NameOf(document)) return true;
  const std::string other = documentPath(FolderOf(backup), recorded);
  FileAttributes other_attributes;
  status = fs_.GetAttributes(other, &other_attributes);
  if (status.ok() && !other_attributes.exists) return true;
  *why = "its backup " + backup + " holds the original of " + other +
         ", which is still there; restore or remove that backup first";
  return false;
}

Outcome DocumentUpdater::Update(const std::string& document, std::string* why) {
  reporter_.showWorkingOn(document);
  reporter_.showOperation("Scanning...");

  std::optional<std::string> backup = backupPath(document);
  if (!backup) {
    *why =
        "the name is too short to form a backup name" + std::string(kUnchanged);
    return Outcome::kFailed;
  }
  if (!Examine(document, *backup, why)) {
    *why += kUnchanged;
    return Outcome::kFailed;
  }
  if (plan_.replacements == 0) return Outcome::kTextNotFound;

  // The backup holds exactly the bytes the plan was made from, and it is
  // on stable storage, name included, before the document is replaced.
  ReplaceRequest backup_request;
  backup_request.target = *backup;
  backup_request.content = contents_;
  backup_request.like = attributes_;
  backup_request.like.mode &= 01777;
  backup_request.attributes_from = target_;
  backup_request.record = NameOf(document);
  Status status = ReplaceFile(fs_, backup_request);
  backups_written_.insert(*backup);
  if (!status.ok()) {
    *why = "the backup " + *backup + " could not be made (" + status.reason() +
           ")" + kUnchanged;
    return Outcome::kFailed;
  }
  reporter_.showOperation("Performing Backup...");
  reporter_.showOperation("Updating...");

  ReplaceRequest document_request;
  document_request.target = target_;
  document_request.content = plan_.content;
  document_request.like = attributes_;
  document_request.attributes_from = target_;
  document_request.expected = &attributes_;
  // The rename need not reach the disk before the next document: until it
  // does, the old content stays in place and in the backup.
  document_request.sync_folder = false;
  status = ReplaceFile(fs_, document_request);
  if (status.code() == Status::kChanged) {
    *why =
        "another program changed it during the update; it is as that "
        "program saved it, and its backup " +
        *backup + " holds the version read before";
    return Outcome::kFailed;
  }
  if (!status.ok()) {
    *why = "the document could not be replaced (" + status.reason() +
           "); it is unchanged, with its backup " + *backup + " beside it.";
    return Outcome::kFailed;
  }
  // The new content is a new file: its other names must know it too.
  FileAttributes replaced;
  if (fs_.GetAttributes(target_, &replaced).ok() && replaced.exists) {
    handled_.emplace(KeyOf(replaced), document);
  }
  return Outcome::kUpdated;
}

}  // namespace

std::int32_t UpdateRun(const std::string& folder, const Selection& entries,
                       const std::string& searchText,
                       const std::string& newText, RunReporter& reporter,
                       FileSystem& fs) {
  if (searchText.empty()) {
    reporter.showMessage(
        "Please enter the information you would like replaced.", "Oops");
    return 0;
  }
  if (newText.empty()) {
    reporter.showMessage(
        "Please enter the information you would like to replace it with.",
        "Oops");
    return 0;
  }
  std::string problem;
  std::unique_ptr<DocumentPlanner> planner =
      DocumentPlanner::Create(searchText, newText, &problem);
  if (!planner) {
    reporter.showMessage(problem, "Oops");
    return 0;
  }
  if (entries.size() > kMaxSelectionEntries) {
    reporter.showMessage(
        "The list holds " + std::to_string(entries.size()) +
            " files, more than the 32767 that one update can take. Nothing "
            "was changed.",
        "Oops..");
    return 0;
  }
  std::unique_ptr<FolderLock> lock;
  Status status = TakeFolder(fs, folder, &lock);
  if (!status.ok()) {
    reporter.showMessage(
        status.code() == Status::kBusy
            ? "Another update or restore is working in " + folder +
                  ". Try again when it has finished. Nothing was changed."
            : "The folder " + folder + " could not be locked for the update (" +
                  status.reason() + "). Nothing was changed.",
        "Oops..");
    return 0;
  }

  const int count = static_cast<int>(entries.size());
  DocumentUpdater updater(*planner, reporter, fs);
  FailureReport failures;
  std::int32_t updated = 0;
  int not_found = 0;
  reporter.setProgressRange(0, count);
  for (int i = 0; i < count; ++i) {
    reporter.setProgressValue(i);
    const Entry& entry = entries[static_cast<std::size_t>(i)];
    if (!entry.selected) continue;
    const std::string document = documentPath(folder, entry.name);
    std::string why;
    switch (updater.Update(document, &why)) {
      case Outcome::kUpdated:
        ++updated;
        break;
      case Outcome::kTextNotFound:
        ++not_found;
        break;
      case Outcome::kFailed:
        failures.Add(document, why);
        break;
    }
  }
  // The renames of the documents themselves, left unflushed in the loop.
  if (updated > 0) fs.SyncFolder(folder);

  if (!failures.empty()) {
    reporter.showMessage(
        failures.Message(
            failures.size() == 1 ? "This document could not be updated:"
                                 : "These documents could not be updated:",
            "No original was lost: each of them is unchanged or has a "
            "complete backup beside it."),
        "Oops..");
  }
  if (updated > 0) {
    std::string prompt = "Successfully updated " + std::to_string(updated) +
                         " documents. Backup copies of each file archived "
                         "successfully.";
    if (not_found > 0) {
      prompt += " " + std::to_string(not_found) +
                " selected documents did not contain the text and were left "
                "as they were.";
    }
    reporter.setProgressValue(count);
    reporter.showMessage(prompt, "Job Complete.");
    reporter.setProgressValue(0);
    reporter.disableUpdate();
    reporter.showWorkingOn(kIdle);
    reporter.showOperation("Completed.");
  } else if (!failures.empty()) {
    // "No files selected" or "not found" would be untrue here.
    reporter.setProgressValue(0);
  } else {
    reporter.setProgressValue(count);
    reporter.showMessage(not_found > 0
                             ? "The text was not found in the selected "
                               "documents. Nothing was changed."
                             : "No files selected to modify.",
                         "Oops..");
    reporter.setProgressValue(0);
  }
  return updated;
}

}  // namespace engine
