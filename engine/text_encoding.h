// Text encodings of documents: which encoding a document is in, decided the
// way a browser decides for a file it opens (byte order mark, then a <meta>
// declaration near the top, then whether the bytes are UTF-8 at all), and
// the few conversions the planner needs.  Encodings are named by their
// WHATWG names.  glibc's iconv does the conversions; UTF-8 characters are
// worked out here instead, because the matcher reads millions of them.
// (Names and sniffing are in text_encoding.cc, conversions in
// text_convert.cc.)  Everything here may be called from several threads,
// an IconvConversion only from one at a time.

#ifndef VANTREL_ENGINE_TEXT_ENCODING_H_
#define VANTREL_ENGINE_TEXT_ENCODING_H_

#include <iconv.h>

#include <cstddef>
#include <functional>
#include <memory>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

namespace engine {

// Tells whether the encoding with this WHATWG (or iconv) name can be used.
using EncodingUsable = std::function<bool(std::string_view name)>;

// The WHATWG name of the encoding label stands for ("latin1" gives
// "windows-1252"), or an empty view for a label browsers don't know.
// ASCII letter case and surrounding white space are ignored.
std::string_view EncodingForLabel(std::string_view label);

// The glibc iconv name for the encoding with WHATWG name name; a name that
// is not a WHATWG one (a locale's charset) is returned as it is.
std::string IconvName(std::string_view name);

// The encoding a <meta> element declares within head, found the way a
// browser prescans the first bytes of a document, or empty when there is
// none.  Declarations of encodings that are unknown or not usable are
// passed over, and so is a tag that head ends inside.  A declared UTF-16
// means UTF-8, as it does for browsers.  With until_body, a <body> tag
// ends the prescan too.
std::string_view PrescanForEncoding(std::string_view head,
                                    const EncodingUsable& usable,
                                    bool until_body = false);

struct SniffedEncoding {
  std::string name;            // WHATWG name, or a locale's charset
  std::size_t bom_length = 0;  // bytes of byte order mark at the start
};

// The encoding of document: its byte order mark, else a declaration in its
// first 1,024 bytes or, failing that, before its <body> tag (where a
// browser's parser switches to it when it gets there), else UTF-8 when all of
// it is UTF-8, else the locale's charset (when neither UTF-8 nor ASCII), else
// windows-1252.
SniffedEncoding SniffEncoding(std::string_view document,
                              const EncodingUsable& usable);

// The charset of the current locale as SniffEncoding names it (a WHATWG
// name where it has one), or empty when it is UTF-8, UTF-16 or ASCII.
std::string LocaleEncoding();

// Every encoding SniffEncoding may name now: the WHATWG ones and
// LocaleEncoding(), usable or not.
std::vector<std::string> SniffableEncodings();

// One character read from UTF-8 bytes.  An invalid sequence reads as one
// byte with valid false, so that a byte that can begin a character always
// does begin one.
struct Utf8Character {
  char32_t code_point;
  std::size_t length;
  bool valid;
};

// Reads the character at p; p < end.
inline Utf8Character DecodeUtf8(const unsigned char* p,
                                const unsigned char* end) {
  const unsigned char lead = p[0];
  if (lead < 0x80) return {lead, 1, true};
  std::size_t length;
  char32_t code_point, minimum;
  if (lead >= 0xC2 && lead <= 0xDF) {
    length = 2, code_point = lead & 0x1F, minimum = 0x80;
  } else if (lead >= 0xE0 && lead <= 0xEF) {
    length = 3, code_point = lead & 0x0F, minimum = 0x800;
  } else if (lead >= 0xF0 && lead <= 0xF4) {
    length = 4, code_point = lead & 0x07, minimum = 0x10000;
  } else {
    return {lead, 1, false};
  }
  if (static_cast<std::size_t>(end - p) < length) return {lead, 1, false};
  for (std::size_t i = 1; i < length; ++i) {
    if ((p[i] & 0xC0) != 0x80) return {lead, 1, false};
    code_point = (code_point << 6) | (p[i] & 0x3F);
  }
  if (code_point < minimum || code_point > 0x10FFFF ||
      (code_point >= 0xD800 && code_point <= 0xDFFF)) {
    return {lead, 1, false};
  }
  return {code_point, length, true};
}

// The first byte of c written in UTF-8.
inline unsigned char Utf8Lead(char32_t c) {
  if (c < 0x80) return static_cast<unsigned char>(c);
  if (c < 0x800) return static_cast<unsigned char>(0xC0 | (c >> 6));
  if (c < 0x10000) return static_cast<unsigned char>(0xE0 | (c >> 12));
  return static_cast<unsigned char>(0xF0 | (c >> 18));
}

// c written in UTF-8; c must be a Unicode scalar value.
std::string EncodeUtf8(char32_t c);

// Whether every byte sequence of text is valid UTF-8.
bool IsValidUtf8(std::string_view text);

// The length of the ISO-2022-JP escape sequence at the start of text, or 0
// when text doesn't start with one.
std::size_t Iso2022EscapeLength(std::string_view text);

// An open iconv conversion, closed with the object.
class IconvConversion {
 public:
  // The conversion from one iconv encoding to another, or nullptr when
  // glibc has none.
  static std::unique_ptr<IconvConversion> Open(const std::string& to,
                                               const std::string& from);
  ~IconvConversion();
  IconvConversion(const IconvConversion&) = delete;
  IconvConversion& operator=(const IconvConversion&) = delete;

  iconv_t handle() const { return handle_; }
  // Back to the initial shift state.
  void Reset();
  // Converts as much of in as fits into room bytes at out; returns the
  // bytes read and written.  Nothing is read when the first character is
  // invalid, cut short or doesn't fit.
  std::pair<std::size_t, std::size_t> Convert(std::string_view in, char* out,
                                              std::size_t room);

 private:
  explicit IconvConversion(iconv_t handle) : handle_(handle) {}
  iconv_t handle_;
};

// Appends the UTF-8 text converted by conversion (from UTF-8) to *out,
// ending in the initial shift state.  Returns false, with *unencodable set
// to the byte offset in text of the first character the target can't
// hold, when there is one.
bool ConvertUtf8(IconvConversion& conversion, std::string_view text,
                 std::string* out, std::size_t* unencodable);

}  // namespace engine

#endif  // VANTREL_ENGINE_TEXT_ENCODING_H_
