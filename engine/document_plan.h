// The one reader of documents.  PlanDocument takes a document's bytes and
// the run's texts and works out, without touching the disk, everything an
// update would do to it: the document's encoding, its lines, which of them
// change and the complete new content, or why the document must be left as
// it is.  The update run writes plans; a preview shows them; since both come
// from here they cannot disagree.
//
// Lines end at CR LF, CR or LF.  A line that ended in LF is written with LF,
// every other line with CR LF; a last line without an end takes LF when the
// line before it ended in LF, CR LF otherwise.  On each line the first
// occurrence of the search text, compared character by character with letter
// case ignored, is replaced by the new text encoded in the document's own
// encoding.  Every other byte is written back exactly as it was read.
//
// A planner is made once per run.  What it works out for an encoding it
// works out when the first document in it comes, once, whichever thread
// plans that; nothing else in it ever changes, so any number of threads may
// plan with one planner at once.

#ifndef VANTREL_ENGINE_DOCUMENT_PLAN_H_
#define VANTREL_ENGINE_DOCUMENT_PLAN_H_

#include <cstddef>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "engine/replace_rules.h"

namespace engine {

class RulesPlanner;

// One line that the plan changes, for a preview.  Offsets are into the
// document's bytes (before) and into the plan's content (after); neither
// includes the line end.
struct ChangedLine {
  std::size_t number = 0;  // counted from 1
  std::size_t before_offset = 0;
  std::size_t before_length = 0;
  std::size_t match_offset = 0;  // within the line, in the document's bytes
  std::size_t match_length = 0;
  std::size_t after_offset = 0;
  std::size_t after_length = 0;
  std::size_t inserted_offset = 0;  // within the new line
  std::size_t inserted_length = 0;
};

struct DocumentPlan {
  // The encoding's WHATWG name ("UTF-8", "UTF-16LE", "windows-1252"...).
  std::string encoding;
  // Matches replaced (with the plain rules, one a line at most).
  std::size_t replacements = 0;
  // Why the document must not be rewritten ("the new text holds €, which
  // windows-1252 cannot hold; write it as &#8364;"), or empty.  A refused
  // plan has no content.
  std::string refusal;
  // The complete new document (see Plan for a preview's); set only when
  // replacements > 0 and the plan is not refused.
  std::string content;
  // Filled only when asked for.
  std::vector<ChangedLine> changed_lines;
  // The run asked to stop before the plan was complete: nothing else is
  // set, and the document is to be treated as not reached.
  bool stopped = false;
};

// A preview keeps at most this many changed lines of one document: what a
// reader can take in, not a rewritten copy of a huge document.  The rest
// are counted.
inline constexpr std::size_t kMostChangedLinesKept = 1000;

// Whether the run wants to stop; asked now and then while a document is
// planned (once every few tens of thousands of characters), on the thread
// that plans it.
using StopRequested = std::function<bool()>;

// Prepared once per run from the two texts, then applied to each document.
class DocumentPlanner {
 public:
  // Checks the texts (UTF-8, as the windows pass them) and prepares the
  // search.  Returns nullptr with *problem set to a message for the user
  // when a text is not valid UTF-8, or the search text is empty or holds
  // CR or LF.
  static std::unique_ptr<DocumentPlanner> Create(std::string_view search_text,
                                                 std::string_view new_text,
                                                 std::string* problem);
  // The same for any rules: each pair checked as above (a new text may be
  // empty: it deletes), and the patterns compiled, when the rules are not
  // the plain ones.
  static std::unique_ptr<DocumentPlanner> Create(const ReplaceRules& rules,
                                                 std::string* problem);
  ~DocumentPlanner();

  // Plans the update of one document whose bytes are document.  Never
  // fails as a whole: a document that can't be rewritten gets a refusal.
  // Memory stays within a small multiple of the document's size.  May throw
  // std::bad_alloc.  With changed_lines_only (for a preview, which writes
  // nothing) the content holds only the changed lines, one after another,
  // which is all that the changed lines' after offsets point into, and
  // only the first kMostChangedLinesKept of them.  When stop
  // says so, the plan ends at once with stopped set.  Safe to call from
  // several threads at once.
  void Plan(std::string_view document, DocumentPlan* plan,
            bool keep_changed_lines = false, bool changed_lines_only = false,
            const StopRequested& stop = nullptr) const;

 private:
  DocumentPlanner();
  class Impl;
  std::unique_ptr<Impl> impl_;           // the plain rules
  std::unique_ptr<RulesPlanner> rules_;  // any others
};

}  // namespace engine

#endif  // VANTREL_ENGINE_DOCUMENT_PLAN_H_
