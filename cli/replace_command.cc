#include <cerrno>
#include <cstdio>
#include <cstring>
#include <fstream>
#include <map>
#include <sstream>

#include "cli/commands.h"
#include "cli/group_runs.h"
#include "cli/unified_diff.h"
#include "engine/plan_run.h"
#include "engine/preview_lines.h"
#include "engine/replace_list.h"
#include "engine/update_check.h"
#include "engine/update_run.h"

namespace cli {

namespace {

// The diff of a document that would change, in UTF-8 whatever its
// encoding, under the name it is shown by.
std::string DiffOf(const engine::CheckedDocument& checked,
                   const std::string& shown,
                   engine::PreviewLineDecoder* decoder) {
  std::string before, after;
  decoder->DecodeDocument(checked.plan.encoding, checked.contents, &before);
  decoder->DecodeDocument(checked.plan.encoding, checked.plan.content, &after);
  const std::size_t from = shown.find_first_not_of('/');
  return UnifiedDiff(from == std::string::npos ? shown : shown.substr(from),
                     before, after);
}

// The pairs and the PATHs of options into *rules and *paths; false with
// *problem set when they are not there or the list can't be read.
bool ReadPairs(const ReplaceOptions& options, engine::ReplaceRules* rules,
               std::vector<std::string>* paths, std::string* problem) {
  const std::vector<std::string>& arguments = options.arguments;
  if (!options.list_file.empty()) {
    std::ifstream file(options.list_file, std::ios::binary);
    std::ostringstream text;
    text << file.rdbuf();
    if (!file) {
      *problem = options.list_file + ": " + std::strerror(errno);
      return false;
    }
    if (!engine::ParseReplaceList(text.str(), &rules->pairs, problem)) {
      *problem = options.list_file + ": " + *problem;
      return false;
    }
    *paths = arguments;
    return true;
  }
  if (arguments.size() < 2) {
    *problem = arguments.empty() ? "SEARCH and NEW are required"
                                 : "NEW is required (an empty \"\" deletes)";
    return false;
  }
  if (arguments[0].empty()) {
    *problem = "the text to replace is empty";
    return false;
  }
  rules->pairs = {{arguments[0], arguments[1]}};
  paths->assign(arguments.begin() + 2, arguments.end());
  return true;
}

}  // namespace

ExitStatus Replace(const ReplaceOptions& options) {
  // The texts first: a refused text must not wait for a walk of the site.
  engine::ReplaceRules rules = options.rules;
  std::vector<std::string> paths;
  std::string problem;
  if (!ReadPairs(options, &rules, &paths, &problem)) return BadInput(problem);
  engine::RunOutcome refused;
  if (!engine::ReadyUpdate(rules, 0, &refused)) {
    return BadInput(refused.problem);
  }
  std::vector<DocumentGroup> groups;
  if (!GatherDocuments(paths, options.gather, &groups, &problem)) {
    return BadInput(problem);
  }
  groups = SplitForRuns(std::move(groups));

  std::unique_ptr<engine::HistoryStore> history;
  if (!options.no_history && !options.style.dry_run &&
      !OpenHistoryFor(&history, &problem)) {
    return BadInput(problem);
  }
  engine::RunSettings settings;
  settings.history = history.get();
  settings.keep_backups = !options.no_backups;
  settings.what = engine::DescribeRules(rules);
  if (!settings.keep_backups && settings.history == nullptr &&
      !options.style.dry_run) {
    return BadInput(
        "with --no-bac and --no-history nothing would keep the documents' "
        "content before the update: there would be no way back");
  }
  const bool quiet = options.style.quiet || options.style.json;
  CommandReporter reporter(CountDocuments(groups), quiet);
  std::map<std::size_t, std::string> diffs;
  engine::PreviewLineDecoder decoder;
  auto run = [&](const DocumentGroup& group, std::size_t first) {
    if (!options.style.dry_run) {
      return engine::UpdateRun(group.folder, group.entries, rules, reporter,
                               engine::FileSystem::Default(), settings);
    }
    return engine::PlanRun(
        group.folder, group.entries, rules, reporter,
        [&](std::size_t index, const engine::CheckedDocument& checked) {
          std::string diff = DiffOf(checked, group.shown[index], &decoder);
          // Printed as it comes, so that a site's diff is never held
          // whole; JSON needs the object first.
          if (options.style.json) {
            diffs[first + index] = std::move(diff);
          } else if (!options.style.quiet) {
            std::fwrite(diff.data(), 1, diff.size(), stdout);
          }
        });
  };
  engine::RunOutcome outcome;
  if (!RunGroups(groups, reporter, run, &outcome, &problem)) {
    return BadInput(problem);
  }
  return PrintOutcome(outcome, options.style, diffs);
}

}  // namespace cli
