// The subcommands, each once its arguments are parsed: they check what
// they were given before anything is written, run the engine over the
// documents, print the outcome and return the exit status.

#ifndef VANTREL_CLI_COMMANDS_H_
#define VANTREL_CLI_COMMANDS_H_

#include <string>
#include <vector>

#include "cli/documents.h"
#include "cli/run_output.h"
#include "engine/history/history_store.h"
#include "engine/replace_rules.h"

namespace cli {

struct ReplaceOptions {
  // SEARCH NEW PATH..., or with a list only the PATHs.
  std::vector<std::string> arguments;
  std::string list_file;       // empty: no list
  engine::ReplaceRules rules;  // the options; the pairs come from above
  bool no_history = false;
  bool no_backups = false;
  GatherRules gather;
  OutputStyle style;
};

struct HistoryOptions {
  std::string run;  // undo: a run's number, or "last"
  OutputStyle style;
};

struct RestoreOptions {
  bool no_history = false;
  std::string type;  // empty: as each backup records
  bool type_given = false;
  std::vector<std::string> paths;
  GatherRules gather;
  OutputStyle style;
};

ExitStatus Replace(const ReplaceOptions& options);
ExitStatus Restore(const RestoreOptions& options);
ExitStatus ListHistory(const HistoryOptions& options);
ExitStatus Undo(const HistoryOptions& options);

// Opens the history into *store; false, with *problem saying how to go on
// without it, when it can't be.
// for_run: the history is opened to record a run, which --no-history
// spares.
bool OpenHistoryFor(std::unique_ptr<engine::HistoryStore>* store,
                    std::string* problem, bool for_run = true);

}  // namespace cli

#endif  // VANTREL_CLI_COMMANDS_H_
