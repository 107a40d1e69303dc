// LineTable holds the lines of one document between reading and rewriting.
// It is bounded: a document of more than kCapacity lines can't be held, and
// the run must then leave it untouched.  A line ends at CR or at CR LF; an
// LF on its own is an ordinary character of the line.

#ifndef VANTREL_ENGINE_LINE_TABLE_H_
#define VANTREL_ENGINE_LINE_TABLE_H_

#include <cstddef>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "engine/matcher.h"

namespace engine {

class LineTable {
 public:
  static constexpr std::size_t kCapacity = 10000;
  static constexpr char kCapacityText[] = "10,000";

  LineTable() { lines_.reserve(kCapacity); }

  // Splits text into lines, which point into text (keep it alive).  Returns
  // false, holding nothing, when text has more than kCapacity lines.
  bool Split(std::string_view text);

  std::size_t size() const { return lines_.size(); }
  std::string_view line(std::size_t index) const { return lines_[index]; }

  // Fills *out with every line, its first match replaced by new_text, each
  // followed by CR LF.  All other bytes are kept exactly.
  void Rewrite(const Matcher& matcher, std::string_view new_text,
               std::string* out) const;

 private:
  std::vector<std::string_view> lines_;
  std::string_view text_;
};

}  // namespace engine

#endif  // VANTREL_ENGINE_LINE_TABLE_H_
