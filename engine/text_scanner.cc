#include "engine/text_scanner.h"

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

#include <algorithm>
#include <cstdint>
#include <cstring>

namespace engine {

namespace {

std::vector<unsigned char> Members(const ByteSet& set) {
  std::vector<unsigned char> members;
  for (int b = 0; b < 256; ++b) {
    if (set[b]) members.push_back(static_cast<unsigned char>(b));
  }
  return members;
}

// The unit at p as a plain 16-bit load reads it.
std::uint16_t Loaded(const unsigned char* p) {
  std::uint16_t unit;
  std::memcpy(&unit, p, 2);
  return unit;
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

// The same for up to four 16-bit units, compared eight at a time.
struct UnitSplats {
  explicit UnitSplats(const std::vector<char16_t>& few) {
    for (std::size_t k = 0; k < 4; ++k) {
      const char16_t unit = few[std::min(k, few.size() - 1)];
      lanes[k] = _mm_set1_epi16(static_cast<short>(unit));
    }
  }
  __m128i AnyAt(const unsigned char* p) const {
    const __m128i here = _mm_loadu_si128(reinterpret_cast<const __m128i*>(p));
    return _mm_or_si128(_mm_or_si128(_mm_cmpeq_epi16(here, lanes[0]),
                                     _mm_cmpeq_epi16(here, lanes[1])),
                        _mm_or_si128(_mm_cmpeq_epi16(here, lanes[2]),
                                     _mm_cmpeq_epi16(here, lanes[3])));
  }
  __m128i lanes[4];
};
#endif

}  // namespace

ByteScanner::ByteScanner() = default;

ByteScanner::ByteScanner(const ByteSet& first, const ByteSet* second)
    : everything_(false), first_(first), pairs_(second != nullptr) {
  few_first_ = Members(first_);
  if (pairs_) {
    second_ = *second;
    few_second_ = Members(second_);
  }
  high_first_ = !pairs_ && few_first_.size() == 128 && few_first_[0] == 0x80;
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
  if (high_first_) {
    for (; position + 16 <= size; position += 16) {
      const int hits = _mm_movemask_epi8(
          _mm_loadu_si128(reinterpret_cast<const __m128i*>(bytes + position)));
      if (hits != 0) return position + __builtin_ctz(hits);
    }
  } else if (!few_first_.empty()) {
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

UnitScanner::UnitScanner(const std::vector<char16_t>& first,
                         const std::vector<char16_t>* second, bool big_endian)
    : everything_(false), pairs_(second != nullptr) {
  auto as_loaded = [big_endian](char16_t unit) {
    const unsigned char bytes[2] = {
        static_cast<unsigned char>(big_endian ? unit >> 8 : unit & 0xFF),
        static_cast<unsigned char>(big_endian ? unit & 0xFF : unit >> 8)};
    return static_cast<char16_t>(Loaded(bytes));
  };
  for (char16_t unit : first) first_.push_back(as_loaded(unit));
  if (pairs_) {
    for (char16_t unit : *second) second_.push_back(as_loaded(unit));
  }
}

bool UnitScanner::Counts(const unsigned char* p,
                         const std::vector<char16_t>& set) const {
  const std::uint16_t unit = Loaded(p);
  return std::find(set.begin(), set.end(), unit) != set.end();
}

std::size_t UnitScanner::Next(std::string_view text, std::size_t from) const {
  const auto* bytes = reinterpret_cast<const unsigned char*>(text.data());
  // Units that end before the text does.
  const std::size_t size = text.size() & ~std::size_t{1};
  if (everything_) return from < size ? from : std::string_view::npos;
  std::size_t position = from;
#if defined(__SSE2__)
  if (first_.size() <= kFew && !pairs_) {
    const UnitSplats first(first_);
    for (; position + 16 <= size; position += 16) {
      const int mask = _mm_movemask_epi8(first.AnyAt(bytes + position));
      if (mask != 0) return position + __builtin_ctz(mask);
    }
  } else if (first_.size() <= kFew && second_.size() <= kFew) {
    const UnitSplats first(first_), second(second_);
    for (; position + 18 <= size; position += 16) {
      const int mask = _mm_movemask_epi8(_mm_and_si128(
          first.AnyAt(bytes + position), second.AnyAt(bytes + position + 2)));
      if (mask != 0) return position + __builtin_ctz(mask);
    }
  }
#endif
  for (; position + (pairs_ ? 4 : 2) <= size; position += 2) {
    if (Counts(bytes + position, first_) &&
        (!pairs_ || Counts(bytes + position + 2, second_))) {
      return position;
    }
  }
  return std::string_view::npos;
}

std::size_t UnitScanner::Last(std::string_view text, std::size_t from,
                              std::size_t to) const {
  const auto* bytes = reinterpret_cast<const unsigned char*>(text.data());
  std::size_t end = std::min(to, text.size() & ~std::size_t{1});
  if (everything_) return end > from ? end - 2 : std::string_view::npos;
#if defined(__SSE2__)
  if (first_.size() <= kFew) {
    const UnitSplats first(first_);
    for (; end >= from + 16; end -= 16) {
      const int mask = _mm_movemask_epi8(first.AnyAt(bytes + end - 16));
      if (mask != 0) return end - 16 + (31 - __builtin_clz(mask)) - 1;
    }
  }
#endif
  for (; end >= from + 2; end -= 2) {
    if (Counts(bytes + end - 2, first_)) return end - 2;
  }
  return std::string_view::npos;
}

}  // namespace engine
