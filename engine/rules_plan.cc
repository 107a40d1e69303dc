#include "engine/rules_plan.h"

#include <cstdio>
#include <cstring>
#include <map>
#include <mutex>

#include "engine/document_lines.h"
#include "engine/text_decoder.h"
#include "engine/text_encoding.h"
#include "engine/text_finder.h"

namespace engine {

namespace {

constexpr char kReplacementCharacter[] = "\xEF\xBF\xBD";  // U+FFFD

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

// Where a part of a line's text came from: a run of bytes that are their
// own UTF-8 text, one character decoded from the line's bytes, or a new
// text that a pair put there.
enum class Source { kSame, kCharacter, kNew };

struct Part {
  std::size_t text_begin, text_end;    // in the line's UTF-8 text
  std::size_t bytes_begin, bytes_end;  // in the line, unless kNew
  Source source;
};

void AddPart(std::vector<Part>* parts, std::size_t text_begin,
             std::size_t text_end, std::size_t bytes_begin,
             std::size_t bytes_end, Source source) {
  if (text_begin == text_end) return;
  if (source == Source::kSame && !parts->empty() &&
      parts->back().source == Source::kSame &&
      parts->back().text_end == text_begin &&
      parts->back().bytes_end == bytes_begin) {
    parts->back().text_end = text_end;
    parts->back().bytes_end = bytes_end;
    return;
  }
  parts->push_back({text_begin, text_end, bytes_begin, bytes_end, source});
}

// Reads lines of one encoding into UTF-8 text and the parts it came from.
// What does not decode reads as U+FFFD, which no pattern of a user's
// matches by accident, and is written back as it was.
class LineReader {
 public:
  explicit LineReader(const std::string& encoding)
      : utf8_(encoding == "UTF-8"),
        utf16_(encoding.starts_with("UTF-16")),
        big_endian_(encoding == "UTF-16BE") {
    if (utf8_ || utf16_) return;
    decoder_ = IconvConversion::Open("WCHAR_T", IconvName(encoding));
    if (decoder_ == nullptr) throw std::bad_alloc();
    using Kind = MultiByteReader::Kind;
    const Kind kind = EncodingForLabel(encoding) != encoding ? Kind::kUnknown
                      : encoding == "Big5"                   ? Kind::kPaired
                                                             : Kind::kSingle;
    reader_ = std::make_unique<MultiByteReader>(*decoder_, kind);
  }

  void Read(std::string_view line, std::string* text,
            std::vector<Part>* parts) {
    text->clear();
    parts->clear();
    if (utf16_) return ReadUtf16(line, text, parts);
    std::size_t at = 0;
    while (at < line.size()) {
      // ASCII is itself in UTF-8 and in every encoding read here.
      std::size_t ascii = at;
      while (ascii < line.size() &&
             static_cast<unsigned char>(line[ascii]) < 0x80) {
        ++ascii;
      }
      AddPart(parts, text->size(), text->size() + ascii - at, at, ascii,
              Source::kSame);
      text->append(line.substr(at, ascii - at));
      at = ascii;
      if (at == line.size()) break;
      at = utf8_ ? ReadUtf8(line, at, text, parts)
                 : ReadOther(line, at, text, parts);
    }
  }

 private:
  std::size_t ReadUtf8(std::string_view line, std::size_t at, std::string* text,
                       std::vector<Part>* parts) {
    const auto* begin = reinterpret_cast<const unsigned char*>(line.data());
    const auto* end = begin + line.size();
    while (at < line.size() && begin[at] >= 0x80) {
      const Utf8Character c = DecodeUtf8(begin + at, end);
      const std::size_t from = text->size();
      if (c.valid) {
        text->append(line.substr(at, c.length));
        AddPart(parts, from, text->size(), at, at + c.length, Source::kSame);
      } else {
        text->append(kReplacementCharacter);
        AddPart(parts, from, text->size(), at, at + 1, Source::kCharacter);
      }
      at += c.length;
    }
    return at;
  }

  // One character at a time up to the next ASCII byte: where characters
  // end is iconv's to say.
  std::size_t ReadOther(std::string_view line, std::size_t at,
                        std::string* text, std::vector<Part>* parts) {
    reader_->Start(line, at, "");
    while (at < line.size() && static_cast<unsigned char>(line[at]) >= 0x80) {
      char32_t c = 0;
      if (reader_->Read(&c, 1) == 0) break;
      const std::size_t next = reader_->position();
      const std::size_t from = text->size();
      text->append(c == kUndecodable ? std::string(kReplacementCharacter)
                                     : EncodeUtf8(c));
      AddPart(parts, from, text->size(), at, next, Source::kCharacter);
      at = next;
    }
    return at;
  }

  void ReadUtf16(std::string_view line, std::string* text,
                 std::vector<Part>* parts) {
    auto unit = [&](std::size_t i) -> char32_t {
      const auto a = static_cast<unsigned char>(line[i]);
      const auto b = static_cast<unsigned char>(line[i + 1]);
      return big_endian_ ? (a << 8) | b : (b << 8) | a;
    };
    for (std::size_t at = 0; at + 1 < line.size();) {
      char32_t c = unit(at);
      std::size_t length = 2;
      if (c >= 0xD800 && c <= 0xDBFF && at + 3 < line.size() &&
          unit(at + 2) >= 0xDC00 && unit(at + 2) <= 0xDFFF) {
        c = 0x10000 + ((c - 0xD800) << 10) + (unit(at + 2) - 0xDC00);
        length = 4;
      }
      const bool lone = c >= 0xD800 && c <= 0xDFFF;
      const std::size_t from = text->size();
      text->append(lone ? std::string(kReplacementCharacter) : EncodeUtf8(c));
      AddPart(parts, from, text->size(), at, at + length, Source::kCharacter);
      at += length;
    }
  }

  const bool utf8_, utf16_, big_endian_;
  std::unique_ptr<IconvConversion> decoder_;
  std::unique_ptr<MultiByteReader> reader_;
};

// Writes new texts in the document's encoding.
class TextWriter {
 public:
  explicit TextWriter(const std::string& encoding) : encoding_(encoding) {
    if (encoding == "UTF-8") return;
    encoder_ = IconvConversion::Open(IconvName(encoding), "UTF-8");
    if (encoder_ == nullptr) throw std::bad_alloc();
  }

  // Appends text, its line breaks written as ending, to *out; false with
  // *refusal set when the encoding can't hold a character of it.
  bool Write(std::string_view text, std::string_view ending, std::string* out,
             std::string* refusal) {
    std::string broken;
    for (std::size_t i = 0; i < text.size(); ++i) {
      if (text[i] != '\r' && text[i] != '\n') {
        broken.push_back(text[i]);
        continue;
      }
      broken.append(ending);
      if (text[i] == '\r' && i + 1 < text.size() && text[i + 1] == '\n') ++i;
    }
    if (encoder_ == nullptr) {
      out->append(broken);
      return true;
    }
    std::size_t bad = 0;
    if (ConvertUtf8(*encoder_, broken, out, &bad)) return true;
    const auto* p = reinterpret_cast<const unsigned char*>(broken.data()) + bad;
    const char32_t c =
        DecodeUtf8(p, p + std::min<std::size_t>(4, broken.size() - bad))
            .code_point;
    char code[16];
    std::snprintf(code, sizeof code, "U+%04X", static_cast<unsigned>(c));
    *refusal = "the new text holds \"" + EncodeUtf8(c) + "\" (" + code +
               "), which " + encoding_ + " cannot hold; write it as &#" +
               std::to_string(c) + "; instead";
    return false;
  }

 private:
  const std::string encoding_;
  std::unique_ptr<IconvConversion> encoder_;
};

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
