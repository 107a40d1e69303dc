#include "ui/browser/code_page.h"

#include <climits>
#include <cwchar>

namespace ui {

std::string toCodePage(const QString& text) {
  std::string bytes;
  std::mbstate_t state{};
  char buffer[MB_LEN_MAX];
  for (char32_t character : text.toStdU32String()) {
    const std::size_t length =
        std::wcrtomb(buffer, static_cast<wchar_t>(character), &state);
    if (length == static_cast<std::size_t>(-1)) {
      bytes += '?';
      state = std::mbstate_t{};
    } else {
      bytes.append(buffer, length);
    }
  }
  return bytes;
}

QString fromCodePage(const std::string& bytes) {
  std::u32string characters;
  std::mbstate_t state{};
  const char* next = bytes.data();
  const char* end = next + bytes.size();
  while (next < end) {
    wchar_t wide = 0;
    const std::size_t length = std::mbrtowc(&wide, next, end - next, &state);
    if (length == static_cast<std::size_t>(-1) ||
        length == static_cast<std::size_t>(-2)) {
      characters += U'\uFFFD';
      state = std::mbstate_t{};
      ++next;
    } else {
      characters += static_cast<char32_t>(wide);
      next += length == 0 ? 1 : length;
    }
  }
  return QString::fromStdU32String(characters);
}

}  // namespace ui
