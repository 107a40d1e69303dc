#include "cli/unified_diff.h"

#include <algorithm>
#include <vector>

namespace cli {

namespace {

constexpr std::size_t kContext = 3;

// Lines with their LF; the last one may have none.
std::vector<std::string_view> SplitLines(std::string_view text) {
  std::vector<std::string_view> lines;
  while (!text.empty()) {
    const std::size_t end = text.find('\n');
    const std::size_t length =
        end == std::string_view::npos ? text.size() : end + 1;
    lines.push_back(text.substr(0, length));
    text.remove_prefix(length);
  }
  return lines;
}

// A stretch of lines: equal on both sides, or before's replaced by after's.
struct Stretch {
  bool same;
  std::size_t before_from, before_count;
  std::size_t after_from, after_count;
};

// A change keeps the number of lines almost always (a text replaced within
// its line), and then lines pair one to one.  Otherwise the lines both
// sides share at the start and at the end are kept, and all between is one
// change: never the shortest diff, always a right one.
std::vector<Stretch> Compare(const std::vector<std::string_view>& before,
                             const std::vector<std::string_view>& after) {
  std::vector<Stretch> stretches;
  auto add = [&stretches](bool same, std::size_t b, std::size_t bn,
                          std::size_t a, std::size_t an) {
    if (bn == 0 && an == 0) return;
    if (!stretches.empty() && stretches.back().same == same) {
      stretches.back().before_count += bn;
      stretches.back().after_count += an;
      return;
    }
    stretches.push_back({same, b, bn, a, an});
  };
  if (before.size() == after.size()) {
    for (std::size_t i = 0; i < before.size(); ++i) {
      const bool same = before[i] == after[i];
      add(same, i, 1, i, 1);
    }
    return stretches;
  }
  std::size_t head = 0;
  while (head < before.size() && head < after.size() &&
         before[head] == after[head]) {
    ++head;
  }
  std::size_t tail = 0;
  while (tail < before.size() - head && tail < after.size() - head &&
         before[before.size() - 1 - tail] == after[after.size() - 1 - tail]) {
    ++tail;
  }
  add(true, 0, head, 0, head);
  add(false, head, before.size() - head - tail, head,
      after.size() - head - tail);
  add(true, before.size() - tail, tail, after.size() - tail, tail);
  return stretches;
}

void AddLine(char mark, std::string_view line, std::string* out) {
  out->push_back(mark);
  out->append(line);
  if (!line.ends_with('\n')) out->append("\n\\ No newline at end of file\n");
}

// "-3,2" or "+0,0", as diff -u writes a range.
std::string Range(char mark, std::size_t from, std::size_t count) {
  return mark + std::to_string(count == 0 ? from : from + 1) + "," +
         std::to_string(count);
}

}  // namespace

std::string UnifiedDiff(const std::string& path, std::string_view before_text,
                        std::string_view after_text) {
  if (before_text == after_text) return {};
  const std::vector<std::string_view> before = SplitLines(before_text);
  const std::vector<std::string_view> after = SplitLines(after_text);
  const std::vector<Stretch> stretches = Compare(before, after);

  std::string out = "--- a/" + path + "\n+++ b/" + path + "\n";
  std::size_t i = 0;
  while (i < stretches.size()) {
    if (stretches[i].same) {
      ++i;
      continue;
    }
    // A hunk: this change, and the ones after it that lie within twice the
    // context of it, with the context around them.
    std::size_t last = i;
    while (last + 2 < stretches.size() &&
           stretches[last + 1].before_count <= 2 * kContext) {
      last += 2;
    }
    const Stretch& first = stretches[i];
    const std::size_t lead =
        i > 0 ? std::min(kContext, stretches[i - 1].before_count) : 0;
    const std::size_t trail =
        last + 1 < stretches.size()
            ? std::min(kContext, stretches[last + 1].before_count)
            : 0;
    const Stretch& end = stretches[last];
    const std::size_t before_from = first.before_from - lead;
    const std::size_t after_from = first.after_from - lead;
    const std::size_t before_count =
        end.before_from + end.before_count + trail - before_from;
    const std::size_t after_count =
        end.after_from + end.after_count + trail - after_from;
    out += "@@ " + Range('-', before_from, before_count) + " " +
           Range('+', after_from, after_count) + " @@\n";
    for (std::size_t k = 0; k < lead; ++k) {
      AddLine(' ', before[before_from + k], &out);
    }
    for (std::size_t s = i; s <= last; ++s) {
      const Stretch& stretch = stretches[s];
      if (stretch.same) {
        for (std::size_t k = 0; k < stretch.before_count; ++k) {
          AddLine(' ', before[stretch.before_from + k], &out);
        }
        continue;
      }
      for (std::size_t k = 0; k < stretch.before_count; ++k) {
        AddLine('-', before[stretch.before_from + k], &out);
      }
      for (std::size_t k = 0; k < stretch.after_count; ++k) {
        AddLine('+', after[stretch.after_from + k], &out);
      }
    }
    for (std::size_t k = 0; k < trail; ++k) {
      AddLine(' ', before[end.before_from + end.before_count + k], &out);
    }
    i = last + 1;
  }
  return out;
}

}  // namespace cli
