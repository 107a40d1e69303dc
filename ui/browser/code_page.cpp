#include "ui/browser/code_page.h"

#include <climits>
#include <cwchar>

namespace ui {

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

namespace {

constexpr char16_t kEscapeBase = 0xDC00;

// The length of the valid UTF-8 sequence at bytes[at], or 0.
int validSequence(const QByteArray& bytes, qsizetype at, char32_t* code) {
  const auto byte = [&](qsizetype i) {
    return static_cast<unsigned char>(bytes[i]);
  };
  const unsigned char lead = byte(at);
  int length = 0;
  char32_t value = 0;
  if (lead < 0x80) {
    *code = lead;
    return 1;
  } else if (lead >= 0xC2 && lead <= 0xDF) {
    length = 2, value = lead & 0x1F;
  } else if (lead >= 0xE0 && lead <= 0xEF) {
    length = 3, value = lead & 0x0F;
  } else if (lead >= 0xF0 && lead <= 0xF4) {
    length = 4, value = lead & 0x07;
  } else {
    return 0;
  }
  if (at + length > bytes.size()) return 0;
  for (int i = 1; i < length; ++i) {
    if ((byte(at + i) & 0xC0) != 0x80) return 0;
    value = (value << 6) | (byte(at + i) & 0x3F);
  }
  // Overlong forms, surrogates and values past Unicode are not valid.
  static constexpr char32_t kSmallest[] = {0, 0, 0x80, 0x800, 0x10000};
  if (value < kSmallest[length] || value > 0x10FFFF ||
      (value >= 0xD800 && value <= 0xDFFF))
    return 0;
  *code = value;
  return length;
}

}  // namespace

QString fromPathBytes(const QByteArray& bytes) {
  QString path;
  path.reserve(bytes.size());
  for (qsizetype at = 0; at < bytes.size();) {
    char32_t code = 0;
    const int length = validSequence(bytes, at, &code);
    if (length == 0) {
      path += QChar(static_cast<char16_t>(
          kEscapeBase + static_cast<unsigned char>(bytes[at])));
      ++at;
      continue;
    }
    path += QString::fromUcs4(&code, 1);
    at += length;
  }
  return path;
}

QByteArray toPathBytes(const QString& path) {
  QByteArray bytes;
  bytes.reserve(path.size());
  for (qsizetype at = 0; at < path.size(); ++at) {
    const QChar unit = path[at];
    if (unit.isHighSurrogate() && at + 1 < path.size() &&
        path[at + 1].isLowSurrogate()) {
      bytes += path.mid(at, 2).toUtf8();
      ++at;
    } else if (unit.unicode() >= kEscapeBase + 0x80 &&
               unit.unicode() <= kEscapeBase + 0xFF) {
      bytes += static_cast<char>(unit.unicode() - kEscapeBase);
    } else {
      bytes += QString(unit).toUtf8();
    }
  }
  return bytes;
}

}  // namespace ui
