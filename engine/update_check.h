// UpdateCheck decides, for one document after another, what an update may
// do to each, without writing anything: whether the document is a file the
// run may change, its bytes and their plan, and whether its backup may be
// replaced.  The update run writes what it decides; a preview shows it.  It
// remembers the files and backup names of the documents it has passed, so
// that one run changes a file at most once.
//
// Check makes every check of a document in turn.  A preview, which writes
// nothing, may instead have several threads Examine documents (the checks
// that need no memory of the documents before) and then Decide on each in
// the order of the list; the two together refuse what Check refuses, for
// the same reason.

#ifndef VANTREL_ENGINE_UPDATE_CHECK_H_
#define VANTREL_ENGINE_UPDATE_CHECK_H_

#include <cstddef>
#include <memory>
#include <string>
#include <unordered_map>
#include <unordered_set>

#include "engine/document_plan.h"
#include "engine/file_system.h"
#include "engine/run_outcome.h"

namespace engine {

// The checks that need no memory of earlier documents, in Check's order,
// and kSameFile for those that do (a file or backup an earlier document
// of the run claims).
enum class ExamineStep {
  kNone,
  kName,
  kAttributes,
  kContents,
  kBackup,
  kSameFile
};

// One document as the checks found it.
struct CheckedDocument {
  std::string document;  // as listed
  std::string backup;
  std::string target;  // the file itself, links resolved
  FileAttributes attributes;
  std::string contents;  // the bytes the plan was made from
  DocumentPlan plan;
  FileAttributes backup_attributes;  // the backup as it is now, if examined
  // When refused as a second name of a file this run changes: the name
  // that changes it.
  const std::string* changed_through = nullptr;
  // The check that refused the document; with Examine, also why.
  ExamineStep refused_at = ExamineStep::kNone;
  std::string refusal;
};

// kStopped: the run asked to stop while the document was planned; it is to
// be treated as not reached.
enum class CheckResult { kWillChange, kTextNotFound, kRefused, kStopped };

// Readies the planner for an update of entry_count entries by rules.
// Refuses what the update refuses, in the same order, so that a preview
// refuses exactly the runs the update would: then returns nullptr with
// refused->refusal and refused->problem set.
std::unique_ptr<DocumentPlanner> ReadyUpdate(const ReplaceRules& rules,
                                             std::size_t entry_count,
                                             RunOutcome* refused);

class UpdateCheck {
 public:
  // folder: the folder the run was given; every document must lie below
  // it (a listed name may hold "/", never a way out).
  // stop, when given, is asked while a long document is planned, on the
  // thread that plans it.
  UpdateCheck(const DocumentPlanner& planner, FileSystem& fs,
              std::string folder, StopRequested stop = nullptr)
      : planner_(planner),
        fs_(fs),
        folder_(std::move(folder)),
        stop_(std::move(stop)) {}

  // Examines document and fills *checked.  kRefused sets *why to the
  // reason, in words for the user; nothing is ever written.  A document
  // that will change is remembered for the checks of the later ones.
  CheckResult Check(const std::string& document, CheckedDocument* checked,
                    std::string* why, bool keep_changed_lines = false);

  // Makes the checks of Check that need no memory of earlier documents,
  // planning with planner, and leaves the outcome in *checked for Decide.
  // Several threads may examine at once, each with a planner of its own,
  // when the file system allows calls from several threads.
  void Examine(const std::string& document, const DocumentPlanner& planner,
               CheckedDocument* checked, bool keep_changed_lines) const;
  // What Check would give for a document that Examine has filled, given
  // the documents decided before it; documents come in list order.
  CheckResult Decide(CheckedDocument* checked, std::string* why);

  // Whether document lies below the run's folder; false with *why set
  // when its listed name leads elsewhere.  Check asks it first.
  bool InFolder(const std::string& document, std::string* why) const;

  // Remembers that document's file now has the identity of replaced (a
  // replace makes a new file), so that its other names are known too.
  void NoteReplaced(const std::string& document,
                    const FileAttributes& replaced);

 private:
  struct FileKey {
    unsigned long long device;
    unsigned long long inode;
    bool operator==(const FileKey&) const = default;
  };
  struct FileKeyHash {
    std::size_t operator()(const FileKey& key) const {
      return std::hash<unsigned long long>()(key.device * 1000003ULL ^
                                             key.inode);
    }
  };
  static FileKey KeyOf(const FileAttributes& attributes) {
    return {attributes.device, attributes.inode};
  }

  // The checks, in Check's order; each returns false with *why set to
  // refuse the document.  Unclaimed and NotHandled ask the memory of the
  // documents before; the others need none.
  bool NameAllows(CheckedDocument* checked, std::string* why) const;
  bool Unclaimed(const CheckedDocument& checked, std::string* why) const;
  bool AttributesAllow(CheckedDocument* checked, std::string* why) const;
  bool NotHandled(CheckedDocument* checked, std::string* why) const;
  // A link to a backup claimed by an earlier document would rewrite it.
  bool NotABackup(const CheckedDocument& checked, std::string* why) const;
  bool ContentsAllow(const DocumentPlanner& planner, CheckedDocument* checked,
                     std::string* why, bool keep_changed_lines) const;
  bool BackupIsOurs(CheckedDocument* checked, std::string* why) const;
  // An existing backup that an earlier document leads to would be changed
  // twice: once as that document, once as this one's backup.
  bool BackupNotChanged(const CheckedDocument& checked, std::string* why) const;
  // Remembers a document that will change.
  void Remember(const CheckedDocument& checked);

  const DocumentPlanner& planner_;
  FileSystem& fs_;
  std::string folder_;
  StopRequested stop_;
  // Files that this run changes, by device and inode, with the name that
  // reached them; and their backup names.
  std::unordered_map<FileKey, std::string, FileKeyHash> handled_;
  std::unordered_set<std::string> backups_;
};

}  // namespace engine

#endif  // VANTREL_ENGINE_UPDATE_CHECK_H_
