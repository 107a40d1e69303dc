// Reads the characters of a line in a multibyte encoding (Shift_JIS,
// EUC-JP, EUC-KR, gb18030, Big5, ISO-2022-JP, or a locale's charset)
// through glibc's iconv.  iconv costs little per character when it
// converts many in one call and a great deal when called for each, so
// characters are read in runs; where a character's own bytes matter (the
// ends of a match) they are found again by reading exactly so many
// characters, which puts iconv's idea of where characters end, and no
// other, in charge.
//
// What a reader yields is what reading one character at a time yields: a
// byte that begins no character is one undecodable unit, and so is a
// character that reads as two code points (a few of Big5's, which can't be
// compared with one).  A reader belongs to one thread.

#ifndef VANTREL_ENGINE_TEXT_DECODER_H_
#define VANTREL_ENGINE_TEXT_DECODER_H_

#include <cstddef>
#include <string_view>

#include "engine/text_encoding.h"

namespace engine {

// What a reader yields for bytes that are no single code point.
inline constexpr char32_t kUndecodable = 0xFFFFFFFF;

// Reads the lines of one document, one after another.
class MultiByteReader {
 public:
  // How the characters of an encoding read.
  enum class Kind {
    kSingle,   // each as one code point, in runs
    kPaired,   // in runs, a few as two code points (Big5)
    kIso2022,  // in runs between ISO-2022-JP's escape sequences
    kUnknown,  // a locale's charset: one call each, to be safe
  };

  // decoder converts from the document's encoding to WCHAR_T.
  MultiByteReader(IconvConversion& decoder, Kind kind)
      : decoder_(decoder),
        iso2022_(kind == Kind::kIso2022),
        each_(kind == Kind::kUnknown),
        paired_(kind == Kind::kPaired || kind == Kind::kUnknown) {}

  // Starts reading text at position, where a character begins, in the
  // shift state that escape (an ISO-2022-JP escape sequence, or empty)
  // sets.
  void Start(std::string_view text, std::size_t position,
             std::string_view escape);
  std::size_t position() const { return position_; }

  // Reads up to room characters into out; fewer only at the end of text.
  // Returns how many; position() is then where the next one begins
  // (escape sequences before it not passed yet).
  std::size_t Read(char32_t* out, std::size_t room);
  // Reads past count characters.
  void Skip(std::size_t count);
  // Reads past the escape sequences at position() when only the end of
  // text or bytes that begin no character follow them.
  void PassTrailingEscapes();
  // Reads past the characters that begin before target, which lies after
  // position(): afterwards position() is the first place >= target where a
  // character begins.  Only for encodings without shift states.
  void SkipTo(std::size_t target);

 private:
  // One iconv call from position_ on, with at most room code points out
  // and the text read up to limit; the code points it made.
  std::size_t Convert(char32_t* out, std::size_t room, std::size_t limit);
  // Reads characters one call each until room is full or position_
  // reaches limit.
  std::size_t ReadEach(char32_t* out, std::size_t room, std::size_t limit);
  // Passes what iconv stopped at: a byte that begins no character, or a
  // character too wide for the room it had; *out is kUndecodable.
  void PassStuck(char32_t* out);
  // Whether glibc held back the second code point of the last character
  // (Big5 does when there was room for one); forgets it.  Only where
  // paired_.
  bool HeldBack();

  IconvConversion& decoder_;
  const bool iso2022_;
  const bool each_;
  const bool paired_;  // characters may read as two code points
  std::string_view text_;
  std::size_t position_ = 0;
  int error_ = 0;  // errno of the last Convert, or 0
};

}  // namespace engine

#endif  // VANTREL_ENGINE_TEXT_DECODER_H_
