#include "engine/document_plan.h"

#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <functional>
#include <map>
#include <optional>

#include "engine/text_encoding.h"
#include "engine/text_matcher.h"

namespace engine {

namespace {

constexpr std::size_t kNone = std::string_view::npos;
enum class Ending { kNone, kLf, kCrLf, kCr };

struct Line {
  std::size_t start, end, next;  // content is [start, end)
  Ending ending;
};

// The new text and line ends written in one encoding, or why they can't be.
struct Written {
  std::string refusal, lf, crlf, new_text_lf, new_text_crlf;
};

bool IsAsciiState(std::string_view escape) {
  return escape.empty() || escape == "\x1B(B";
}

// Splits a document into lines, remembering the next CR and LF so that
// each byte is looked at once.
class LineSplitter {
 public:
  LineSplitter(std::string_view body, bool utf16, bool big_endian)
      : body_(body), utf16_(utf16), big_endian_(big_endian) {}

  Line At(std::size_t start) {
    if (utf16_) return At16(start);
    if (!started_) {
      // Not before: a document without candidates is never split.
      next_cr_ = body_.find('\r', start);
      next_lf_ = body_.find('\n', start);
      started_ = true;
    }
    const std::size_t cr = Next('\r', start, &next_cr_);
    const std::size_t lf = Next('\n', start, &next_lf_);
    if (lf < cr) return {start, lf, lf + 1, Ending::kLf};
    if (cr == kNone) return {start, body_.size(), body_.size(), Ending::kNone};
    if (lf == cr + 1) return {start, cr, cr + 2, Ending::kCrLf};
    return {start, cr, cr + 1, Ending::kCr};
  }

 private:
  std::size_t Next(char byte, std::size_t from, std::size_t* cached) {
    if (*cached != kNone && *cached < from) {
      *cached = body_.find(byte, from);
    }
    return *cached;
  }
  unsigned Unit(std::size_t i) const {
    const auto a = static_cast<unsigned char>(body_[i]);
    const auto b = static_cast<unsigned char>(body_[i + 1]);
    return big_endian_ ? (a << 8 | b) : (b << 8 | a);
  }
  Line At16(std::size_t start) const {
    for (std::size_t i = start; i + 1 < body_.size(); i += 2) {
      const unsigned unit = Unit(i);
      if (unit == 0x0A) return {start, i, i + 2, Ending::kLf};
      if (unit != 0x0D) continue;
      if (i + 3 < body_.size() && Unit(i + 2) == 0x0A) {
        return {start, i, i + 4, Ending::kCrLf};
      }
      return {start, i, i + 2, Ending::kCr};
    }
    return {start, body_.size(), body_.size(), Ending::kNone};
  }

  std::string_view body_;
  bool utf16_, big_endian_;
  bool started_ = false;
  std::size_t next_cr_ = kNone, next_lf_ = kNone;
};

// The ISO-2022-JP escape sequence in effect at a place in a document: the
// last one before it.  Places must come in order.
class EscapeTracker {
 public:
  std::string_view Before(std::string_view body, std::size_t position) {
    if (position > scanned_) {
      const void* found =
          ::memrchr(body.data() + scanned_, 0x1B, position - scanned_);
      if (found != nullptr) {
        last_ = static_cast<std::size_t>(static_cast<const char*>(found) -
                                         body.data());
      }
      scanned_ = position;
    }
    return EscapeAt(body, last_);
  }
  static std::string_view EscapeAt(std::string_view body, std::size_t at) {
    if (at == kNone) return {};
    return body.substr(at, Iso2022EscapeLength(body.substr(at)));
  }

 private:
  std::size_t scanned_ = 0, last_ = kNone;
};

// The plan's content as it grows.  A string that doubles its capacity would
// briefly hold three times a large document's size; instead a close guess
// is reserved, and what overflows it waits in blocks that are joined once.
class Output {
 public:
  explicit Output(std::size_t guess) { main_.reserve(guess); }
  std::size_t size() const { return size_; }
  void Append(std::string_view bytes) {
    size_ += bytes.size();
    if (blocks_.empty() && main_.size() + bytes.size() <= main_.capacity()) {
      main_.append(bytes);
      return;
    }
    if (blocks_.empty() ||
        blocks_.back().size() + bytes.size() > blocks_.back().capacity()) {
      blocks_.emplace_back();
      blocks_.back().reserve(std::max<std::size_t>(bytes.size(), 1 << 20));
    }
    blocks_.back().append(bytes);
  }
  void MoveTo(std::string* content) {
    if (blocks_.empty()) {
      *content = std::move(main_);
      return;
    }
    content->clear();
    content->reserve(size_);
    content->append(main_);
    std::string().swap(main_);
    for (std::string& block : blocks_) {
      content->append(block);
      std::string().swap(block);
    }
  }

 private:
  std::string main_;
  std::vector<std::string> blocks_;
  std::size_t size_ = 0;
};

}  // namespace

class DocumentPlanner::Impl {
 public:
  Impl(std::string_view search_text, std::string_view new_text)
      : new_text_(new_text), matcher_(search_text) {}
  // Not const: the per-encoding caches fill as documents come.
  void Plan(std::string_view document, DocumentPlan* plan, bool keep,
            bool changed_only);

 private:
  const Written& WrittenIn(std::string_view encoding);
  std::size_t FirstMatch(EncodedSearch& search, std::string_view body);
  void Write(EncodedSearch& search, const Written& written,
             std::string_view body, std::size_t bom, std::size_t first_match,
             DocumentPlan* plan, bool keep, bool changed_only);
  std::optional<TextMatch> FindInLine(EncodedSearch& search,
                                      std::string_view body, const Line& line,
                                      std::size_t candidate,
                                      std::string_view escape) {
    return matcher_.Find(
        search, body.substr(0, line.end), line.start,
        search.candidates_begin_matches() ? candidate : line.start, escape);
  }

  std::string new_text_;
  TextMatcher matcher_;
  std::map<std::string, Written, std::less<>> written_;
};

const Written& DocumentPlanner::Impl::WrittenIn(std::string_view encoding) {
  auto found = written_.find(encoding);
  if (found != written_.end()) return found->second;
  Written& w = written_[std::string(encoding)];
  std::unique_ptr<IconvConversion> encoder;
  if (encoding != "UTF-8") {
    encoder = IconvConversion::Open(IconvName(encoding), "UTF-8");
  }
  auto encode = [&encoder](std::string_view text, std::string* out) {
    std::size_t bad = 0;
    if (encoder == nullptr) return out->append(text), kNone;
    return ConvertUtf8(*encoder, text, out, &bad) ? kNone : bad;
  };
  encode("\n", &w.lf);
  encode("\r\n", &w.crlf);
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
    if (stop == kNone) return w;
    w.new_text_lf += w.lf;
    w.new_text_crlf += w.crlf;
    rest.remove_prefix(stop + (rest.compare(stop, 2, "\r\n") == 0 ? 2 : 1));
  }
}

std::size_t DocumentPlanner::Impl::FirstMatch(EncodedSearch& search,
                                              std::string_view body) {
  LineSplitter lines(body, search.utf16(), search.utf16_be());
  EscapeTracker escapes;
  for (std::size_t position = 0; position < body.size();) {
    const std::size_t candidate = search.NextCandidate(body, position);
    if (candidate == kNone) return kNone;
    if (candidate > position && !search.utf16()) {
      // Straight to the line of the candidate: past the last CR or LF
      // before it.
      const char* base = body.data() + position;
      const std::size_t span = candidate - position;
      const char* cr = static_cast<const char*>(::memrchr(base, '\r', span));
      const char* lf = static_cast<const char*>(::memrchr(base, '\n', span));
      const char* last = std::max(cr, lf);
      if (last != nullptr) position += (last - base) + 1;
    }
    const Line line = lines.At(position);
    const std::string_view escape =
        search.iso2022() ? escapes.Before(body, line.start) : "";
    if (auto match = FindInLine(search, body, line, candidate, escape)) {
      return match->offset;
    }
    position = line.next;
  }
  return kNone;
}

void DocumentPlanner::Impl::Write(EncodedSearch& search, const Written& w,
                                  std::string_view body, std::size_t bom,
                                  std::size_t first_match, DocumentPlan* plan,
                                  bool keep, bool changed_only) {
  // ISO-2022-JP carries its state from line to line, so a line can only be
  // read with the lines before it.
  changed_only = changed_only && !search.iso2022();
  LineSplitter lines(body, search.utf16(), search.utf16_be());
  EscapeTracker escapes;
  Output out(changed_only ? 4096 : bom + body.size() + body.size() / 16 + 4096);
  if (!changed_only) out.Append(std::string_view(body.data() - bom, bom));
  Ending previous = Ending::kNone;
  std::size_t candidate = 0, number = 0;
  bool have_candidate = false;
  for (std::size_t position = 0; position < body.size();) {
    const Line line = lines.At(position);
    position = line.next;
    ++number;
    const bool lf = line.ending == Ending::kLf ||
                    (line.ending == Ending::kNone && previous == Ending::kLf);
    previous = line.ending;
    const std::string_view ending = lf ? w.lf : w.crlf;
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
        match = FindInLine(search, body, line, candidate, escape);
      }
    }
    const std::string_view text =
        body.substr(line.start, line.end - line.start);
    if (!match) {
      if (changed_only) continue;
      if (line.ending == Ending::kLf || line.ending == Ending::kCrLf) {
        out.Append(body.substr(line.start, line.next - line.start));
      } else {
        out.Append(text);
        out.Append(ending);
      }
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
    out.Append(lf ? w.new_text_lf : w.new_text_crlf);
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
                                 bool keep, bool changed_only) {
  plan->encoding.clear();
  plan->replacements = 0;
  plan->refusal.clear();
  plan->content.clear();
  plan->changed_lines.clear();
  const SniffedEncoding sniffed = SniffEncoding(
      document,
      [this](std::string_view name) { return matcher_.For(name) != nullptr; });
  EncodedSearch* search = matcher_.For(sniffed.name);
  plan->encoding = sniffed.name;
  if (search == nullptr) {
    // glibc lacks even windows-1252's converter: nothing can be read.
    plan->encoding = "windows-1252";
    search = matcher_.For(plan->encoding);
    if (search == nullptr) return;
  }
  const std::string_view body = document.substr(sniffed.bom_length);
  const std::size_t first_match = FirstMatch(*search, body);
  if (first_match == kNone) return;
  const Written& written = WrittenIn(plan->encoding);
  if (!written.refusal.empty()) {
    plan->refusal = written.refusal;
    return;
  }
  Write(*search, written, body, sniffed.bom_length, first_match, plan, keep,
        changed_only);
}

DocumentPlanner::DocumentPlanner() = default;
DocumentPlanner::~DocumentPlanner() = default;

std::unique_ptr<DocumentPlanner> DocumentPlanner::Create(
    std::string_view search_text, std::string_view new_text,
    std::string* problem) {
  if (!IsValidUtf8(search_text)) {
    *problem = "The text to replace is not valid UTF-8 text.";
  } else if (!IsValidUtf8(new_text)) {
    *problem = "The new text is not valid UTF-8 text.";
  } else if (search_text.find_first_of("\r\n") != std::string_view::npos) {
    *problem =
        "Matches are found within one line, and the text to replace holds a "
        "line break. Remove the line break and try again.";
  } else if (search_text.empty()) {
    *problem = "The text to replace is empty.";
  } else {
    std::unique_ptr<DocumentPlanner> planner(new DocumentPlanner());
    planner->impl_ = std::make_unique<Impl>(search_text, new_text);
    return planner;
  }
  return nullptr;
}

void DocumentPlanner::Plan(std::string_view document, DocumentPlan* plan,
                           bool keep_changed_lines,
                           bool changed_lines_only) const {
  impl_->Plan(document, plan, keep_changed_lines, changed_lines_only);
}

}  // namespace engine
