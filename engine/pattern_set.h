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

  // A line's text as MayMatch reads it: its ASCII letters in lower case,
  // or empty when it holds other characters than ASCII.
  static void FoldAscii(std::string_view line, std::string* folded);
  // False only when pair can't match line, whose FoldAscii is folded: a
  // literal text that the line does not hold.  Costs far less than
  // FindEdits, which a list of many pairs would call for each of them.
  bool MayMatch(std::size_t pair, std::string_view line,
                const std::string& folded) const;

  // Whether the set has a screen: one pattern that finds, in a whole UTF-8
  // document, every place where some pair may match in one of its lines
  // (and perhaps more).  Lines it finds nothing in need no other look.
  bool HasScreen() const { return screen_ != nullptr; }
  // Sets *at to where the screen next finds something in text (valid
  // UTF-8, a whole document) from start on, or npos.  False when matching
  // needs more work than the limits allow.
  bool Screen(std::string_view text, std::size_t start, Scratch& scratch,
              std::size_t* at) const;

 private:
  struct Compiled;
  PatternSet() = default;

  // Makes the screen, where one can be made that never misses.
  void MakeScreen(const ReplaceRules& rules);

  std::vector<std::unique_ptr<Compiled>> pairs_;
  std::unique_ptr<Compiled> screen_;
  bool every_ = false;
};

}  // namespace engine

#endif  // VANTREL_ENGINE_PATTERN_SET_H_
