#include "engine/text_encoding.h"

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

#include <cerrno>
#include <cstdint>
#include <cstring>

namespace engine {

std::string EncodeUtf8(char32_t c) {
  std::string out(1, static_cast<char>(Utf8Lead(c)));
  const int tail = c < 0x80 ? 0 : c < 0x800 ? 1 : c < 0x10000 ? 2 : 3;
  for (int i = tail - 1; i >= 0; --i) {
    out += static_cast<char>(0x80 | ((c >> (6 * i)) & 0x3F));
  }
  return out;
}

std::size_t Iso2022EscapeLength(std::string_view t) {
  if (t.size() < 3 || t[0] != '\x1B') return 0;
  if (t[1] == '(') return 3;
  if (t[1] == '$' && (t[2] == '@' || t[2] == 'B')) return 3;
  if (t[1] == '$' && t[2] == '(' && t.size() >= 4) return 4;
  return 0;
}

bool IsValidUtf8(std::string_view text) {
  const auto* p = reinterpret_cast<const unsigned char*>(text.data());
  const auto* end = p + text.size();
  while (p < end) {
    // Runs of ASCII go sixteen bytes at a time.
#if defined(__SSE2__)
    while (end - p >= 16) {
      const int high = _mm_movemask_epi8(
          _mm_loadu_si128(reinterpret_cast<const __m128i*>(p)));
      if (high != 0) {
        p += __builtin_ctz(static_cast<unsigned>(high));
        break;
      }
      p += 16;
    }
#endif
    while (end - p >= 8) {
      std::uint64_t word;
      std::memcpy(&word, p, 8);
      if (word & 0x8080808080808080ULL) break;
      p += 8;
    }
    if (p == end) break;
    Utf8Character c = DecodeUtf8(p, end);
    if (!c.valid) return false;
    p += c.length;
  }
  return true;
}

std::unique_ptr<IconvConversion> IconvConversion::Open(
    const std::string& to, const std::string& from) {
  iconv_t handle = ::iconv_open(to.c_str(), from.c_str());
  if (handle == reinterpret_cast<iconv_t>(-1)) return nullptr;
  return std::unique_ptr<IconvConversion>(new IconvConversion(handle));
}

IconvConversion::~IconvConversion() { ::iconv_close(handle_); }

void IconvConversion::Reset() {
  ::iconv(handle_, nullptr, nullptr, nullptr, nullptr);
}

std::pair<std::size_t, std::size_t> IconvConversion::Convert(
    std::string_view in, char* out, std::size_t room) {
  char* from = const_cast<char*>(in.data());
  std::size_t left = in.size();
  char* put = out;
  ::iconv(handle_, &from, &left, &put, &room);
  return {in.size() - left, static_cast<std::size_t>(put - out)};
}

bool ConvertUtf8(IconvConversion& conversion, std::string_view text,
                 std::string* out, std::size_t* unencodable) {
  conversion.Reset();
  char* in = const_cast<char*>(text.data());
  std::size_t in_left = text.size();
  char buffer[256];
  for (bool flushed = false; !flushed;) {
    char* put = buffer;
    std::size_t room = sizeof buffer;
    std::size_t result;
    if (in_left > 0) {
      result = ::iconv(conversion.handle(), &in, &in_left, &put, &room);
    } else {
      // The shift sequence back to the initial state, if any.
      result = ::iconv(conversion.handle(), nullptr, nullptr, &put, &room);
      flushed = result != static_cast<std::size_t>(-1);
    }
    out->append(buffer, static_cast<std::size_t>(put - buffer));
    if (result == static_cast<std::size_t>(-1) && errno != E2BIG) {
      *unencodable = static_cast<std::size_t>(in - text.data());
      return false;
    }
  }
  return true;
}

}  // namespace engine
