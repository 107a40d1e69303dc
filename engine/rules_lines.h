// How the planner for rules other than the plain ones reads and writes
// lines: a line's bytes decoded into UTF-8 text whose parts remember which
// bytes they came from (so that every byte no match touched is written
// back as it was), and new texts encoded in the document's encoding.  For
// rules_plan.cc alone; each object belongs to one thread.

#ifndef VANTREL_ENGINE_RULES_LINES_H_
#define VANTREL_ENGINE_RULES_LINES_H_

#include <cstdio>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "engine/text_decoder.h"
#include "engine/text_encoding.h"

namespace engine {
namespace rules_lines {

inline constexpr char kReplacementCharacter[] = "\xEF\xBF\xBD";  // U+FFFD

// Where a part of a line's text came from: a run of bytes that are their
// own UTF-8 text, one character decoded from the line's bytes, or a new
// text that a pair put there.
enum class Source { kSame, kCharacter, kNew };

struct Part {
  std::size_t text_begin, text_end;    // in the line's UTF-8 text
  std::size_t bytes_begin, bytes_end;  // in the line, unless kNew
  Source source;
};

inline void AddPart(std::vector<Part>* parts, std::size_t text_begin,
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

}  // namespace rules_lines
}  // namespace engine

#endif  // VANTREL_ENGINE_RULES_LINES_H_
