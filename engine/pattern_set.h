// PatternSet is the matcher of every run whose rules are not the plain
// ones: each pair's search compiled once into a PCRE2 pattern (a literal
// text escaped; whole words as look-arounds; letter case and Unicode
// properties as PCRE2 options), with its new text ready to be filled in
// from each match.  Lines are matched as UTF-8 text without their ends, so
// ^ and $ are a line's start and end and no match crosses a line end.
//
// A set is compiled once per run and never changes after; any number of
// threads may match with it at once, each with a Scratch of its own.

#ifndef VANTREL_ENGINE_PATTERN_SET_H_
#define VANTREL_ENGINE_PATTERN_SET_H_

#include <cstddef>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "engine/replace_rules.h"

namespace engine {

class PatternSet {
 public:
  // One match and what replaces it: [begin, end) of the line's text.
  struct Edit {
    std::size_t begin, end;
    std::string text;
  };
  // One thread's working memory for matching.
  class Scratch;
  struct ScratchDeleter {
    void operator()(Scratch* scratch) const;
  };
  using ScratchPtr = std::unique_ptr<Scratch, ScratchDeleter>;

  // Compiles every pair of rules.  nullptr, with *problem set to a message
  // for the user, when a pattern does not compile or can match an empty
  // text, or a new text refers to a group the pattern lacks.
  static std::unique_ptr<PatternSet> Compile(const ReplaceRules& rules,
                                             std::string* problem);
  ~PatternSet();

  std::size_t size() const { return pairs_.size(); }
  ScratchPtr NewScratch() const;

  // Sets *edits to pair's matches in line (valid UTF-8), left to right,
  // with their new texts: the first, or every one when the rules say so.
  // False when matching needs more work than the limits allow.
  bool FindEdits(std::size_t pair, std::string_view line, Scratch& scratch,
                 std::vector<Edit>* edits) const;

 private:
  struct Compiled;
  PatternSet() = default;

  std::vector<std::unique_ptr<Compiled>> pairs_;
  bool every_ = false;
};

}  // namespace engine

#endif  // VANTREL_ENGINE_PATTERN_SET_H_
