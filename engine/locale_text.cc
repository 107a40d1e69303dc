#include "engine/locale_text.h"

#include <cstdint>
#include <cwchar>
#include <cwctype>
#include <vector>

namespace engine {

namespace {

// One character of a text: either a valid character of the code page or a
// single byte that is not part of one.
struct Character {
  wchar_t wide = 0;        // valid only when !raw
  bool raw = false;        // an invalid byte, which equals only itself
  unsigned char byte = 0;  // the raw byte
  std::size_t length = 1;  // bytes taken from the text
};

// Decodes the character that starts at text[0]; text must not be empty.
Character DecodeCharacter(std::string_view text) {
  Character c;
  c.byte = static_cast<unsigned char>(text[0]);
  if (c.byte < 0x80) {  // ASCII stands for itself in every code page
    c.wide = static_cast<wchar_t>(c.byte);
    c.length = 1;
    return c;
  }
  std::mbstate_t state{};
  wchar_t wide = 0;
  std::size_t length = std::mbrtowc(&wide, text.data(), text.size(), &state);
  if (length == static_cast<std::size_t>(-1) ||
      length == static_cast<std::size_t>(-2)) {
    c.raw = true;
    c.length = 1;
    return c;
  }
  c.wide = wide;
  c.length = length == 0 ? 1 : length;  // the NUL character is one byte
  return c;
}

}  // namespace

bool SameTextIgnoringCase(std::string_view a, std::string_view b) {
  return CaseFoldKey(a) == CaseFoldKey(b);
}

std::string CaseFoldKey(std::string_view text) {
  std::string key;
  key.reserve(text.size() * 4);
  while (!text.empty()) {
    const Character c = DecodeCharacter(text);
    text.remove_prefix(c.length);
    // Four bytes a character; an invalid byte gets a value no character
    // has, so it equals only itself.
    std::uint32_t value =
        c.raw ? 0x110000u + c.byte
              : static_cast<std::uint32_t>(std::towlower(
                    std::towupper(static_cast<std::wint_t>(c.wide))));
    for (int shift = 24; shift >= 0; shift -= 8) {
      key += static_cast<char>((value >> shift) & 0xFF);
    }
  }
  return key;
}

std::optional<std::size_t> BytesBeforeLastCharacters(std::string_view text,
                                                     std::size_t count) {
  // Character boundaries are only known from the start of the text, since
  // a stateful or invalid sequence can't be decoded backwards.
  std::vector<std::size_t> starts;
  starts.reserve(text.size());
  std::size_t position = 0;
  while (position < text.size()) {
    starts.push_back(position);
    position += DecodeCharacter(text.substr(position)).length;
  }
  if (starts.size() < count) return std::nullopt;
  if (count == 0) return text.size();
  return starts[starts.size() - count];
}

}  // namespace engine
