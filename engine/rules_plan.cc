#include "engine/rules_plan.h"

#include <cstdio>
#include <cstring>
#include <map>
#include <mutex>

#include "engine/document_lines.h"
#include "engine/rules_lines.h"
#include "engine/text_decoder.h"
#include "engine/text_encoding.h"
#include "engine/text_finder.h"

namespace engine {

namespace {

using namespace rules_lines;

// Whether glibc can read and write the encoding; asked once each.
bool Usable(std::string_view name) {
  static std::mutex mutex;
  static std::map<std::string, bool, std::less<>> known;
  std::lock_guard lock(mutex);
  auto found = known.find(name);
  if (found != known.end()) return found->second;
  const std::string iconv = IconvName(name);
  const bool usable =
      name == "UTF-8" || (IconvConversion::Open("UTF-8", iconv) != nullptr &&
                          IconvConversion::Open(iconv, "UTF-8") != nullptr);
  known.emplace(std::string(name), usable);
  return usable;
}

// Puts each edit's new text in place of its match: text and parts become
// the line as the edit leaves it.
void ApplyEdits(const std::vector<PatternSet::Edit>& edits, std::string* text,
                std::vector<Part>* parts) {
  std::string new_text;
  std::vector<Part> new_parts;
  new_text.reserve(text->size() + 64);
  std::size_t part = 0;
  // Copies [from, to) of the old text, with where it came from.
  auto copy = [&](std::size_t from, std::size_t to) {
    while (part < parts->size() && (*parts)[part].text_end <= from) ++part;
    for (std::size_t p = part; p < parts->size(); ++p) {
      const Part& old = (*parts)[p];
      if (old.text_begin >= to) break;
      const std::size_t begin = std::max(from, old.text_begin);
      const std::size_t end = std::min(to, old.text_end);
      const std::size_t at = new_text.size();
      new_text.append(*text, begin, end - begin);
      if (old.source == Source::kSame) {
        AddPart(&new_parts, at, new_text.size(),
                old.bytes_begin + (begin - old.text_begin),
                old.bytes_begin + (end - old.text_begin), Source::kSame);
      } else {
        // A decoded character is never cut: matches end between them.
        AddPart(&new_parts, at, new_text.size(), old.bytes_begin, old.bytes_end,
                old.source);
      }
    }
  };
  std::size_t cursor = 0;
  for (const PatternSet::Edit& edit : edits) {
    copy(cursor, edit.begin);
    const std::size_t at = new_text.size();
    new_text.append(edit.text);
    AddPart(&new_parts, at, new_text.size(), 0, 0, Source::kNew);
    cursor = edit.end;
  }
  copy(cursor, text->size());
  text->swap(new_text);
  parts->swap(new_parts);
}

bool IsContinuation(char byte) {
  return (static_cast<unsigned char>(byte) & 0xC0) == 0x80;
}

// How much of the start of the line, up to limit bytes, no edit touched,
// ending between two characters.
std::size_t UntouchedHead(const std::vector<Part>& parts,
                          std::string_view bytes, std::size_t limit) {
  std::size_t head = 0;
  for (const Part& part : parts) {
    if (part.source == Source::kNew || part.bytes_begin != head) break;
    if (part.bytes_end <= limit) {
      head = part.bytes_end;
      continue;
    }
    // A run of bytes that are their own UTF-8 text may end anywhere
    // between its characters.
    if (part.source == Source::kSame) {
      head = limit;
      while (head > part.bytes_begin && IsContinuation(bytes[head])) --head;
    }
    break;
  }
  return head;
}

// The same for the end of the line.
std::size_t UntouchedTail(const std::vector<Part>& parts,
                          std::string_view bytes, std::size_t limit) {
  std::size_t begin = bytes.size();
  for (auto part = parts.rbegin(); part != parts.rend(); ++part) {
    if (part->source == Source::kNew || part->bytes_end != begin) break;
    if (bytes.size() - part->bytes_begin <= limit) {
      begin = part->bytes_begin;
      continue;
    }
    if (part->source == Source::kSame) {
      begin = bytes.size() - limit;
      while (begin < part->bytes_end && IsContinuation(bytes[begin])) ++begin;
    }
    break;
  }
  return bytes.size() - begin;
}

}  // namespace

RulesPlanner::RulesPlanner(std::unique_ptr<PatternSet> patterns)
    : patterns_(std::move(patterns)) {}
RulesPlanner::~RulesPlanner() = default;

void RulesPlanner::Plan(std::string_view document, DocumentPlan* plan,
                        bool keep, bool changed_only,
                        const StopRequested& stop) const {
  *plan = DocumentPlan();
  const SniffedEncoding sniffed = SniffEncoding(document, Usable);
  plan->encoding = Usable(sniffed.name) ? sniffed.name : "windows-1252";
  if (plan->encoding == "ISO-2022-JP") {
    plan->refusal =
        "it is written in ISO-2022-JP, which only the plain replace (no "
        "options, one pair) can change";
    return;
  }
  const bool utf16 = plan->encoding.starts_with("UTF-16");
  if (!utf16 && std::memchr(document.data(), 0, document.size()) != nullptr) {
    plan->refusal =
        "it holds NUL bytes: not a text document, or UTF-16 without a "
        "byte-order mark";
    return;
  }
  const std::size_t bom = sniffed.bom_length;
  const std::string_view body = document.substr(bom);
  LineReader reader(plan->encoding);
  TextWriter writer(plan->encoding);
  PatternSet::ScratchPtr scratch = patterns_->NewScratch();
  StopPoll poll(stop);
  LineSplitter lines(body, utf16, plan->encoding == "UTF-16BE");
  Output out(changed_only ? 4096
                          : document.size() + document.size() / 16 + 4096);
  if (!changed_only) out.Append(document.substr(0, bom));
  std::string text, written, folded;
  std::vector<Part> parts;
  std::vector<PatternSet::Edit> edits;
  // Where the screen found something next: the lines before it are
  // copied as they are, unread.
  bool screened =
      patterns_->HasScreen() && plan->encoding == "UTF-8" && IsValidUtf8(body);
  std::size_t candidate = 0;
  bool have_candidate = false;
  Ending previous = Ending::kNone;
  std::size_t number = 0;
  for (std::size_t position = 0; position < body.size();) {
    const Line line = lines.At(position);
    if (poll.Due(1 + line.next - position)) {
      *plan = DocumentPlan();
      plan->stopped = true;
      return;
    }
    position = line.next;
    ++number;
    const Ending style = line.ending != Ending::kNone ? line.ending : previous;
    previous = line.ending;
    const std::string_view bytes =
        body.substr(line.start, line.end - line.start);
    if (screened && (!have_candidate || candidate < line.start)) {
      screened = patterns_->Screen(body, line.start, *scratch, &candidate);
      have_candidate = true;
    }
    if (screened && candidate >= line.next) {
      if (!changed_only) {
        out.Append(body.substr(line.start, line.next - line.start));
      }
      continue;
    }
    reader.Read(bytes, &text, &parts);
    std::size_t matches = 0;
    PatternSet::FoldAscii(text, &folded);
    for (std::size_t pair = 0; pair < patterns_->size(); ++pair) {
      if (!patterns_->MayMatch(pair, text, folded)) continue;
      if (!patterns_->FindEdits(pair, text, *scratch, &edits)) {
        *plan = DocumentPlan();
        plan->refusal =
            "the pattern needs too much work on line " + std::to_string(number);
        return;
      }
      if (edits.empty()) continue;
      matches += edits.size();
      ApplyEdits(edits, &text, &parts);
      PatternSet::FoldAscii(text, &folded);
    }
    if (matches == 0) {
      if (!changed_only)
        out.Append(body.substr(line.start, line.next - line.start));
      continue;
    }
    plan->replacements += matches;
    if (changed_only && plan->changed_lines.size() >= kMostChangedLinesKept) {
      continue;  // counted, not kept
    }
    // The line as written: untouched bytes as they were, new texts encoded
    // with line breaks in the line's own style (CR LF when it has none).
    written.clear();
    const char* break_text = style == Ending::kLf   ? "\n"
                             : style == Ending::kCr ? "\r"
                                                    : "\r\n";
    for (std::size_t p = 0; p < parts.size(); ++p) {
      if (parts[p].source != Source::kNew) {
        written.append(bytes.substr(parts[p].bytes_begin,
                                    parts[p].bytes_end - parts[p].bytes_begin));
        continue;
      }
      std::size_t last = p;
      while (last + 1 < parts.size() &&
             parts[last + 1].source == Source::kNew) {
        ++last;
      }
      const std::string_view inserted(
          text.data() + parts[p].text_begin,
          parts[last].text_end - parts[p].text_begin);
      if (!writer.Write(inserted, break_text, &written, &plan->refusal)) {
        const std::string refusal = plan->refusal;
        *plan = DocumentPlan();
        plan->refusal = refusal;
        plan->encoding = sniffed.name;
        return;
      }
      p = last;
    }
    // What the preview marks: from the first byte that differs to the
    // last, in whole characters, in the line before and after.
    std::size_t head = 0;
    while (head < bytes.size() && head < written.size() &&
           bytes[head] == written[head]) {
      ++head;
    }
    head = UntouchedHead(parts, bytes, head);
    std::size_t tail = 0;
    while (tail < bytes.size() - head && tail < written.size() - head &&
           bytes[bytes.size() - 1 - tail] ==
               written[written.size() - 1 - tail]) {
      ++tail;
    }
    tail = UntouchedTail(parts, bytes, tail);
    const std::size_t new_line = out.size();
    out.Append(written);
    out.Append(body.substr(line.end, line.next - line.end));
    if (keep) {
      plan->changed_lines.push_back({number, bom + line.start, bytes.size(),
                                     head, bytes.size() - head - tail, new_line,
                                     written.size(), head,
                                     written.size() - head - tail});
    }
  }
  if (plan->replacements > 0) out.MoveTo(&plan->content);
}

}  // namespace engine
