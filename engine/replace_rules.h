// ReplaceRules is what a run is to change, as one value: the pairs of texts
// (one, or a list applied in order on every line) and the options that
// apply to every pair.  The windows, the preview and the command line all
// build one; the planner checks and compiles it once per run.

#ifndef VANTREL_ENGINE_REPLACE_RULES_H_
#define VANTREL_ENGINE_REPLACE_RULES_H_

#include <string>
#include <vector>

namespace engine {

struct ReplacePair {
  std::string search;       // UTF-8; a PCRE2 pattern when regex is set
  std::string replacement;  // UTF-8; empty deletes what matches
};

struct ReplaceRules {
  std::vector<ReplacePair> pairs;
  bool match_case = false;        // code points compared exactly
  bool whole_words = false;       // no letter, digit or _ just outside
  bool every_occurrence = false;  // every match on a line, not the first
  bool regex = false;             // searches are patterns, new texts $1...

  // One pair with every option off: the first occurrence on each line,
  // letter case ignored, literally.
  bool IsPlain() const {
    return pairs.size() == 1 && !match_case && !whole_words &&
           !every_occurrence && !regex;
  }
};

// The rules of a run of one pair with every option off.
inline ReplaceRules PlainRules(std::string search, std::string replacement) {
  ReplaceRules rules;
  rules.pairs.push_back({std::move(search), std::move(replacement)});
  return rules;
}

}  // namespace engine

#endif  // VANTREL_ENGINE_REPLACE_RULES_H_
