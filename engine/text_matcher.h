// The case-insensitive search for one text in the lines of documents of
// any encoding.  Characters are folded to comparison keys; a streaming
// search takes each character of a line once, so a long line with a long
// search text still costs only its length; and scanners skip the bytes
// that can't begin a match, which is what keeps documents without matches
// cheap: most of their lines are never decoded.
//
// A TextMatcher never changes once an encoding is readied (the first time
// it is asked for, once, whatever the threads): any number of threads may
// search with one at once, each with a LineFinder (text_finder.h) of its
// own for the document it is on.

#ifndef VANTREL_ENGINE_TEXT_MATCHER_H_
#define VANTREL_ENGINE_TEXT_MATCHER_H_

#include <locale.h>

#include <array>
#include <cstddef>
#include <cstdint>
#include <map>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "engine/text_decoder.h"
#include "engine/text_encoding.h"
#include "engine/text_scanner.h"

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
    return utf16() ? units_.Next(text, from) : scanner_.Next(text, from);
  }
  bool candidates_begin_matches() const { return candidates_begin_; }
  // UTF-16 documents end their lines with two-byte code units.
  bool utf16() const { return form_ == Form::kUtf16Le || utf16_be(); }
  bool utf16_be() const { return form_ == Form::kUtf16Be; }
  // ISO-2022-JP: the bytes of a character depend on an escape before it.
  bool iso2022() const { return form_ == Form::kIso2022; }

 private:
  friend class TextMatcher;
  friend class LineFinder;
  enum class Form {
    kUtf8,
    kUtf16Le,
    kUtf16Be,
    kSingleByte,
    kMultiByte,
    kIso2022
  };

  Form form_ = Form::kUtf8;
  std::string iconv_name_;
  MultiByteReader::Kind reading_ = MultiByteReader::Kind::kUnknown;
  std::array<std::uint32_t, 256> keys_{};  // single-byte: each byte's key
  ByteScanner scanner_;
  UnitScanner units_;  // UTF-16's
  bool candidates_begin_ = false;
};

// Finds one text, letter case ignored, in lines of documents.
class TextMatcher {
 public:
  // search_text is valid UTF-8, not empty and without line breaks;
  // encodings are the encodings (WHATWG names or a locale's charset) that
  // documents may be read in.
  TextMatcher(std::string_view search_text,
              const std::vector<std::string>& encodings);
  ~TextMatcher();

  // The search readied for encoding, or nullptr when glibc can't convert
  // it or it is not one of encodings.  May be called from several threads.
  const EncodedSearch* For(std::string_view encoding) const;

 private:
  friend class LineFinder;
  std::unique_ptr<EncodedSearch> Ready(std::string_view encoding) const;
  // Readies a single-byte encoding; false when it is a multibyte one.
  bool ReadyBytes(EncodedSearch* search, IconvConversion& decoder) const;
  void ReadyMultiByte(std::string_view encoding, EncodedSearch* search,
                      IconvConversion& encoder) const;

  CaseFolder folder_;
  std::vector<std::uint32_t> keys_;
  std::unique_ptr<KeySearch> search_;
  std::vector<char32_t> first_family_, second_family_;
  // One for each encoding, readied when first asked for: readying costs
  // milliseconds, and most runs meet one or two encodings.
  struct Slot {
    std::once_flag once;
    std::unique_ptr<EncodedSearch> search;
  };
  std::map<std::string, std::unique_ptr<Slot>, std::less<>> slots_;
};

}  // namespace engine

#endif  // VANTREL_ENGINE_TEXT_MATCHER_H_
