// The case-insensitive search for one text in the lines of documents of
// any encoding.  Characters are folded to comparison keys; a streaming
// search takes each character of a line once, so a long line with a long
// search text still costs only its length; and a byte scanner skips the
// bytes that can't begin a match, which is what keeps documents without
// matches cheap: most of their lines are never decoded.

#ifndef VANTREL_ENGINE_TEXT_MATCHER_H_
#define VANTREL_ENGINE_TEXT_MATCHER_H_

#include <locale.h>

#include <array>
#include <cstddef>
#include <cstdint>
#include <map>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "engine/text_encoding.h"

namespace engine {

// Key of a byte that is no character of its encoding.  No key of a real
// character equals it, so such a byte matches nothing of a search text.
inline constexpr std::uint32_t kRawKey = 0xFFFFFFFF;

// Folds characters so that two characters that differ only in letter case
// get the same key: key(c) = lower(upper(c)) under C.UTF-8, which makes É
// meet é, σ and ς meet Σ and the Kelvin sign meet k.
class CaseFolder {
 public:
  // Uses the C.UTF-8 locale, or the current one when that is missing.
  CaseFolder();
  ~CaseFolder();
  CaseFolder(const CaseFolder&) = delete;
  CaseFolder& operator=(const CaseFolder&) = delete;

  std::uint32_t Key(char32_t c) const {
    return c < kCached ? cached_[c] : Fold(c);
  }

  // Every character below U+20000 whose key is key (none above has case).
  std::vector<char32_t> CharactersWithKey(std::uint32_t key) const;

 private:
  static constexpr char32_t kCached = 0x800;
  std::uint32_t Fold(char32_t c) const;

  locale_t locale_;
  std::array<std::uint32_t, kCached> cached_;
};

// The search for one sequence of keys, fed one key at a time
// (Knuth-Morris-Pratt).  The state is the number of keys matched so far.
class KeySearch {
 public:
  // keys must not be empty.
  explicit KeySearch(std::vector<std::uint32_t> keys);

  std::size_t size() const { return keys_.size(); }
  std::uint32_t key(std::size_t index) const { return keys_[index]; }

  // Advances *state past key; returns true when the keys fed last are the
  // whole sequence.
  bool Step(std::uint32_t key, std::size_t* state) const {
    std::size_t matched = *state;
    while (matched > 0 && keys_[matched] != key) matched = failure_[matched];
    if (keys_[matched] == key) ++matched;
    if (matched == keys_.size()) {
      *state = failure_[matched];
      return true;
    }
    *state = matched;
    return false;
  }

 private:
  std::vector<std::uint32_t> keys_;
  // failure_[n]: the longest proper prefix of the first n keys that is
  // also their suffix.
  std::vector<std::size_t> failure_;
};

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
  bool pairs_ = false;
  ByteSet second_{};
  std::vector<unsigned char> few_second_;
};

// A match in a document's bytes.
struct TextMatch {
  std::size_t offset;
  std::size_t length;
};

// The search readied for documents in one encoding.
class EncodedSearch {
 public:
  // A position at or after from in text where a match may begin, or (when
  // !candidates_begin_matches()) a byte any line with a match holds; npos
  // when no match lies after from.
  std::size_t NextCandidate(std::string_view text, std::size_t from) const {
    return scanner_.Next(text, from);
  }
  bool candidates_begin_matches() const { return candidates_begin_; }
  // UTF-16 documents end their lines with two-byte code units.
  bool utf16() const { return form_ == Form::kUtf16Le || utf16_be(); }
  bool utf16_be() const { return form_ == Form::kUtf16Be; }
  // ISO-2022-JP: the bytes of a character depend on an escape before it.
  bool iso2022() const { return form_ == Form::kIso2022; }

 private:
  friend class TextMatcher;
  enum class Form {
    kUtf8,
    kUtf16Le,
    kUtf16Be,
    kSingleByte,
    kMultiByte,
    kIso2022
  };

  Form form_ = Form::kUtf8;
  bool ascii_characters_ = false;  // multibyte: bytes below 0x80 are ASCII
  std::array<std::uint32_t, 256> keys_{};     // single-byte: each byte's key
  std::unique_ptr<IconvConversion> decoder_;  // to UTF-32LE
  ByteScanner scanner_;
  bool candidates_begin_ = false;
};

// Finds one text, letter case ignored, in lines of documents.
class TextMatcher {
 public:
  // search_text is valid UTF-8, not empty and without line breaks.
  explicit TextMatcher(std::string_view search_text);
  ~TextMatcher();

  // The search readied for encoding (a WHATWG name or a locale's charset)
  // and kept for later documents; nullptr when glibc can't convert it.
  EncodedSearch* For(std::string_view encoding);

  // The first match in text that begins at or after from, where text ends
  // at the end of a line that begins at line_start.  For ISO-2022-JP,
  // escape is the escape sequence in effect at line_start.
  std::optional<TextMatch> Find(EncodedSearch& search, std::string_view text,
                                std::size_t line_start, std::size_t from,
                                std::string_view escape);

 private:
  void ReadyBytes(std::string_view encoding, EncodedSearch* search,
                  IconvConversion& encoder);
  std::optional<TextMatch> FindMultiByte(EncodedSearch& search,
                                         std::string_view text,
                                         std::size_t line_start,
                                         std::string_view escape);
  template <typename Decode>
  std::optional<TextMatch> Scan(std::string_view text, std::size_t from,
                                const ByteScanner* jump, Decode decode);

  CaseFolder folder_;
  std::vector<std::uint32_t> keys_;
  std::unique_ptr<KeySearch> search_;
  std::vector<char32_t> first_family_, second_family_;
  std::map<std::string, std::unique_ptr<EncodedSearch>, std::less<>> cache_;
  // Where each of the last keys_.size() characters began.
  std::vector<std::size_t> starts_;
};

}  // namespace engine

#endif  // VANTREL_ENGINE_TEXT_MATCHER_H_
