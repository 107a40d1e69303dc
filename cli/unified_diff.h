// A document's change as a unified diff (`diff -u`'s format, "a/" and "b/"
// in front of the path), from its text before and after in UTF-8.  Lines
// end at LF, as patch reads them; a CR before it is part of the line, so
// that `patch -p1` gives back the very bytes, line ends included.

#ifndef VANTREL_CLI_UNIFIED_DIFF_H_
#define VANTREL_CLI_UNIFIED_DIFF_H_

#include <string>
#include <string_view>

namespace cli {

// The diff of before and after under path (no leading "/"), with three
// lines of context; empty when they are equal.
std::string UnifiedDiff(const std::string& path, std::string_view before,
                        std::string_view after);

}  // namespace cli

#endif  // VANTREL_CLI_UNIFIED_DIFF_H_
