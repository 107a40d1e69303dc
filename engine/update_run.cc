#include "engine/update_run.h"

#include <memory>
#include <string_view>
#include <unordered_set>
#include <vector>

#include "engine/copy_file.h"
#include "engine/failure_report.h"
#include "engine/line_table.h"
#include "engine/matcher.h"
#include "engine/path_rules.h"

namespace engine {

namespace {

constexpr char kIdle[] = "Parsing Engine Idle.";

// Why one document was left, and what state it was left in.
struct Failure {
  std::string what_happened;
};

class DocumentUpdater {
 public:
  DocumentUpdater(const Matcher& matcher, const std::string& new_text,
                  RunReporter& reporter, FileSystem& fs)
      : matcher_(matcher), new_text_(new_text), reporter_(reporter), fs_(fs) {}

  // Backs up and rewrites one document.  On failure *failure says why and
  // that the original content is still in the document or its backup.
  bool Update(const std::string& document, Failure* failure);

 private:
  bool Fail(Failure* failure, std::string what_happened) {
    failure->what_happened = std::move(what_happened);
    return false;
  }

  const Matcher& matcher_;
  const std::string& new_text_;
  RunReporter& reporter_;
  FileSystem& fs_;
  // Backups written in this run: a second document with the same backup
  // name (about.htm and about.asp) would overwrite the first one's original.
  std::unordered_set<std::string> backups_written_;
  LineTable lines_;
  std::string contents_;
  std::string rewritten_;
};

bool DocumentUpdater::Update(const std::string& document, Failure* failure) {
  reporter_.showWorkingOn(document);
  reporter_.showOperation("Scanning...");

  std::optional<std::string> backup = backupPath(document);
  if (!backup) {
    return Fail(failure,
                "the name is too short to form a backup name; the document "
                "is unchanged.");
  }
  if (*backup == document) {
    return Fail(failure,
                "its name ends in \"bac\", so it would be its own backup; the "
                "document is unchanged.");
  }
  if (backups_written_.count(*backup) != 0) {
    return Fail(failure, "its backup " + *backup +
                             " was already made for another document in "
                             "this run; the document is unchanged.");
  }
  FileAttributes attributes;
  Status status = fs_.GetAttributes(document, &attributes);
  if (!status.ok()) {
    return Fail(failure, "the document could not be examined (" +
                             status.reason() + "); it is unchanged.");
  }
  if (!attributes.exists) return Fail(failure, "the document is gone.");
  if (!attributes.isRegular) {
    return Fail(failure, "it is not a file; nothing was changed.");
  }

  // The bytes that went into the backup are the ones rewritten, so the
  // backup always holds exactly what the rewrite started from.
  status = CopyFile(fs_, document, attributes, *backup, &contents_);
  if (!status.ok()) {
    const std::string& path = status.path();
    const std::string what =
        path == document ? "the document could not be read"
                         : "the backup " + *backup + " could not be made";
    return Fail(failure, what + " (" + status.reason() +
                             "); the document is unchanged.");
  }
  backups_written_.insert(*backup);
  reporter_.showOperation("Performing Backup...");

  const std::string kept_beside =
      "; it is unchanged, with its backup " + *backup + " beside it.";
  if (!lines_.Split(contents_)) {
    return Fail(failure, "it has more than " +
                             std::string(LineTable::kCapacityText) + " lines" +
                             kept_beside);
  }
  if (!attributes.writable) {
    return Fail(failure, "the document is read-only" + kept_beside);
  }
  // A link stays a link: the file it points to is what gets rewritten.
  std::string target = document;
  if (attributes.isLink) {
    status = fs_.ResolvePath(document, &target);
    if (!status.ok()) {
      return Fail(failure, "the link could not be followed (" +
                               status.reason() + ")" + kept_beside);
    }
  }
  status = fs_.DeleteFile(target);
  if (!status.ok()) {
    return Fail(failure, "the document could not be replaced (" +
                             status.reason() + ")" + kept_beside);
  }

  reporter_.showOperation("Updating...");
  const std::string only_in_backup =
      "; its original content is in the backup " + *backup + ".";
  lines_.Rewrite(matcher_, new_text_, &rewritten_);
  std::unique_ptr<WritableFile> file;
  status = fs_.NewWritableFile(target, attributes, &file);
  if (!status.ok()) {
    return Fail(failure, "the document could not be created again (" +
                             status.reason() + ")" + only_in_backup);
  }
  status = file->Append(rewritten_);
  Status closed = file->Close();
  if (status.ok()) status = closed;
  if (!status.ok()) {
    return Fail(failure, "the document could not be written completely (" +
                             status.reason() + ")" + only_in_backup);
  }
  return true;
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
  if (entries.size() > kMaxSelectionEntries) {
    reporter.showMessage(
        "The list holds " + std::to_string(entries.size()) +
            " files, more than the 32767 that one update can take. Nothing "
            "was changed.",
        "Oops..");
    return 0;
  }

  const int count = static_cast<int>(entries.size());
  const Matcher matcher(searchText);
  DocumentUpdater updater(matcher, newText, reporter, fs);
  FailureReport failures;
  std::int32_t updated = 0;
  reporter.setProgressRange(0, count);
  for (int i = 0; i < count; ++i) {
    reporter.setProgressValue(i);
    const Entry& entry = entries[static_cast<std::size_t>(i)];
    if (!entry.selected) continue;
    const std::string document = documentPath(folder, entry.name);
    Failure failure;
    if (updater.Update(document, &failure)) {
      ++updated;
    } else {
      failures.Add(document, failure.what_happened);
    }
  }

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
    reporter.setProgressValue(count);
    reporter.showMessage("Successfully updated " + std::to_string(updated) +
                             " documents. Backup copies of each file "
                             "archived successfully.",
                         "Job Complete.");
    reporter.setProgressValue(0);
    reporter.disableUpdate();
    reporter.showWorkingOn(kIdle);
    reporter.showOperation("Completed.");
  } else if (failures.empty()) {
    reporter.setProgressValue(count);
    reporter.showMessage("No files selected to modify.", "Oops..");
    reporter.setProgressValue(0);
  } else {
    // Every selected document failed: "No files selected" would be untrue.
    reporter.setProgressValue(0);
  }
  return updated;
}

}  // namespace engine
