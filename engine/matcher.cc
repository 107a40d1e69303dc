#include "engine/matcher.h"

#include <langinfo.h>

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

#include <algorithm>
#include <climits>
#include <cstdlib>
#include <cstring>
#include <cwchar>

namespace engine {

namespace {

bool IsUtf8Locale() {
  const char* codeset = ::nl_langinfo(CODESET);
  return codeset != nullptr && (std::strcmp(codeset, "UTF-8") == 0 ||
                                std::strcmp(codeset, "utf8") == 0);
}

bool IsUtf8Continuation(unsigned char byte) { return (byte & 0xC0) == 0x80; }

// The character that the single byte b is on its own, in this code page.
Character OneByteCharacter(unsigned char b) {
  const char text[1] = {static_cast<char>(b)};
  return DecodeCharacter(std::string_view(text, 1));
}

}  // namespace

Matcher::Matcher(std::string_view text) {
  while (!text.empty()) {
    characters_.push_back(DecodeCharacter(text));
    text.remove_prefix(characters_.back().length);
  }
  if (characters_.empty()) return;

  if (MB_CUR_MAX == 1) {
    scan_ = Scan::kSingleByte;
  } else if (IsUtf8Locale()) {
    scan_ = Scan::kUtf8;
  }
  // In a multibyte code page only ASCII bytes are characters on their own.
  const int one_byte_limit = scan_ == Scan::kSingleByte ? 256 : 128;
  single_byte_.resize(characters_.size());
  for (int b = 0; b < one_byte_limit; ++b) {
    Character one = OneByteCharacter(static_cast<unsigned char>(b));
    for (std::size_t i = 0; i < characters_.size(); ++i) {
      single_byte_[i][b] = SameIgnoringCase(one, characters_[i]);
    }
  }
  PrepareScan();
}

Matcher::ByteSet Matcher::LeadBytes(std::size_t index) const {
  const Character& wanted = characters_[index];
  ByteSet lead = single_byte_[index];
  if (scan_ != Scan::kUtf8) return lead;
  if (wanted.raw) {
    lead[wanted.byte] = true;
    return lead;
  }
  // In UTF-8 a lead byte is never inside another character, so a byte scan
  // finds every candidate.  Which characters fold onto the wanted one (the
  // Kelvin sign onto k, for instance) only a look at each can tell; letters
  // with case all lie below kLastCasedCharacter.
  constexpr std::wint_t kLastCasedCharacter = 0x1FFFF;
  auto add_lead_byte = [&lead](std::wint_t wide) {
    char encoded[MB_LEN_MAX];
    std::mbstate_t state{};
    std::size_t length =
        std::wcrtomb(encoded, static_cast<wchar_t>(wide), &state);
    if (length != static_cast<std::size_t>(-1) && length > 0) {
      lead[static_cast<unsigned char>(encoded[0])] = true;
    }
  };
  add_lead_byte(static_cast<std::wint_t>(wanted.wide));
  for (std::wint_t wide = 0x80; wide <= kLastCasedCharacter; ++wide) {
    if (wide >= 0xD800 && wide <= 0xDFFF) continue;
    Character candidate;
    candidate.wide = static_cast<wchar_t>(wide);
    if (SameIgnoringCase(candidate, wanted)) add_lead_byte(wide);
  }
  return lead;
}

void Matcher::PrepareScan() {
  const Character& first = characters_.front();
  // A stray continuation byte can't be told from the inside of a valid
  // character without decoding from the line's start.
  if (scan_ == Scan::kUtf8 && first.raw && IsUtf8Continuation(first.byte)) {
    scan_ = Scan::kGeneric;
  }
  if (scan_ == Scan::kGeneric) return;
  start_bytes_ = LeadBytes(0);
  for (int b = 0; b < 256; ++b) {
    if (start_bytes_[b]) {
      few_start_bytes_.push_back(static_cast<unsigned char>(b));
    }
  }
  // memchr outruns a table walk only while it has few bytes to look for.
  if (few_start_bytes_.size() > 3) few_start_bytes_.clear();

#if defined(__SSE2__)
  const bool first_is_one_byte =
      scan_ == Scan::kSingleByte ||
      std::all_of(few_start_bytes_.begin(), few_start_bytes_.end(),
                  [](unsigned char b) { return b < 0x80; });
  if (characters_.size() < 2 || few_start_bytes_.empty() ||
      !first_is_one_byte) {
    return;
  }
  const ByteSet second = LeadBytes(1);
  std::vector<unsigned char> second_bytes;
  for (int b = 0; b < 256; ++b) {
    if (second[b]) second_bytes.push_back(static_cast<unsigned char>(b));
  }
  if (second_bytes.empty() || second_bytes.size() > 3) return;
  for (std::size_t k = 0; k < 3; ++k) {
    // Repeating a byte to fill the three slots changes nothing.
    pair_first_[k] = few_start_bytes_[std::min(k, few_start_bytes_.size() - 1)];
    pair_second_[k] = second_bytes[std::min(k, second_bytes.size() - 1)];
  }
  use_pairs_ = true;
#endif
}

std::optional<Matcher::Match> Matcher::MatchAt(std::string_view line,
                                               std::size_t start) const {
  std::size_t position = start;
  const bool all_single = scan_ == Scan::kSingleByte;
  for (std::size_t i = 0; i < characters_.size(); ++i) {
    if (position >= line.size()) return std::nullopt;
    const auto byte = static_cast<unsigned char>(line[position]);
    if (all_single || byte < 0x80) {
      if (!single_byte_[i][byte]) return std::nullopt;
      ++position;
      continue;
    }
    Character here = DecodeCharacter(line.substr(position));
    if (!SameIgnoringCase(here, characters_[i])) return std::nullopt;
    position += here.length;
  }
  return Match{start, position - start};
}

std::optional<Matcher::Match> Matcher::FindWithTable(
    std::string_view line) const {
  const auto* bytes = reinterpret_cast<const unsigned char*>(line.data());
  const std::size_t size = line.size();
  for (std::size_t position = 0; position < size; ++position) {
    if (!start_bytes_[bytes[position]]) continue;
    if (auto match = MatchAt(line, position)) return match;
  }
  return std::nullopt;
}

std::optional<Matcher::Match> Matcher::FindWithMemchr(
    std::string_view line) const {
  // The next occurrence of each start byte, found by memchr and kept until
  // the scan passes it.
  constexpr std::size_t kNone = static_cast<std::size_t>(-1);
  std::array<std::size_t, 3> next{kNone, kNone, kNone};
  const std::size_t count = few_start_bytes_.size();
  auto find_from = [&line](unsigned char byte, std::size_t from) {
    if (from >= line.size()) return kNone;
    const void* found =
        std::memchr(line.data() + from, byte, line.size() - from);
    return found == nullptr
               ? kNone
               : static_cast<std::size_t>(static_cast<const char*>(found) -
                                          line.data());
  };
  for (std::size_t k = 0; k < count; ++k) {
    next[k] = find_from(few_start_bytes_[k], 0);
  }
  for (;;) {
    std::size_t nearest = 0;
    for (std::size_t k = 1; k < count; ++k) {
      if (next[k] < next[nearest]) nearest = k;
    }
    const std::size_t position = next[nearest];
    if (position == kNone) return std::nullopt;
    if (auto match = MatchAt(line, position)) return match;
    next[nearest] = find_from(few_start_bytes_[nearest], position + 1);
  }
}

std::size_t Matcher::NextCandidate(std::string_view text,
                                   std::size_t from) const {
  if (!use_pairs_) return from;
  const auto* bytes = reinterpret_cast<const unsigned char*>(text.data());
  const std::size_t size = text.size();
  std::size_t position = from;
#if defined(__SSE2__)
  auto splat = [](unsigned char b) {
    return _mm_set1_epi8(static_cast<char>(b));
  };
  const __m128i f0 = splat(pair_first_[0]), f1 = splat(pair_first_[1]),
                f2 = splat(pair_first_[2]);
  const __m128i s0 = splat(pair_second_[0]), s1 = splat(pair_second_[1]),
                s2 = splat(pair_second_[2]);
  for (; position + 17 <= size; position += 16) {
    const __m128i here =
        _mm_loadu_si128(reinterpret_cast<const __m128i*>(bytes + position));
    const __m128i after =
        _mm_loadu_si128(reinterpret_cast<const __m128i*>(bytes + position + 1));
    const __m128i first_matches = _mm_or_si128(
        _mm_or_si128(_mm_cmpeq_epi8(here, f0), _mm_cmpeq_epi8(here, f1)),
        _mm_cmpeq_epi8(here, f2));
    const __m128i second_matches = _mm_or_si128(
        _mm_or_si128(_mm_cmpeq_epi8(after, s0), _mm_cmpeq_epi8(after, s1)),
        _mm_cmpeq_epi8(after, s2));
    const int candidates =
        _mm_movemask_epi8(_mm_and_si128(first_matches, second_matches));
    if (candidates != 0) return position + __builtin_ctz(candidates);
  }
#endif
  // A match of two or more characters can't begin at the last byte.
  for (; position + 1 < size; ++position) {
    const unsigned char second = bytes[position + 1];
    if (start_bytes_[bytes[position]] &&
        (second == pair_second_[0] || second == pair_second_[1] ||
         second == pair_second_[2])) {
      return position;
    }
  }
  return std::string_view::npos;
}

std::optional<Matcher::Match> Matcher::FindWithPairs(
    std::string_view line) const {
  for (std::size_t position = NextCandidate(line, 0);
       position != std::string_view::npos;
       position = NextCandidate(line, position + 1)) {
    if (auto match = MatchAt(line, position)) return match;
  }
  return std::nullopt;
}

std::optional<Matcher::Match> Matcher::Find(std::string_view line) const {
  if (characters_.empty()) return std::nullopt;
  if (scan_ == Scan::kGeneric) {
    for (std::size_t position = 0; position < line.size();) {
      if (auto match = MatchAt(line, position)) return match;
      position += DecodeCharacter(line.substr(position)).length;
    }
    return std::nullopt;
  }
  if (use_pairs_) return FindWithPairs(line);
  if (!few_start_bytes_.empty()) return FindWithMemchr(line);
  return FindWithTable(line);
}

}  // namespace engine
