// UpdateCheck decides, for one document after another, what an update may
// do to each, without writing anything: whether the document is a file the
// run may change, its bytes and their plan, and whether its backup may be
// replaced.  The update run writes what it decides; a preview shows it.  It
// remembers the files and backup names of the documents it has passed, so
// that one run changes a file at most once.

#ifndef VANTREL_ENGINE_UPDATE_CHECK_H_
#define VANTREL_ENGINE_UPDATE_CHECK_H_

#include <string>
#include <unordered_map>
#include <unordered_set>

#include "engine/document_plan.h"
#include "engine/file_system.h"

namespace engine {

// One document as the checks found it.
struct CheckedDocument {
  std::string document;  // as listed
  std::string backup;
  std::string target;  // the file itself, links resolved
  FileAttributes attributes;
  std::string contents;  // the bytes the plan was made from
  DocumentPlan plan;
};

enum class CheckResult { kWillChange, kTextNotFound, kRefused };

class UpdateCheck {
 public:
  UpdateCheck(const DocumentPlanner& planner, FileSystem& fs)
      : planner_(planner), fs_(fs) {}

  // Examines document and fills *checked.  kRefused sets *why to the
  // reason, in words for the user; nothing is ever written.  A document
  // that will change is remembered for the checks of the later ones.
  CheckResult Check(const std::string& document, CheckedDocument* checked,
                    std::string* why, bool keep_changed_lines = false);

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

  bool Examine(CheckedDocument* checked, std::string* why,
               bool keep_changed_lines);
  bool BackupIsOurs(const CheckedDocument& checked, std::string* why);

  const DocumentPlanner& planner_;
  FileSystem& fs_;
  // Files that this run changes, by device and inode, with the name that
  // reached them; and their backup names.
  std::unordered_map<FileKey, std::string, FileKeyHash> handled_;
  std::unordered_set<std::string> backups_;
};

}  // namespace engine

#endif  // VANTREL_ENGINE_UPDATE_CHECK_H_
