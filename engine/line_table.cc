#include "engine/line_table.h"

#include <cstring>

namespace engine {

bool LineTable::Split(std::string_view text) {
  lines_.clear();
  text_ = text;
  const char* position = text.data();
  const char* const end = text.data() + text.size();
  while (position < end) {
    if (lines_.size() == kCapacity) {
      lines_.clear();
      return false;
    }
    const void* found = std::memchr(position, '\r', end - position);
    const char* line_end = found ? static_cast<const char*>(found) : end;
    lines_.emplace_back(position,
                        static_cast<std::size_t>(line_end - position));
    position = line_end;
    if (position < end) {
      ++position;  // the CR
      if (position < end && *position == '\n') ++position;
    }
  }
  return true;
}

void LineTable::Rewrite(const Matcher& matcher, std::string_view new_text,
                        std::string* out) const {
  out->clear();
  out->reserve(text_.size() + lines_.size() * (2 + new_text.size()));
  // One scan over the whole text finds where matches may begin; lines
  // before the next such place are copied without a search of their own.
  const std::string_view text = text_;
  std::size_t candidate = matcher.NextCandidate(text, 0);
  for (std::string_view line : lines_) {
    const std::size_t line_start =
        static_cast<std::size_t>(line.data() - text.data());
    const std::size_t line_end = line_start + line.size();
    if (candidate < line_start) {
      candidate = matcher.NextCandidate(text, line_start);
    }
    std::optional<Matcher::Match> match;
    if (candidate < line_end) {
      const std::size_t skipped = candidate - line_start;
      match = matcher.Find(line.substr(skipped));
      if (match) match->offset += skipped;
    }
    if (match) {
      out->append(line.substr(0, match->offset));
      out->append(new_text);
      out->append(line.substr(match->offset + match->length));
    } else {
      out->append(line);
    }
    out->append("\r\n");
  }
}

}  // namespace engine
