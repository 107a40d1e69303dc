// RulesPlanner plans documents for rules other than the plain ones (match
// case, whole words, every occurrence, regular expressions, lists of
// pairs).  Each line is decoded into UTF-8 text that remembers which bytes
// of the line each part came from; the pairs apply to it in order, each to
// the line as the pairs before it left it; then the line is written back
// with every byte no match touched exactly as it was, and only the new
// texts encoded.  What it makes is a DocumentPlan, as the plain planner's:
// the update writes it and a preview shows it.
//
// Safe to use from several threads at once, as DocumentPlanner is.

#ifndef VANTREL_ENGINE_RULES_PLAN_H_
#define VANTREL_ENGINE_RULES_PLAN_H_

#include <memory>
#include <string>
#include <string_view>

#include "engine/document_plan.h"
#include "engine/pattern_set.h"

namespace engine {

class RulesPlanner {
 public:
  explicit RulesPlanner(std::unique_ptr<PatternSet> patterns);
  ~RulesPlanner();

  // As DocumentPlanner::Plan.
  void Plan(std::string_view document, DocumentPlan* plan, bool keep,
            bool changed_only, const StopRequested& stop) const;

 private:
  std::unique_ptr<PatternSet> patterns_;
};

}  // namespace engine

#endif  // VANTREL_ENGINE_RULES_PLAN_H_
