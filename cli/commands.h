// The subcommands, each once its arguments are parsed: they check what
// they were given before anything is written, run the engine over the
// documents, print the outcome and return the exit status.

#ifndef VANTREL_CLI_COMMANDS_H_
#define VANTREL_CLI_COMMANDS_H_

#include <string>
#include <vector>

#include "cli/documents.h"
#include "cli/run_output.h"
#include "engine/replace_rules.h"

namespace cli {

struct ReplaceOptions {
  // SEARCH NEW PATH..., or with a list only the PATHs.
  std::vector<std::string> arguments;
  std::string list_file;       // empty: no list
  engine::ReplaceRules rules;  // the options; the pairs come from above
  GatherRules gather;
  OutputStyle style;
};

struct RestoreOptions {
  std::string type;  // empty: as each backup records
  bool type_given = false;
  std::vector<std::string> paths;
  GatherRules gather;
  OutputStyle style;
};

ExitStatus Replace(const ReplaceOptions& options);
ExitStatus Restore(const RestoreOptions& options);

}  // namespace cli

#endif  // VANTREL_CLI_COMMANDS_H_
