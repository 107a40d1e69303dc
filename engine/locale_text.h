// Character-level helpers for text in the process's LC_CTYPE code page.
// Documents and paths are byte strings; where a rule counts characters, a
// byte sequence that is not valid in the code page counts one character per
// byte, so every byte of a text belongs to exactly one character.

#ifndef VANTREL_ENGINE_LOCALE_TEXT_H_
#define VANTREL_ENGINE_LOCALE_TEXT_H_

#include <cstddef>
#include <optional>
#include <string>
#include <string_view>

namespace engine {

// True when the two texts have the same characters, letter case ignored
// (É with é, Σ with σ and ς): when their CaseFoldKeys are equal.
bool SameTextIgnoringCase(std::string_view a, std::string_view b);

// A key under which texts that differ only in letter case are equal (each
// character folded to lower case of its upper case), for finding a name in
// a folder without comparing it with every other name.
std::string CaseFoldKey(std::string_view text);

// The number of bytes of text without its last count characters, or
// std::nullopt when text has fewer than count characters.
std::optional<std::size_t> BytesBeforeLastCharacters(std::string_view text,
                                                     std::size_t count);

}  // namespace engine

#endif  // VANTREL_ENGINE_LOCALE_TEXT_H_
