// PreviewRun works out what an update would do, document by document,
// without writing anything: the same checks, reading, encoding detection
// and matching as UpdateRun (they share UpdateCheck and DocumentPlanner),
// so that a preview and the run that follows it can never disagree.  Lines
// are handed over as UTF-8 for display, whatever the document's encoding.

#ifndef VANTREL_ENGINE_PREVIEW_H_
#define VANTREL_ENGINE_PREVIEW_H_

#include <atomic>
#include <cstddef>
#include <string>
#include <vector>

#include "engine/file_system.h"
#include "engine/replace_rules.h"
#include "engine/selection.h"

namespace engine {

// One changed line, before and after, as UTF-8 text without its line end
// (bytes that do not decode show as U+FFFD).  The offsets are UTF-8 byte
// offsets into before and after.
struct PreviewLine {
  std::size_t number = 0;  // counted from 1
  std::string before;
  std::size_t match_offset = 0;
  std::size_t match_length = 0;
  std::string after;
  std::size_t inserted_offset = 0;
  std::size_t inserted_length = 0;
};

struct PreviewDocument {
  enum class Verdict { kChanges, kTextNotFound, kRefused };

  std::string name;  // the entry's name, as listed
  std::string path;  // as documentPath makes it
  Verdict verdict = Verdict::kTextNotFound;
  std::string reason;    // why it would be refused (kRefused only)
  std::string encoding;  // WHATWG name, when the document was read
  std::size_t replacements = 0;
  std::vector<PreviewLine> lines;  // kChanges only
};

struct Preview {
  // The whole run would be refused (an empty text, a line break in the text
  // to replace, too many entries...): the message the run would show, and
  // nothing else is filled.
  std::string problem;
  std::size_t selected = 0;           // N: selected entries
  std::size_t changed_documents = 0;  // M: documents that would change
  std::size_t replacements = 0;       // R: matches that would be replaced
  bool stopped = false;               // stop was set before the end
  // Every selected entry, in list order (up to where it stopped).
  std::vector<PreviewDocument> documents;
};

// Fills *preview with what UpdateRun(folder, entries, rules) would do now.
// Writes nothing, takes no lock.  stop, when given, is read before each
// entry.  fs is called from threads of the preview's own, several at once.
void PreviewRun(const std::string& folder, const Selection& entries,
                const ReplaceRules& rules, Preview* preview,
                const std::atomic<bool>* stop = nullptr,
                FileSystem& fs = FileSystem::Default());
// The same with the plain rules of one pair.
void PreviewRun(const std::string& folder, const Selection& entries,
                const std::string& searchText, const std::string& newText,
                Preview* preview, const std::atomic<bool>* stop = nullptr,
                FileSystem& fs = FileSystem::Default());

}  // namespace engine

#endif  // VANTREL_ENGINE_PREVIEW_H_
