// Lists of replacements as files: UTF-8 text, one pair a line, the text to
// replace and the new text separated by a tab.  In either text "\t", "\n"
// and "\\" stand for a tab, a line break and a backslash.  The window's
// list editor and the command line's --list read and write the same files.

#ifndef VANTREL_ENGINE_REPLACE_LIST_H_
#define VANTREL_ENGINE_REPLACE_LIST_H_

#include <string>
#include <string_view>
#include <vector>

#include "engine/replace_rules.h"

namespace engine {

// Reads a list.  False, with *problem naming the line, when a line is not
// UTF-8, has no tab, or has no text to replace.  Line ends may be LF or
// CR LF; a byte-order mark is passed over.
bool ParseReplaceList(std::string_view text, std::vector<ReplacePair>* pairs,
                      std::string* problem);

// Writes pairs as a list that ParseReplaceList reads back the same.
std::string FormatReplaceList(const std::vector<ReplacePair>& pairs);

// What rules do, in one line for a run's record: "replace "a" with "b"
// (whole words, every occurrence)", or the pairs of a list.
std::string DescribeRules(const ReplaceRules& rules);

}  // namespace engine

#endif  // VANTREL_ENGINE_REPLACE_LIST_H_
