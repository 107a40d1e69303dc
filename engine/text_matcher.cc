#include "engine/text_matcher.h"

#include <wctype.h>

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <utility>

namespace engine {

namespace {

// Key of an ISO-2022-JP escape sequence: it changes how the bytes after it
// read but is no character itself.
constexpr std::uint32_t kNoCharacter = 0xFFFFFFFE;

std::vector<unsigned char> Members(const ByteSet& set) {
  std::vector<unsigned char> members;
  for (int b = 0; b < 256; ++b) {
    if (set[b]) members.push_back(static_cast<unsigned char>(b));
  }
  return members;
}

#if defined(__SSE2__)
// Up to three bytes, each repeated sixteen times (the last one fills the
// slots of missing ones), to be compared with sixteen bytes at once.
struct Splats {
  explicit Splats(const std::vector<unsigned char>& few) {
    for (std::size_t k = 0; k < 3; ++k) {
      const unsigned char b = few[std::min(k, few.size() - 1)];
      lanes[k] = _mm_set1_epi8(static_cast<char>(b));
    }
  }
  __m128i AnyAt(const unsigned char* p) const {
    const __m128i here = _mm_loadu_si128(reinterpret_cast<const __m128i*>(p));
    return _mm_or_si128(_mm_or_si128(_mm_cmpeq_epi8(here, lanes[0]),
                                     _mm_cmpeq_epi8(here, lanes[1])),
                        _mm_cmpeq_epi8(here, lanes[2]));
  }
  __m128i lanes[3];
};
#endif

}  // namespace

CaseFolder::CaseFolder() {
  locale_ = ::newlocale(LC_CTYPE_MASK, "C.UTF-8", nullptr);
  if (locale_ == nullptr) locale_ = ::duplocale(LC_GLOBAL_LOCALE);
  for (char32_t c = 0; c < kCached; ++c) cached_[c] = Fold(c);
}

CaseFolder::~CaseFolder() {
  if (locale_ != nullptr) ::freelocale(locale_);
}

std::uint32_t CaseFolder::Fold(char32_t c) const {
  if (locale_ == nullptr) return c;
  const wint_t upper = ::towupper_l(static_cast<wint_t>(c), locale_);
  return static_cast<std::uint32_t>(::towlower_l(upper, locale_));
}

std::vector<char32_t> CaseFolder::CharactersWithKey(std::uint32_t key) const {
  std::vector<char32_t> found;
  for (char32_t c = 0; c < 0x20000; ++c) {
    if (c >= 0xD800 && c <= 0xDFFF) continue;
    if (Key(c) == key) found.push_back(c);
  }
  if (key >= 0x20000 && key <= 0x10FFFF) found.push_back(key);
  return found;
}

KeySearch::KeySearch(std::vector<std::uint32_t> keys)
    : keys_(std::move(keys)), failure_(keys_.size() + 1, 0) {
  std::size_t border = 0;
  for (std::size_t i = 1; i < keys_.size(); ++i) {
    while (border > 0 && keys_[i] != keys_[border]) border = failure_[border];
    if (keys_[i] == keys_[border]) ++border;
    failure_[i + 1] = border;
  }
}

ByteScanner::ByteScanner() = default;

ByteScanner::ByteScanner(const ByteSet& first, const ByteSet* second)
    : everything_(false), first_(first), pairs_(second != nullptr) {
  few_first_ = Members(first_);
  if (pairs_) {
    second_ = *second;
    few_second_ = Members(second_);
  }
  // A list is only worth it while it is short enough for memchr or SSE2.
  if (few_first_.size() > 3) few_first_.clear();
  if (few_second_.size() > 3) few_second_.clear();
}

std::size_t ByteScanner::Next(std::string_view text, std::size_t from) const {
  if (everything_) return from < text.size() ? from : std::string_view::npos;
  if (pairs_) return NextPair(text, from);
  const auto* bytes = reinterpret_cast<const unsigned char*>(text.data());
  const std::size_t size = text.size();
  std::size_t position = from;
  if (few_first_.size() == 1) {
    if (position >= size) return std::string_view::npos;
    const void* found =
        std::memchr(bytes + position, few_first_[0], size - position);
    return found == nullptr
               ? std::string_view::npos
               : static_cast<std::size_t>(
                     static_cast<const unsigned char*>(found) - bytes);
  }
#if defined(__SSE2__)
  if (!few_first_.empty()) {
    const Splats first(few_first_);
    for (; position + 16 <= size; position += 16) {
      const int hits = _mm_movemask_epi8(first.AnyAt(bytes + position));
      if (hits != 0) return position + __builtin_ctz(hits);
    }
  }
#endif
  for (; position < size; ++position) {
    if (first_[bytes[position]]) return position;
  }
  return std::string_view::npos;
}

std::size_t ByteScanner::NextPair(std::string_view text,
                                  std::size_t from) const {
  const auto* bytes = reinterpret_cast<const unsigned char*>(text.data());
  const std::size_t size = text.size();
  std::size_t position = from;
#if defined(__SSE2__)
  if (!few_first_.empty() && !few_second_.empty()) {
    const Splats first(few_first_), second(few_second_);
    for (; position + 17 <= size; position += 16) {
      const int hits = _mm_movemask_epi8(_mm_and_si128(
          first.AnyAt(bytes + position), second.AnyAt(bytes + position + 1)));
      if (hits != 0) return position + __builtin_ctz(hits);
    }
  }
#endif
  for (; position + 1 < size; ++position) {
    if (first_[bytes[position]] && second_[bytes[position + 1]]) {
      return position;
    }
  }
  return std::string_view::npos;
}

TextMatcher::TextMatcher(std::string_view search_text) {
  const auto* p = reinterpret_cast<const unsigned char*>(search_text.data());
  const auto* end = p + search_text.size();
  for (Utf8Character c; p < end; p += c.length) {
    c = DecodeUtf8(p, end);
    keys_.push_back(folder_.Key(c.code_point));
  }
  search_ = std::make_unique<KeySearch>(keys_);
  starts_.resize(keys_.size());
  first_family_ = folder_.CharactersWithKey(keys_[0]);
  if (keys_.size() > 1) second_family_ = folder_.CharactersWithKey(keys_[1]);
}

TextMatcher::~TextMatcher() = default;

EncodedSearch* TextMatcher::For(std::string_view encoding) {
  auto found = cache_.find(encoding);
  if (found != cache_.end()) return found->second.get();
  auto search = std::make_unique<EncodedSearch>();
  if (encoding == "UTF-8") {
    ByteSet first{}, second{};
    for (char32_t c : first_family_) first[Utf8Lead(c)] = true;
    for (char32_t c : second_family_) second[Utf8Lead(c)] = true;
    // Pairs of bytes stand for pairs of characters only while the first
    // character is one byte long.
    bool pairs = !second_family_.empty();
    for (int b = 0x80; b < 256; ++b) pairs &= !first[b];
    search->scanner_ = ByteScanner(first, pairs ? &second : nullptr);
    search->candidates_begin_ = true;
  } else {
    const std::string name = IconvName(encoding);
    auto encoder = IconvConversion::Open(name, "UTF-8");
    search->decoder_ = IconvConversion::Open("UTF-32LE", name);
    if (encoder == nullptr || search->decoder_ == nullptr) {
      search = nullptr;
    } else {
      ReadyBytes(encoding, search.get(), *encoder);
    }
  }
  EncodedSearch* result = search.get();
  cache_.emplace(std::string(encoding), std::move(search));
  return result;
}

void TextMatcher::ReadyBytes(std::string_view encoding, EncodedSearch* search,
                             IconvConversion& encoder) {
  using Form = EncodedSearch::Form;
  if (encoding == "UTF-16LE" || encoding == "UTF-16BE") {
    search->form_ = encoding == "UTF-16LE" ? Form::kUtf16Le : Form::kUtf16Be;
    return;  // every line is read
  }
  // An encoding is read a byte at a time when no byte is the first part of
  // a longer character.
  search->form_ = Form::kSingleByte;
  for (int b = 0; b < 256 && search->form_ == Form::kSingleByte; ++b) {
    const char byte = static_cast<char>(b);
    unsigned char out[4];
    search->decoder_->Reset();
    const auto [read, made] = search->decoder_->Convert(
        std::string_view(&byte, 1), reinterpret_cast<char*>(out), 4);
    if (read == 0 && errno == EINVAL) {
      search->form_ = Form::kMultiByte;
    } else {
      search->keys_[b] =
          made == 4
              ? folder_.Key(out[0] | out[1] << 8 | out[2] << 16 | out[3] << 24)
              : kRawKey;
    }
  }
  ByteSet first{}, second{};
  if (search->form_ == Form::kSingleByte) {
    for (int b = 0; b < 256; ++b) {
      first[b] = search->keys_[b] == keys_[0];
      second[b] = keys_.size() > 1 && search->keys_[b] == keys_[1];
    }
    search->scanner_ = ByteScanner(first, keys_.size() > 1 ? &second : nullptr);
    search->candidates_begin_ = true;
    return;
  }
  if (encoding == "ISO-2022-JP") search->form_ = Form::kIso2022;
  // Bytes below 0x80 are ASCII in every multibyte encoding browsers know
  // except ISO-2022-JP; of a locale's other charset nothing is assumed.
  search->ascii_characters_ = search->form_ == Form::kMultiByte &&
                              EncodingForLabel(encoding) == encoding;
  // A line can hold a match only if it holds every byte of some way to
  // write the first character.
  for (char32_t c : first_family_) {
    std::string bytes;
    std::size_t unencodable;
    if (!ConvertUtf8(encoder, EncodeUtf8(c), &bytes, &unencodable)) continue;
    for (unsigned char b : bytes) first[b] = true;
  }
  search->scanner_ = ByteScanner(first, nullptr);
}

template <typename Decode>
std::optional<TextMatch> TextMatcher::Scan(std::string_view text,
                                           std::size_t from,
                                           const ByteScanner* jump,
                                           Decode decode) {
  const std::size_t count = keys_.size();
  std::size_t state = 0, fed = 0;
  for (std::size_t position = from; position < text.size();) {
    // With nothing matched so far, a match can only begin at a candidate.
    if (state == 0 && jump != nullptr) {
      position = jump->Next(text, position);
      if (position == std::string_view::npos) break;
    }
    std::uint32_t key;
    const std::size_t length = decode(position, &key);
    if (key != kNoCharacter) {
      starts_[fed++ % count] = position;
      if (search_->Step(key, &state)) {
        const std::size_t start = starts_[(fed - count) % count];
        return TextMatch{start, position + length - start};
      }
    }
    position += length;
  }
  return std::nullopt;
}

std::optional<TextMatch> TextMatcher::Find(EncodedSearch& search,
                                           std::string_view text,
                                           std::size_t line_start,
                                           std::size_t from,
                                           std::string_view escape) {
  using Form = EncodedSearch::Form;
  const auto* p = reinterpret_cast<const unsigned char*>(text.data());
  const auto* end = p + text.size();
  const ByteScanner* jump =
      search.candidates_begin_ ? &search.scanner_ : nullptr;
  switch (search.form_) {
    case Form::kUtf8:
      return Scan(text, from, jump, [&](std::size_t i, std::uint32_t* key) {
        const Utf8Character c = DecodeUtf8(p + i, end);
        *key = c.valid ? folder_.Key(c.code_point) : kRawKey;
        return c.length;
      });
    case Form::kSingleByte:
      return Scan(text, from, jump, [&](std::size_t i, std::uint32_t* key) {
        *key = search.keys_[p[i]];
        return std::size_t{1};
      });
    case Form::kUtf16Le:
    case Form::kUtf16Be: {
      const bool big = search.form_ == Form::kUtf16Be;
      auto unit = [&](std::size_t i) -> char32_t {
        return big ? (p[i] << 8 | p[i + 1]) : (p[i + 1] << 8 | p[i]);
      };
      return Scan(text, line_start, nullptr,
                  [&](std::size_t i, std::uint32_t* key) {
                    *key = kRawKey;
                    if (i + 2 > text.size()) return text.size() - i;
                    const char32_t u = unit(i);
                    if (u >= 0xD800 && u <= 0xDBFF && i + 4 <= text.size()) {
                      const char32_t low = unit(i + 2);
                      if (low >= 0xDC00 && low <= 0xDFFF) {
                        *key = folder_.Key(0x10000 + ((u - 0xD800) << 10) +
                                           (low - 0xDC00));
                        return std::size_t{4};
                      }
                    }
                    if (u < 0xD800 || u > 0xDFFF) *key = folder_.Key(u);
                    return std::size_t{2};
                  });
    }
    case Form::kMultiByte:
    case Form::kIso2022:
      break;
  }
  return FindMultiByte(search, text, line_start, escape);
}

std::optional<TextMatch> TextMatcher::FindMultiByte(EncodedSearch& search,
                                                    std::string_view text,
                                                    std::size_t line_start,
                                                    std::string_view escape) {
  // Characters of these encodings can't be told from the middle of a line,
  // so the line is read from its start, one iconv call a character (only
  // lines with a candidate byte come here, which keeps that cheap).
  IconvConversion& decoder = *search.decoder_;
  decoder.Reset();
  char out[8];
  if (!escape.empty()) decoder.Convert(escape, out, sizeof out);
  const auto* p = reinterpret_cast<const unsigned char*>(text.data());
  const bool iso = search.form_ == EncodedSearch::Form::kIso2022;
  return Scan(
      text, line_start, nullptr, [&](std::size_t i, std::uint32_t* key) {
        if (search.ascii_characters_ && p[i] < 0x80) {
          *key = folder_.Key(p[i]);
          return std::size_t{1};
        }
        const std::string_view rest = text.substr(i);
        if (iso && p[i] == 0x1B) {
          if (const std::size_t length = Iso2022EscapeLength(rest)) {
            decoder.Convert(rest.substr(0, length), out, sizeof out);
            *key = kNoCharacter;
            return length;
          }
        }
        *key = kRawKey;
        auto [read, made] = decoder.Convert(rest, out, 4);
        // A character that reads as two code points (a few of Big5's) can't be
        // compared with one; it is passed over whole.
        if (read == 0) read = decoder.Convert(rest, out, 8).first;
        if (read == 0) return std::size_t{1};
        const auto* u = reinterpret_cast<unsigned char*>(out);
        if (made == 4)
          *key = folder_.Key(u[0] | u[1] << 8 | u[2] << 16 | u[3] << 24);
        return read;
      });
}

}  // namespace engine
