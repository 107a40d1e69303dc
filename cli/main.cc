// vantrel-cli: the update and the restore of the window, for terminals,
// scripts and servers.  It links the engine only, never Qt.

#include <CLI/CLI.hpp>
#include <clocale>
#include <iostream>

#include "cli/commands.h"
#include "engine/process_limits.h"

#ifndef VANTREL_VERSION
#define VANTREL_VERSION "unknown"
#endif

namespace {

// The documents the window lists by default.
const std::vector<std::string> kWebDocuments = {"*.htm", "*.asp", "*.hts",
                                                "*.mv", "*.cfm"};

void AddOutputOptions(CLI::App* command, cli::OutputStyle* style) {
  command->add_flag("--json", style->json,
                    "Print one JSON object with every document's outcome");
  command->add_flag("-q,--quiet", style->quiet, "Print nothing but errors");
}

}  // namespace

int main(int argc, char** argv) {
  std::setlocale(LC_ALL, "");
  engine::RaiseOpenFileLimit();

  CLI::App app{
      "Replaces text in many web documents at once, with a backup of each "
      "(page.htm -> page.bac), in each document's own encoding.",
      "vantrel-cli"};
  app.set_version_flag("--version", "vantrel-cli " VANTREL_VERSION);
  app.require_subcommand(1);
  app.footer(
      "Exit status: 0 changed, 1 text found nowhere, 2 bad input, "
      "3 some documents refused or failed, 4 stopped.\n"
      "See vantrel-cli(1) for examples.");

  cli::ReplaceOptions replace;
  replace.style.command = "replace";
  std::vector<std::string> include;
  CLI::App* replace_command = app.add_subcommand(
      "replace",
      "Replace the first occurrence of SEARCH on each line of "
      "every document with NEW, letter case ignored");
  replace_command
      ->add_option("ARGUMENTS", replace.arguments,
                   "SEARCH NEW [PATH...]: the text to replace, the new text "
                   "(empty deletes), then documents or folders of documents "
                   "(default: the current folder); with --list, only the "
                   "PATHs")
      ->type_name("");
  replace_command->add_option(
      "--list", replace.list_file,
      "Take the pairs (text to replace, tab, new text; one a line; \\t \\n "
      "\\\\ escapes) from this UTF-8 file, applied in order on every line");
  replace_command->add_flag("--match-case", replace.rules.match_case,
                            "Compare letters exactly, case included");
  replace_command->add_flag("-w,--whole-words", replace.rules.whole_words,
                            "Only matches with no letter, digit or _ just "
                            "before or after them");
  replace_command->add_flag("-a,--all", replace.rules.every_occurrence,
                            "Every occurrence on a line, not only the first");
  replace_command->add_flag("-e,--regex", replace.rules.regex,
                            "SEARCH is a PCRE2 regular expression; NEW may "
                            "hold $0...$99, ${name}, $$ and \\U \\L \\E");
  replace_command->add_flag("-r,--recursive", replace.gather.recursive,
                            "Include subfolders (not dot folders, not links "
                            "to folders)");
  replace_command
      ->add_option("--include", include,
                   "Names of documents to take from folders "
                   "(repeatable; default *.htm *.asp *.hts *.mv "
                   "*.cfm)")
      ->allow_extra_args(false);
  replace_command
      ->add_option("--exclude", replace.gather.exclude,
                   "Paths below a folder to leave out, such as "
                   "'old/*' (repeatable)")
      ->allow_extra_args(false);
  replace_command->add_flag("-n,--dry-run", replace.style.dry_run,
                            "Change nothing; print the changes as a unified "
                            "diff");
  replace_command->add_flag("--no-history", replace.no_history,
                            "Do not record the run in the history");
  replace_command->add_flag("--no-bac", replace.no_backups,
                            "Make no .bac backups (the history keeps the "
                            "originals)");
  AddOutputOptions(replace_command, &replace.style);

  cli::RestoreOptions restore;
  restore.style.command = "restore";
  CLI::App* restore_command = app.add_subcommand(
      "restore",
      "Put backups back over the documents they were made from, "
      "then delete them");
  CLI::Option* type = restore_command->add_option(
      "-t,--type", restore.type,
      "Restore every backup as a document of this type (htm: page.bac -> "
      "page.htm); by default each goes back to the document it records");
  restore_command
      ->add_option("PATH", restore.paths, "Backups or folders of backups")
      ->required();
  restore_command->add_flag("-r,--recursive", restore.gather.recursive,
                            "Include subfolders");
  restore_command->add_flag("--no-history", restore.no_history,
                            "Do not record the run in the history");
  AddOutputOptions(restore_command, &restore.style);

  cli::HistoryOptions history;
  history.style.command = "history";
  CLI::App* history_command =
      app.add_subcommand("history", "List the recorded runs, newest first");
  history_command->add_flag("--json", history.style.json,
                            "Print one JSON object");
  cli::HistoryOptions undo;
  undo.style.command = "undo";
  CLI::App* undo_command = app.add_subcommand(
      "undo",
      "Put back what a recorded run changed, where it is still as "
      "the run left it");
  undo_command->add_option("RUN", undo.run, "The run's number, or last")
      ->required();
  AddOutputOptions(undo_command, &undo.style);

  try {
    app.parse(argc, argv);
  } catch (const CLI::CallForHelp& help) {
    return app.exit(help);
  } catch (const CLI::CallForAllHelp& help) {
    return app.exit(help);
  } catch (const CLI::CallForVersion& version) {
    return app.exit(version);
  } catch (const CLI::ParseError& error) {
    // One line naming the problem, whatever CLI11 would add.
    return cli::BadInput(error.what());
  }

  cli::StopOnSignals();
  if (*history_command) return cli::ListHistory(history);
  if (*undo_command) return cli::Undo(undo);
  if (*replace_command) {
    replace.gather.include = include.empty() ? kWebDocuments : include;
    return cli::Replace(replace);
  }
  restore.type_given = type->count() > 0;
  restore.gather.include = {"*.bac"};
  restore.gather.skip_backups = false;
  return cli::Restore(restore);
}
