// The command line as a user meets it: each test starts the built program in
// fresh folders and checks its exit status, what it printed and every file
// it left behind.

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <algorithm>
#include <functional>
#include <nlohmann/json.hpp>

#include "tests/cli/cli_test_support.h"

namespace cli_testing {
namespace {

using ::testing::HasSubstr;
using ::testing::MatchesRegex;
using ::testing::ValuesIn;
using json = nlohmann::json;

constexpr char kGone[] = "<gone>";
// The first occurrence on each line goes, whatever its letter case.
constexpr char kOld[] = "Old old\nkeep\nold\n";
constexpr char kNew[] = "new old\nkeep\nnew\n";

struct Case {
  std::string name{};
  std::vector<std::string> args{};
  Files before{};
  int status = 0;
  Files after{};  // only what the run changes; kGone: removed
  // Each somewhere in stdout or stderr, which are matched with a line end
  // put in front: "\nX" stands for a line that starts with X.
  std::vector<std::string> out{}, err{};
  std::string json{};  // fields stdout's one JSON object holds
  std::function<void(const TempFolder&)> setup{};  // after the files are made
  bool needs_non_root = false;
};

void PrintTo(const Case& c, std::ostream* os) { *os << c.name; }

// Whether the JSON text out has every value expected has, at the same place;
// null stands for any value.  Arrays are compared element by element.
bool Holds(const std::string& out, const std::string& expected) {
  const json actual = json::parse(out, nullptr, false);
  const json flat = json::parse(expected).flatten();
  for (const auto& [pointer, value] : flat.items()) {
    const json::json_pointer at(pointer);
    if (!actual.contains(at) || (!value.is_null() && actual[at] != value)) {
      return false;
    }
  }
  return true;
}

// Each test keeps the program's history in a folder of its own, not in the
// home of whoever runs the tests.
class CliTest : public ::testing::Test {
 protected:
  CliTest() { ::setenv("XDG_STATE_HOME", state_.path().c_str(), 1); }
  TempFolder state_;
};

class CliTableTest : public CliTest,
                     public ::testing::WithParamInterface<Case> {};

TEST_P(CliTableTest, Run) {
  const Case& c = GetParam();
  if (c.needs_non_root && ::geteuid() == 0) GTEST_SKIP() << "root may write";
  TempFolder folder;
  folder.Write(c.before);
  if (c.setup) c.setup(folder);
  const Files plain = Tree(folder.path()), stamped = Tree(folder.path(), true);

  Result result = RunCli(c.args, folder.path());

  EXPECT_EQ(result.status, c.status) << result.out << result.err;
  for (const auto& t : c.out) EXPECT_THAT("\n" + result.out, HasSubstr(t));
  for (const auto& t : c.err) EXPECT_THAT("\n" + result.err, HasSubstr(t));
  EXPECT_TRUE(c.json.empty() || Holds(result.out, c.json)) << result.out;
  if (c.status == 2) {
    EXPECT_EQ(result.out, "");
    EXPECT_THAT(result.err, MatchesRegex("vantrel-cli: error: [^\n]+\n"));
  } else if (c.status <= 1) {
    EXPECT_EQ(result.err, "");  // nothing refused, and no progress on a pipe
  }
  const Files now = Tree(folder.path(), true);
  Files expected = plain;
  for (const auto& [name, contents] : c.after) {
    if (contents == kGone) expected.erase(name);
    if (contents != kGone) expected[name] = contents;
  }
  EXPECT_EQ(Tree(folder.path()), expected);
  // What the run had no business with is not even rewritten; when nothing
  // was to change, no folder saw a file come and go either.
  for (const auto& [name, stamp] : stamped) {
    if (c.after.count(name) ||
        (!c.after.empty() && stamp.ends_with("<folder>")))
      continue;
    EXPECT_EQ(now.count(name) ? now.at(name) : kGone, stamp) << name;
  }
}

// clang-format off
const Files kTree = {{"a.htm", kOld}, {"notes.txt", kOld}, {"sub/b.htm", kOld},
                     {"sub/.svn/c.htm", kOld}, {".git/d.htm", kOld}};
const Files kChangedA = {{"a.htm", kNew}, {"a.bac", kOld}};
const auto kBacFolder = [](const TempFolder& f) { mkdir(f.file("page.bac").c_str(), 0755); };

const Case kReplaceCases[] = {
  {"PlainReplace", {"replace", "old", "new", "a.htm"}, {{"a.htm", kOld}}, 0, kChangedA,
   {"a.htm: 2 replacements\n", "2 replacements in 1 of 1 selected documents\n"}},
  {"TextFoundNowhere", {"replace", "absent", "new"}, {{"a.htm", kOld}, {"b.htm", kNew}}, 1, {},
   {"0 replacements in 0 of 2 selected documents\n"}},
  {"RecursiveSkipsDotFolders", {"replace", "-r", "old", "new"}, kTree, 0,
   {{"a.htm", kNew}, {"a.bac", kOld}, {"sub/b.htm", kNew}, {"sub/b.bac", kOld}},
   {"sub/b.htm: 2 replacements\n", "4 replacements in 2 of 2 selected documents\n"}},
  {"WithoutRecursiveSubfoldersUntouched", {"replace", "old", "new", "."}, kTree, 0, kChangedA,
   {"2 replacements in 1 of 1 selected documents\n"}},
  {"IncludeAndExcludeGlobs",
   {"replace", "-r", "--include", "*.txt", "--exclude", "old/*", "old", "new", "site/"},
   {{"site/A.TXT", kOld}, {"site/old/b.txt", kOld}, {"site/c.htm", kOld}, {"site/new/d.txt", kOld}}, 0,
   {{"site/A.TXT", kNew}, {"site/A.TXT.bac", kOld}, {"site/new/d.txt", kNew}, {"site/new/d.txt.bac", kOld}},
   {"site/A.TXT: 2 replacements\n", "4 replacements in 2 of 2 selected documents\n"}},
  // "old" names the folder old, not in/old: the path below PATH is matched.
  {"ExcludeFolder", {"replace", "-r", "--exclude", "old", "old", "new"},
   {{"a.htm", kOld}, {"old/b.htm", kOld}, {"in/old/c.htm", kOld}}, 0,
   {{"a.htm", kNew}, {"a.bac", kOld}, {"in/old/c.htm", kNew}, {"in/old/c.bac", kOld}},
   {"in/old/c.htm: 2 replacements\n", "4 replacements in 2 of 2 selected documents\n"}},
  // Changed twice, the second "old" of each line would go too.
  {"NamedTwiceChangedOnce", {"replace", "old", "new", "a.htm", "."}, {{"a.htm", "old old\n"}}, 0,
   {{"a.htm", "new old\n"}, {"a.bac", "old old\n"}}, {"1 of 1 selected documents\n"}},
  {"BackupNameTakenRefused", {"replace", "old", "new"}, {{"page.htm", kOld}}, 3, {},
   {"0 replacements in 0 of 1 selected documents\n"}, {"page.htm: refused: "}, "", kBacFolder},
};

const Case kJsonCases[] = {
  {"ChangedAndNotFound", {"replace", "--json", "old", "new", "a.htm", "b.htm"},
   {{"a.htm", kOld}, {"b.htm", "nothing\n"}}, 0, kChangedA, {}, {}, R"({"command": "replace",
   "dry_run": false, "stopped": false, "exit_status": 0, "selected": 2, "changed": 1,
   "not_found": 1, "refused": 0, "failed": 0, "not_reached": 0, "replacements": 2,
   "documents": [{"path": "a.htm", "verdict": "changed", "replacements": 2},
                 {"path": "b.htm", "verdict": "not-found"}]})"},
  {"BackupNameTakenByFolder", {"replace", "--json", "old", "new"}, {{"page.htm", kOld}}, 3, {}, {}, {},
   R"({"exit_status": 3, "changed": 0, "refused": 1, "documents": [{"path": "page.htm",
   "verdict": "refused", "reason": "backup", "why": null}]})", kBacFolder},
  {"ReadOnlyDocument", {"replace", "--json", "old", "new", "page.htm"}, {{"page.htm", kOld}}, 3, {}, {}, {},
   R"({"exit_status": 3, "refused": 1, "documents": [{"path": "page.htm",
   "verdict": "refused", "reason": "not-allowed"}]})",
   [](const TempFolder& f) { ::chmod(f.file("page.htm").c_str(), 0444); }, true},
  {"DryRunCarriesDiff", {"replace", "--json", "-n", "old", "new"}, {{"a.htm", kOld}}, 0, {}, {}, {},
   R"({"dry_run": true, "exit_status": 0, "replacements": 2, "documents": [{"path": "a.htm",
   "verdict": "changed", "diff": null}]})"},
};

const Case kProgramCases[] = {
  {"Version", {"--version"}, {}, 0, {}, {"\nvantrel-cli "}},
  {"ReplaceHelp", {"replace", "--help"}, {}, 0, {}, {"--dry-run", "--json"}},
  {"RestoreHelp", {"restore", "--help"}, {}, 0, {}, {"--type", "--json"}},
};

const Case kRestoreCases[] = {
  {"WithType", {"restore", "--type", "htm", "site"}, {{"site/page.bac", kOld}, {"site/page.htm", kNew}}, 0,
   {{"site/page.htm", kOld}, {"site/page.bac", kGone}},
   {"site/page.bac: restored\n", "1 of 1 selected backups restored\n"}},
  // page.htm is what --type htm would make of it; the record says page.asp.
  {"AsRecordedAfterUpdate", {"restore", "page.bac"}, {{"page.asp", kOld}, {"page.htm", kNew}}, 0,
   {{"page.asp", kOld}, {"page.bac", kGone}}, {"page.bac: restored\n", "1 of 1 selected backups restored\n"},
   {}, "", [](const TempFolder& f) { RunCli({"replace", "old", "new", "page.asp"}, f.path()); }},
  {"WithoutRecordRefused", {"restore", "x.bac"}, {{"x.bac", kOld}, {"x.htm", kNew}}, 3, {},
   {"0 of 1 selected backups restored\n"}, {"x.bac: refused: ", "--type"}},
  {"JsonWithoutRecordRefused", {"restore", "--json", "x.bac"}, {{"x.bac", kOld}, {"x.htm", kNew}}, 3, {}, {}, {},
   R"({"command": "restore", "exit_status": 3, "refused": 1, "documents": [{"path": "x.bac",
   "verdict": "refused", "reason": "no-record"}]})"},
  {"NothingToRestore", {"restore", "."}, {{"a.htm", kOld}}, 1, {}, {"0 of 0 selected backups restored\n"}},
};

// Each stops before touching a file, though a.htm could have been changed.
const Files kBad = {{"a.htm", kOld}, {"sub/b.htm", kOld}};
const Case kBadInputCases[] = {
  {"UnknownOption", {"replace", "--bogus", "old", "new", "a.htm"}, kBad, 2},
  {"UnknownCommand", {"rename", "old", "new", "a.htm"}, kBad, 2},
  {"MissingArgument", {"replace", "old"}, kBad, 2},
  {"MissingOptionValue", {"replace", "old", "new", "a.htm", "--include"}, kBad, 2},
  {"EmptySearch", {"replace", "", "new", "a.htm"}, kBad, 2},
  {"SearchNotUtf8", {"replace", "\xff", "new", "a.htm"}, kBad, 2},
  {"NewNotUtf8", {"replace", "old", "n\xff", "a.htm"}, kBad, 2},
  {"SearchWithLineBreak", {"replace", "old\nkeep", "new", "a.htm"}, kBad, 2},
  {"MissingPath", {"replace", "old", "new", "a.htm", "gone.htm"}, kBad, 2},
  {"RestoreMissingPath", {"restore", "--type", "htm", "gone.bac"}, kBad, 2},
  {"JsonUsageErrorPrintsNoJson", {"replace", "--json", "old"}, kBad, 2},
  {"FifoPath", {"replace", "old", "new", "a.htm", "pipe.htm"}, kBad, 2, {}, {}, {}, "",
   [](const TempFolder& f) { ::mkfifo(f.file("pipe.htm").c_str(), 0644); }},
};
// clang-format on

const auto kName = ::testing::PrintToStringParamName();
INSTANTIATE_TEST_SUITE_P(Program, CliTableTest, ValuesIn(kProgramCases), kName);
INSTANTIATE_TEST_SUITE_P(Replace, CliTableTest, ValuesIn(kReplaceCases), kName);
INSTANTIATE_TEST_SUITE_P(Json, CliTableTest, ValuesIn(kJsonCases), kName);
INSTANTIATE_TEST_SUITE_P(Restore, CliTableTest, ValuesIn(kRestoreCases), kName);
INSTANTIATE_TEST_SUITE_P(BadInput, CliTableTest, ValuesIn(kBadInputCases),
                         kName);

// Line ends of both kinds, a missing last line end, changes on the first and
// last lines, two hunks in one document, and text and names beyond ASCII.
const Files kRoundTrip = {
    {"lf.htm", "old first\nmiddle\nthe last OLD\n"},
    {"crlf.htm", "Old one\r\nkeep\r\nold two\r\n"},
    {"no-end.htm", "keep\nold, and no line end"},
    {"café.htm", "first old\n" + std::string(30, '\n') + "naïve old\n"},
    {"sub/deep.htm", "<p>old</p>\n"},
    {"same.htm", "nothing to change\n"}};

// Run with no PATH and with ".", the diff names paths below the folder the
// program ran in, which is where patch -p1 must run too.
TEST_F(CliTest, DryRunDiffAppliedWithPatchGivesWhatReplaceWrites) {
  for (const char* path : {"", "."}) {
    SCOPED_TRACE(std::string("PATH ") + path);
    TempFolder a, b, diff_file;
    a.Write(kRoundTrip);
    b.Write(kRoundTrip);
    const Files before = Tree(a.path(), true);
    std::vector<std::string> args = {"replace", "-r", "old", "néw"};
    if (*path) args.push_back(path);

    Result replaced = RunCli(args, b.path());
    args.insert(args.begin() + 1, "--dry-run");
    Result diff = RunCli(args, a.path());

    EXPECT_EQ(replaced.status, 0) << replaced.err;
    EXPECT_EQ(diff.status, 0) << diff.err;
    EXPECT_EQ(Tree(a.path(), true), before);
    const char kSummary[] = "8 replacements in 5 of 6 selected documents\n";
    EXPECT_THAT(replaced.out, HasSubstr(kSummary));
    EXPECT_THAT(diff.out, HasSubstr(kSummary));
    std::ofstream(diff_file.file("diff"), std::ios::binary) << diff.out;
    Result patched =
        Process({"/usr/bin/patch", "-p1", "--no-backup-if-mismatch", "-s"},
                a.path(), diff_file.file("diff"))
            .Wait();
    EXPECT_EQ(patched.status, 0) << patched.out << patched.err << diff.out;
    Files expected = Tree(b.path());
    std::erase_if(expected,
                  [](const auto& e) { return e.first.ends_with(".bac"); });
    EXPECT_EQ(Tree(a.path()), expected);
  }
}

// A stop ends the run after the current document, so each document is
// wholly old without a backup or wholly new with the old one in its backup,
// and no temporary file is left.  A second SIGINT must not cut that short.
TEST_F(CliTest, InterruptLeavesEveryDocumentWhole) {
  for (int interrupts : {1, 2}) {
    SCOPED_TRACE(std::to_string(interrupts) + " SIGINT");
    TempFolder folder;
    Files documents;
    for (int i = 0; i < 2000; ++i)
      documents[std::to_string(i) + ".htm"] = "old";
    folder.Write(documents);
    Process run({kCli, "replace", "old", "new"}, folder.path());
    bool started = false;
    for (int tries = 0; !started && tries < 20000; ++tries) {
      // The first new file (a temporary one, before any backup takes its
      // name) says the run is writing.
      for (const auto& entry : fs::directory_iterator(folder.path())) {
        const std::string name = entry.path().filename();
        started = started || name.starts_with(".vantrel-") ||
                  entry.path().extension() == ".bac";
        if (started) break;
      }
      if (!started) ::usleep(1000);
    }
    ASSERT_TRUE(started) << "no new file appeared";
    for (int i = 0; i < interrupts; ++i) ::kill(run.pid(), SIGINT);
    Result result = run.Wait();

    EXPECT_EQ(result.status, 4) << result.err;
    EXPECT_THAT(
        result.err,
        HasSubstr("Stopped: the rest of the documents were not reached.\n"));
    const Files tree = Tree(folder.path());
    size_t changed = 0;
    for (const auto& [name, old] : documents) {
      const std::string backup = name.substr(0, name.size() - 3) + "bac";
      const bool is_new = tree.at(name) == "new";
      changed += is_new;
      EXPECT_TRUE(is_new || tree.at(name) == old) << name;
      EXPECT_EQ(tree.count(backup) ? tree.at(backup) : "", is_new ? old : "")
          << name;
    }
    EXPECT_LT(changed, documents.size());
    EXPECT_EQ(tree.size(), documents.size() + changed);
  }
}

}  // namespace
}  // namespace cli_testing
