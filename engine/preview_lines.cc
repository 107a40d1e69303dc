#include "engine/preview_lines.h"

#include <algorithm>
#include <cstdint>
#include <cstring>
#include <string_view>
#include <tuple>

#include "engine/text_encoding.h"

namespace engine {

namespace {

constexpr char kReplacementCharacter[] = "\xEF\xBF\xBD";  // U+FFFD

bool IsAscii(std::string_view bytes) {
  std::size_t i = 0;
  std::uint64_t any = 0;
  for (; i + 8 <= bytes.size(); i += 8) {
    std::uint64_t word;
    std::memcpy(&word, bytes.data() + i, 8);
    any |= word;
  }
  for (; i < bytes.size(); ++i) any |= static_cast<unsigned char>(bytes[i]);
  return (any & 0x8080808080808080ULL) == 0;
}

// The ISO-2022-JP escape sequence in effect at places of a text, asked for
// in increasing order, so that the text is scanned once in all.
class EscapeInEffect {
 public:
  explicit EscapeInEffect(std::string_view text) : text_(text) {}

  std::string_view At(std::size_t position) {
    if (position > scanned_) {
      const void* found =
          ::memrchr(text_.data() + scanned_, 0x1B, position - scanned_);
      if (found != nullptr) {
        last_ = static_cast<std::size_t>(static_cast<const char*>(found) -
                                         text_.data());
      }
      scanned_ = position;
    }
    if (last_ == std::string_view::npos) return {};
    return text_.substr(last_, Iso2022EscapeLength(text_.substr(last_)));
  }

 private:
  std::string_view text_;
  std::size_t scanned_ = 0;
  std::size_t last_ = std::string_view::npos;
};

}  // namespace

// Turns lines in one encoding into UTF-8 for display.  What does not decode
// shows as one U+FFFD per byte (per code unit in UTF-16), so that a damaged
// line still shows where the damage is.
class DisplayDecoder {
 public:
  explicit DisplayDecoder(const std::string& encoding);

  // Whether bytes, in any state, are their own UTF-8 text.
  bool Plain(std::string_view bytes) const {
    return utf8_ ? IsValidUtf8(bytes) : ascii_ && IsAscii(bytes);
  }

  // Decodes line, which starts in the state that escape (ISO-2022-JP's
  // escape sequence in effect there; empty for other encodings) selects,
  // into *text; plain says what Plain(line) does.  [offset, offset +
  // length) of line becomes [*text_offset, *text_offset + *text_length).
  void DecodeLine(std::string_view escape, std::string_view line,
                  std::size_t offset, std::size_t length, bool plain,
                  std::string* text, std::size_t* text_offset,
                  std::size_t* text_length);
  // Sets *text to bytes, from the start state, decoded.
  void DecodeWhole(std::string_view bytes, std::string* text);

 private:
  // Appends bytes, decoded, to *out, going on in the state that the call
  // before left.
  void Append(std::string_view bytes, std::string* out);
  void AppendUtf8(std::string_view bytes, std::string* out) const;

  bool utf8_;
  // Whether bytes below 0x80 are the ASCII characters, whatever comes
  // before them (not so in UTF-16 or ISO-2022-JP).
  bool ascii_ = false;
  std::size_t unit_;
  std::unique_ptr<IconvConversion> conversion_;
};

DisplayDecoder::DisplayDecoder(const std::string& encoding)
    : utf8_(encoding == "UTF-8"),
      unit_(encoding.starts_with("UTF-16") ? 2 : 1) {
  if (utf8_) return;
  conversion_ = IconvConversion::Open("UTF-8", IconvName(encoding));
  if (conversion_ == nullptr) return;
  // Every ASCII byte, then bytes that are ASCII only until an escape
  // sequence (ISO-2022-JP's) or a shift (SO, in ISO-2022-KR) says otherwise.
  std::string ascii(0x80, '\0'), decoded;
  for (std::size_t c = 0; c < ascii.size(); ++c) {
    ascii[c] = static_cast<char>(c);
  }
  ascii += "\x1B$B!!";
  Append(ascii, &decoded);
  ascii_ = decoded == ascii;
}

void DisplayDecoder::DecodeLine(std::string_view escape, std::string_view line,
                                std::size_t offset, std::size_t length,
                                bool plain, std::string* text,
                                std::size_t* text_offset,
                                std::size_t* text_length) {
  if (plain) {
    text->assign(line);
    *text_offset = offset;
    *text_length = length;
    return;
  }
  text->reserve(line.size() + line.size() / 2 + 16);
  if (conversion_ != nullptr) {
    conversion_->Reset();
    std::string nothing;
    Append(escape, &nothing);
  }
  Append(line.substr(0, offset), text);
  *text_offset = text->size();
  Append(line.substr(offset, length), text);
  *text_length = text->size() - *text_offset;
  Append(line.substr(offset + length), text);
}

void DisplayDecoder::Append(std::string_view bytes, std::string* out) {
  if (utf8_) return AppendUtf8(bytes, out);
  char buffer[1024];
  while (!bytes.empty()) {
    std::size_t read = 0, written = 0;
    if (conversion_ != nullptr) {
      std::tie(read, written) =
          conversion_->Convert(bytes, buffer, sizeof buffer);
    }
    out->append(buffer, written);
    bytes.remove_prefix(read);
    if (read != 0 || written != 0) continue;
    // Without a converter (glibc lost one since the document was planned)
    // ASCII still shows as itself.
    if (conversion_ == nullptr && static_cast<unsigned char>(bytes[0]) < 0x80) {
      out->push_back(bytes[0]);
      bytes.remove_prefix(1);
      continue;
    }
    out->append(kReplacementCharacter);
    bytes.remove_prefix(std::min(unit_, bytes.size()));
  }
}

void DisplayDecoder::AppendUtf8(std::string_view bytes,
                                std::string* out) const {
  const auto* p = reinterpret_cast<const unsigned char*>(bytes.data());
  const auto* end = p + bytes.size();
  while (p < end) {
    const Utf8Character c = DecodeUtf8(p, end);
    if (c.valid) {
      out->append(reinterpret_cast<const char*>(p), c.length);
    } else {
      out->append(kReplacementCharacter);
    }
    p += c.length;
  }
}

void DisplayDecoder::DecodeWhole(std::string_view bytes, std::string* text) {
  text->clear();
  if (Plain(bytes)) {
    text->assign(bytes);
    return;
  }
  if (conversion_ != nullptr) conversion_->Reset();
  text->reserve(bytes.size() + bytes.size() / 2 + 16);
  Append(bytes, text);
}

PreviewLineDecoder::PreviewLineDecoder() = default;
PreviewLineDecoder::~PreviewLineDecoder() = default;

void PreviewLineDecoder::AddLines(const CheckedDocument& checked,
                                  std::vector<PreviewLine>* lines) {
  const std::string& encoding = checked.plan.encoding;
  DisplayDecoder& decoder = DecoderFor(encoding);
  const std::string_view old_bytes = checked.contents;
  const std::string_view new_bytes = checked.plan.content;
  const bool iso2022 = encoding == "ISO-2022-JP";
  EscapeInEffect old_escape(old_bytes), new_escape(new_bytes);
  // A preview keeps what a reader can take in, not a whole rewritten
  // document: the rest of a huge change is only counted.
  const std::size_t shown =
      std::min(checked.plan.changed_lines.size(), kMostChangedLinesKept);
  lines->reserve(lines->size() + shown);
  for (std::size_t i = 0; i < shown; ++i) {
    const ChangedLine& changed = checked.plan.changed_lines[i];
    PreviewLine& line = lines->emplace_back();
    line.number = changed.number;
    const std::string_view before =
        old_bytes.substr(changed.before_offset, changed.before_length);
    const std::string_view after =
        new_bytes.substr(changed.after_offset, changed.after_length);
    // The new line is the old one with the new text in place of the match,
    // so it is plain when both of those are.
    const bool plain = decoder.Plain(before);
    decoder.DecodeLine(iso2022 ? old_escape.At(changed.before_offset) : "",
                       before, changed.match_offset, changed.match_length,
                       plain, &line.before, &line.match_offset,
                       &line.match_length);
    decoder.DecodeLine(
        iso2022 ? new_escape.At(changed.after_offset) : "", after,
        changed.inserted_offset, changed.inserted_length,
        plain && decoder.Plain(after.substr(changed.inserted_offset,
                                            changed.inserted_length)),
        &line.after, &line.inserted_offset, &line.inserted_length);
  }
}

DisplayDecoder& PreviewLineDecoder::DecoderFor(const std::string& encoding) {
  auto found = decoders_.find(encoding);
  if (found == decoders_.end()) {
    found =
        decoders_.emplace(encoding, std::make_unique<DisplayDecoder>(encoding))
            .first;
  }
  return *found->second;
}

void PreviewLineDecoder::DecodeDocument(const std::string& encoding,
                                        std::string_view bytes,
                                        std::string* text) {
  DecoderFor(encoding).DecodeWhole(bytes, text);
}

namespace {

std::vector<std::string_view> TextLines(std::string_view text) {
  std::vector<std::string_view> lines;
  while (!text.empty()) {
    std::size_t end = text.find_first_of("\r\n");
    std::string_view line = text.substr(0, end);
    lines.push_back(line);
    if (end == std::string_view::npos) break;
    end += text.compare(end, 2, "\r\n") == 0 ? 2 : 1;
    text.remove_prefix(end);
  }
  return lines;
}

}  // namespace

std::vector<PreviewLine> LinesBetween(const std::string& encoding,
                                      std::string_view before,
                                      std::string_view after) {
  PreviewLineDecoder decoder;
  std::string old_text, new_text;
  decoder.DecodeDocument(encoding, before, &old_text);
  decoder.DecodeDocument(encoding, after, &new_text);
  const std::vector<std::string_view> old_lines = TextLines(old_text);
  const std::vector<std::string_view> new_lines = TextLines(new_text);
  std::size_t head = 0, tail = 0;
  if (old_lines.size() != new_lines.size()) {
    while (head < old_lines.size() && head < new_lines.size() &&
           old_lines[head] == new_lines[head]) {
      ++head;
    }
    while (tail < old_lines.size() - head && tail < new_lines.size() - head &&
           old_lines[old_lines.size() - 1 - tail] ==
               new_lines[new_lines.size() - 1 - tail]) {
      ++tail;
    }
  }
  std::vector<PreviewLine> lines;
  const std::size_t rows =
      std::max(old_lines.size(), new_lines.size()) - head - tail;
  for (std::size_t i = head; i < head + rows; ++i) {
    const std::string_view was =
        i < old_lines.size() - tail ? old_lines[i] : "";
    const std::string_view now =
        i < new_lines.size() - tail ? new_lines[i] : "";
    if (was == now && old_lines.size() == new_lines.size()) continue;
    PreviewLine& line = lines.emplace_back();
    line.number = i + 1;
    line.before = std::string(was);
    line.after = std::string(now);
    std::size_t same = 0;
    while (same < was.size() && same < now.size() && was[same] == now[same]) {
      ++same;
    }
    // Back to the start of a character.
    while (same > 0 && same < was.size() &&
           (static_cast<unsigned char>(was[same]) & 0xC0) == 0x80) {
      --same;
    }
    std::size_t end = 0;
    while (end < was.size() - same && end < now.size() - same &&
           was[was.size() - 1 - end] == now[now.size() - 1 - end]) {
      ++end;
    }
    while (end > 0 &&
           (static_cast<unsigned char>(was[was.size() - end]) & 0xC0) == 0x80) {
      --end;
    }
    line.match_offset = line.inserted_offset = same;
    line.match_length = was.size() - same - end;
    line.inserted_length = now.size() - same - end;
  }
  return lines;
}

}  // namespace engine
