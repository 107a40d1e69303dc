#include "engine/line_table.h"

#include <cstring>

namespace engine {

bool LineTable::Split(std::string_view text) {
  lines_.clear();
  text_size_ = text.size();
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
  out->reserve(text_size_ + lines_.size() * (2 + new_text.size()));
  for (std::string_view line : lines_) {
    if (auto match = matcher.Find(line)) {
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
