// Scanners that skip, sixteen bytes at a time where they can, to the next
// place in a document that a search must look at: a byte of a small set
// (optionally followed by a byte of a second set), or a UTF-16 code unit of
// a small set.  They are what keeps documents cheap where the search text is
// not: most of their bytes are passed over without being decoded.
//
// Scanners are not changed by scanning; one may be used by several threads
// at once.

#ifndef VANTREL_ENGINE_TEXT_SCANNER_H_
#define VANTREL_ENGINE_TEXT_SCANNER_H_

#include <array>
#include <cstddef>
#include <string_view>
#include <vector>

namespace engine {

using ByteSet = std::array<bool, 256>;

// Finds the next place in a text where one of a set of bytes lies, and,
// when pairs are asked for, is followed by one of a second set.
class ByteScanner {
 public:
  // A scanner that finds every position.
  ByteScanner();
  // With second, a position counts only when a byte of *second follows.
  ByteScanner(const ByteSet& first, const ByteSet* second);

  // The first position >= from in text that counts, or npos.
  std::size_t Next(std::string_view text, std::size_t from) const;

 private:
  std::size_t NextPair(std::string_view text, std::size_t from) const;

  bool everything_ = true;
  ByteSet first_{};
  std::vector<unsigned char> few_first_;  // first_ as a list, when short
  bool high_first_ = false;               // first_ is the bytes >= 0x80
  bool pairs_ = false;
  ByteSet second_{};
  std::vector<unsigned char> few_second_;
};

// Finds the next (or last) UTF-16 code unit of a set in text whose units
// begin at even offsets; with pairs, a unit counts only when the unit after
// it is one of a second set.
class UnitScanner {
 public:
  // A scanner that finds every unit.
  UnitScanner() = default;
  UnitScanner(const std::vector<char16_t>& first,
              const std::vector<char16_t>* second, bool big_endian);

  // The first even offset >= from (from even) of a unit that counts, or
  // npos.  A last odd byte is no unit.
  std::size_t Next(std::string_view text, std::size_t from) const;
  // The last even offset in [from, to) of a unit that counts, or npos;
  // from and to even.  Pairs are not looked for.
  std::size_t Last(std::string_view text, std::size_t from,
                   std::size_t to) const;

 private:
  // Sets up to this size are compared sixteen bytes at a time.
  static constexpr std::size_t kFew = 4;
  bool Counts(const unsigned char* p, const std::vector<char16_t>& set) const;

  bool everything_ = true;
  bool pairs_ = false;
  // Each unit as a plain 16-bit load from the text reads it on this
  // machine, which saves swapping the bytes of every unit of the text.
  std::vector<char16_t> first_, second_;
};

}  // namespace engine

#endif  // VANTREL_ENGINE_TEXT_SCANNER_H_
