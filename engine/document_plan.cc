#include "engine/document_plan.h"

#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <functional>
#include <map>
#include <mutex>
#include <optional>

#include "engine/document_lines.h"
#include "engine/rules_plan.h"
#include "engine/text_encoding.h"
#include "engine/text_finder.h"
#include "engine/text_matcher.h"

namespace engine {

namespace {

constexpr std::size_t kNone = std::string_view::npos;

// The new text and line ends written in one encoding, or why they can't be.
struct Written {
  std::string refusal, lf, crlf, cr, new_text_lf, new_text_crlf, new_text_cr;
};

bool IsAsciiState(std::string_view escape) {
  return escape.empty() || escape == "\x1B(B";
}

}  // namespace

class DocumentPlanner::Impl {
 public:
  Impl(std::string_view search_text, std::string_view new_text);
  void Plan(std::string_view document, DocumentPlan* plan, bool keep,
            bool changed_only, const StopRequested& stop) const;

 private:
  Written WrittenIn(std::string_view encoding) const;
  // WrittenIn(encoding), worked out the first time it is asked for.
  const Written& WrittenFor(const std::string& encoding) const;
  std::size_t FirstMatch(LineFinder& finder, const EncodedSearch& search,
                         std::string_view body, StopPoll& poll) const;
  void Write(LineFinder& finder, const EncodedSearch& search,
             const Written& written, std::string_view body, std::size_t bom,
             std::size_t first_match, DocumentPlan* plan, bool keep,
             bool changed_only, StopPoll& poll) const;
  static std::optional<TextMatch> FindInLine(
      LineFinder& finder, const EncodedSearch& search, std::string_view body,
      const Line& line, std::size_t candidate, std::string_view escape) {
    return finder.Find(
        body.substr(0, line.end), line.start,
        search.candidates_begin_matches() ? candidate : line.start, escape);
  }

  std::string new_text_;
  // Both ready each encoding once, whichever thread asks first; after that
  // nothing in them changes.
  TextMatcher matcher_;
  struct WrittenSlot {
    std::once_flag once;
    Written written;
  };
  std::map<std::string, std::unique_ptr<WrittenSlot>, std::less<>> written_;
};

DocumentPlanner::Impl::Impl(std::string_view search_text,
                            std::string_view new_text)
    : new_text_(new_text), matcher_(search_text, SniffableEncodings()) {
  for (const std::string& encoding : SniffableEncodings()) {
    written_.emplace(encoding, std::make_unique<WrittenSlot>());
  }
}

const Written& DocumentPlanner::Impl::WrittenFor(
    const std::string& encoding) const {
  // Only encodings the matcher has readied come here, and those are all
  // in the map.
  WrittenSlot& slot = *written_.find(encoding)->second;
  std::call_once(slot.once, [&] { slot.written = WrittenIn(encoding); });
  return slot.written;
}

namespace {

// Where text first holds a character that gb18030 writes in four bytes,
// which GBK lacks, or kNone.
std::size_t BeyondGbk(IconvConversion& encoder, std::string_view text) {
  std::string bytes;
  for (std::size_t at = 0; at < text.size();) {
    const auto* p = reinterpret_cast<const unsigned char*>(text.data()) + at;
    const std::size_t length = DecodeUtf8(p, p + (text.size() - at)).length;
    std::size_t bad = 0;
    bytes.clear();
    if (ConvertUtf8(encoder, text.substr(at, length), &bytes, &bad) &&
        bytes.size() == 4) {
      return at;
    }
    at += length;
  }
  return kNone;
}

}  // namespace

Written DocumentPlanner::Impl::WrittenIn(std::string_view encoding) const {
  Written w;
  std::unique_ptr<IconvConversion> encoder;
  if (encoding != "UTF-8") {
    encoder = IconvConversion::Open(IconvName(encoding), "UTF-8");
  }
  // GBK is gb18030, whose converter writes it, without the four-byte forms.
  const bool gbk = encoding == "GBK";
  auto encode = [&encoder, gbk](std::string_view text, std::string* out) {
    std::size_t bad = 0;
    if (encoder == nullptr) return out->append(text), kNone;
    if (!ConvertUtf8(*encoder, text, out, &bad)) return bad;
    return gbk ? BeyondGbk(*encoder, text) : kNone;
  };
  encode("\n", &w.lf);
  encode("\r\n", &w.crlf);
  encode("\r", &w.cr);
  // Line breaks in the new text take the end of the line they go into.
  std::string_view rest = new_text_;
  for (;;) {
    const std::size_t stop = rest.find_first_of("\r\n");
    std::string piece;
    const std::size_t bad = encode(rest.substr(0, stop), &piece);
    if (bad != kNone) {
      const auto* p = reinterpret_cast<const unsigned char*>(rest.data()) + bad;
      const char32_t c = DecodeUtf8(p, p + 4).code_point;
      char code[16];
      std::snprintf(code, sizeof code, "U+%04X", static_cast<unsigned>(c));
      w.refusal = "the new text holds \"" + EncodeUtf8(c) + "\" (" + code +
                  "), which " + std::string(encoding) +
                  " cannot hold; write it as &#" + std::to_string(c) +
                  "; instead";
      return w;
    }
    w.new_text_lf += piece;
    w.new_text_crlf += piece;
    w.new_text_cr += piece;
    if (stop == kNone) return w;
    w.new_text_lf += w.lf;
    w.new_text_crlf += w.crlf;
    w.new_text_cr += w.cr;
    rest.remove_prefix(stop + (rest.compare(stop, 2, "\r\n") == 0 ? 2 : 1));
  }
}

std::size_t DocumentPlanner::Impl::FirstMatch(LineFinder& finder,
                                              const EncodedSearch& search,
                                              std::string_view body,
                                              StopPoll& poll) const {
  LineSplitter lines(body, search.utf16(), search.utf16_be());
  EscapeTracker escapes;
  for (std::size_t position = 0; position < body.size();) {
    const std::size_t candidate = search.NextCandidate(body, position);
    if (candidate == kNone) return kNone;
    // Straight to the line of the candidate.
    position = lines.StartOfLine(position, candidate);
    const Line line = lines.At(position);
    const std::string_view escape =
        search.iso2022() ? escapes.Before(body, line.start) : "";
    if (auto match =
            FindInLine(finder, search, body, line, candidate, escape)) {
      return match->offset;
    }
    if (finder.stopped() || poll.Due(line.next - line.start)) return kNone;
    position = line.next;
  }
  return kNone;
}

void DocumentPlanner::Impl::Write(LineFinder& finder,
                                  const EncodedSearch& search, const Written& w,
                                  std::string_view body, std::size_t bom,
                                  std::size_t first_match, DocumentPlan* plan,
                                  bool keep, bool changed_only,
                                  StopPoll& poll) const {
  // ISO-2022-JP carries its state from line to line, so a line can only be
  // read with the lines before it.
  changed_only = changed_only && !search.iso2022();
  LineSplitter lines(body, search.utf16(), search.utf16_be());
  EscapeTracker escapes;
  Output out(changed_only ? 4096 : bom + body.size() + body.size() / 16 + 4096);
  if (!changed_only) out.Append(std::string_view(body.data() - bom, bom));
  Ending previous = Ending::kNone;
  std::size_t candidate = 0, number = 0, lines_polled = 0;
  bool have_candidate = false;
  for (std::size_t position = 0; position < body.size();) {
    // Lines count for stop by their length, and at least one each.
    if (poll.Due(1 + position - lines_polled)) return;
    lines_polled = position;
    const Line line = lines.At(position);
    position = line.next;
    ++number;
    // Every line keeps its own end (a last line without one stays so); line
    // breaks in the new text take the line's style, or for a last line
    // without an end the style of the line before it (CR LF when alone).
    const Ending style = line.ending != Ending::kNone ? line.ending : previous;
    previous = line.ending;
    const std::string_view ending = body.substr(line.end, line.next - line.end);
    const std::string& new_text = style == Ending::kLf   ? w.new_text_lf
                                  : style == Ending::kCr ? w.new_text_cr
                                                         : w.new_text_crlf;
    const std::string_view escape =
        search.iso2022() ? escapes.Before(body, line.start) : "";
    std::optional<TextMatch> match;
    // Lines before the first match's can hold none.
    if (line.end > first_match) {
      if (!have_candidate || candidate < line.start) {
        candidate = search.NextCandidate(body, line.start);
        have_candidate = true;
      }
      if (candidate < line.end) {
        match = FindInLine(finder, search, body, line, candidate, escape);
        if (finder.stopped()) return;
      }
    }
    const std::string_view text =
        body.substr(line.start, line.end - line.start);
    if (!match) {
      if (!changed_only) {
        out.Append(body.substr(line.start, line.next - line.start));
      }
      continue;
    }
    if (changed_only && plan->changed_lines.size() >= kMostChangedLinesKept) {
      ++plan->replacements;  // counted, not kept
      continue;
    }
    const std::size_t offset = match->offset - line.start;
    const std::size_t match_end = match->offset + match->length;
    const std::size_t new_line = out.size();
    out.Append(text.substr(0, offset));
    const std::size_t inserted = out.size();
    // In ISO-2022-JP the new text is written from, and leaves, the ASCII
    // state; the state the bytes after it were written in is restored.
    auto state_at = [&](std::size_t at) {
      const void* found =
          ::memrchr(body.data() + line.start, 0x1B, at - line.start);
      if (found == nullptr) return escape;
      return EscapeTracker::EscapeAt(
          body, static_cast<const char*>(found) - body.data());
    };
    if (search.iso2022() && !IsAsciiState(state_at(match->offset))) {
      out.Append("\x1B(B");
    }
    out.Append(new_text);
    if (search.iso2022() && !IsAsciiState(state_at(match_end))) {
      out.Append(state_at(match_end));
    }
    const std::size_t inserted_length = out.size() - inserted;
    out.Append(text.substr(offset + match->length));
    const std::size_t new_length = out.size() - new_line;
    out.Append(ending);
    ++plan->replacements;
    if (keep) {
      plan->changed_lines.push_back(
          {number, bom + line.start, text.size(), offset, match->length,
           new_line, new_length, inserted - new_line, inserted_length});
    }
  }
  out.MoveTo(&plan->content);
}

void DocumentPlanner::Impl::Plan(std::string_view document, DocumentPlan* plan,
                                 bool keep, bool changed_only,
                                 const StopRequested& stop) const {
  plan->encoding.clear();
  plan->replacements = 0;
  plan->refusal.clear();
  plan->content.clear();
  plan->changed_lines.clear();
  plan->stopped = false;
  const SniffedEncoding sniffed = SniffEncoding(
      document,
      [this](std::string_view name) { return matcher_.For(name) != nullptr; });
  const EncodedSearch* search = matcher_.For(sniffed.name);
  plan->encoding = sniffed.name;
  if (search == nullptr) {
    // glibc lacks even windows-1252's converter: nothing can be read.
    plan->encoding = "windows-1252";
    search = matcher_.For(plan->encoding);
    if (search == nullptr) return;
  }
  // Read in another encoding, a UTF-16 document's every other byte is NUL
  // and the line ends written into it would break it.
  if (!search->utf16() &&
      std::memchr(document.data(), 0, document.size()) != nullptr) {
    plan->refusal =
        "it holds NUL bytes: not a text document, or UTF-16 without a "
        "byte-order mark";
    return;
  }
  StopPoll poll(stop);
  LineFinder finder(matcher_, *search, poll);
  const std::string_view body = document.substr(sniffed.bom_length);
  const std::size_t first_match = FirstMatch(finder, *search, body, poll);
  if (first_match != kNone) {
    const Written& written = WrittenFor(plan->encoding);
    if (!written.refusal.empty()) {
      plan->refusal = written.refusal;
      return;
    }
    Write(finder, *search, written, body, sniffed.bom_length, first_match, plan,
          keep, changed_only, poll);
  }
  if (poll.stopped()) {
    *plan = DocumentPlan();
    plan->stopped = true;
  }
}

DocumentPlanner::DocumentPlanner() = default;
DocumentPlanner::~DocumentPlanner() = default;

std::unique_ptr<DocumentPlanner> DocumentPlanner::Create(
    std::string_view search_text, std::string_view new_text,
    std::string* problem) {
  return Create(PlainRules(std::string(search_text), std::string(new_text)),
                problem);
}

std::unique_ptr<DocumentPlanner> DocumentPlanner::Create(
    const ReplaceRules& rules, std::string* problem) {
  for (std::size_t k = 0; k < rules.pairs.size(); ++k) {
    const ReplacePair& pair = rules.pairs[k];
    const std::string where =
        rules.pairs.size() > 1
            ? " (line " + std::to_string(k + 1) + " of the list)"
            : "";
    if (!IsValidUtf8(pair.search)) {
      *problem = "The text to replace is not valid UTF-8 text" + where + ".";
    } else if (!IsValidUtf8(pair.replacement)) {
      *problem = "The new text is not valid UTF-8 text" + where + ".";
    } else if (!rules.regex &&
               pair.search.find_first_of("\r\n") != std::string::npos) {
      *problem =
          "Matches are found within one line, and the text to replace holds "
          "a line break" +
          where + ". Remove the line break and try again.";
    } else if (pair.search.empty()) {
      *problem = "The text to replace is empty" + where + ".";
    } else {
      continue;
    }
    return nullptr;
  }
  if (rules.pairs.empty()) {
    *problem = "The list holds no replacements.";
    return nullptr;
  }
  std::unique_ptr<DocumentPlanner> planner(new DocumentPlanner());
  if (rules.IsPlain()) {
    planner->impl_ = std::make_unique<Impl>(rules.pairs[0].search,
                                            rules.pairs[0].replacement);
    return planner;
  }
  std::unique_ptr<PatternSet> patterns = PatternSet::Compile(rules, problem);
  if (patterns == nullptr) return nullptr;
  planner->rules_ = std::make_unique<RulesPlanner>(std::move(patterns));
  return planner;
}

void DocumentPlanner::Plan(std::string_view document, DocumentPlan* plan,
                           bool keep_changed_lines, bool changed_lines_only,
                           const StopRequested& stop) const {
  if (rules_ != nullptr) {
    rules_->Plan(document, plan, keep_changed_lines, changed_lines_only, stop);
  } else {
    impl_->Plan(document, plan, keep_changed_lines, changed_lines_only, stop);
  }
}

}  // namespace engine
