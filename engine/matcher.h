// Matcher finds the first occurrence of a search text in a line, comparing
// characters the way the user's locale does with letter case ignored.  It is
// built once per run: the per-character tables it prepares make the scan of
// a whole site's worth of lines cheap.

#ifndef VANTREL_ENGINE_MATCHER_H_
#define VANTREL_ENGINE_MATCHER_H_

#include <array>
#include <cstddef>
#include <optional>
#include <string_view>
#include <vector>

#include "engine/locale_text.h"

namespace engine {

class Matcher {
 public:
  struct Match {
    std::size_t offset;  // bytes before the match
    std::size_t length;  // bytes of the match
  };

  // Prepares the search for text under the current LC_CTYPE.
  explicit Matcher(std::string_view text);

  // The first match in line, or std::nullopt.  An empty text never matches.
  std::optional<Match> Find(std::string_view line) const;

  // A position at or after from in text where a match may begin: no match
  // begins between from and it (std::string_view::npos: none at all).
  // Lets a caller skip whole lines without a look at each.
  std::size_t NextCandidate(std::string_view text, std::size_t from) const;

 private:
  enum class Scan { kSingleByte, kUtf8, kGeneric };
  using ByteSet = std::array<bool, 256>;

  std::optional<Match> MatchAt(std::string_view line, std::size_t start) const;
  std::optional<Match> FindWithTable(std::string_view line) const;
  std::optional<Match> FindWithMemchr(std::string_view line) const;
  std::optional<Match> FindWithPairs(std::string_view line) const;
  void PrepareScan();
  // Bytes that can begin a character matching characters_[index].
  ByteSet LeadBytes(std::size_t index) const;

  Scan scan_ = Scan::kGeneric;
  std::vector<Character> characters_;
  // single_byte_[i][b]: the one-byte character b matches character i.
  std::vector<ByteSet> single_byte_;
  // Bytes at which a match can begin (fast scans only), as a table and,
  // when they are few, as a list for memchr.
  ByteSet start_bytes_{};
  std::vector<unsigned char> few_start_bytes_;
  // When the first character is matched by at most three single bytes and
  // the second one begins with at most three bytes, sixteen positions at a
  // time are tested for both.
  bool use_pairs_ = false;
  std::array<unsigned char, 3> pair_first_{};
  std::array<unsigned char, 3> pair_second_{};
};

}  // namespace engine

#endif  // VANTREL_ENGINE_MATCHER_H_
