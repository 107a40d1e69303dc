#include "engine/update_run.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include "engine/restore_run.h"
#include "tests/engine/test_support.h"

namespace {

using ::testing::ElementsAre;
using ::testing::HasSubstr;
using testing_support::ReadFile;
using testing_support::RecordingReporter;
using testing_support::TempFolder;

using Files = std::map<std::string, std::string>;

std::string Lines(int count, const std::string& line) {
  std::string text;
  for (int i = 0; i < count; ++i) text += line + "\r\n";
  return text;
}

TEST(UpdateRunTest, WorkedExampleReportsEveryStepInOrder) {
  TempFolder folder;
  folder.Write({{"about.htm", "A Cat sat\r\nno pets\r\n"},
                {"index.htm", "cat\r\n"},
                {"news.asp", "cat, CAT and cat\r\n"}});
  RecordingReporter reporter;

  EXPECT_EQ(UpdateInWindow(
                folder.path(),
                {{"about.htm", true}, {"index.htm", false}, {"news.asp", true}},
                "cat", "dog", reporter),
            2);

  const std::string about = folder.file("about.htm");
  const std::string news = folder.file("news.asp");
  EXPECT_THAT(
      reporter.calls,
      ElementsAre(
          "range 0 3", "value 0", "working " + about, "operation Scanning...",
          "operation Performing Backup...", "operation Updating...", "value 1",
          "value 2", "working " + news, "operation Scanning...",
          "operation Performing Backup...", "operation Updating...", "value 3",
          "message Job Complete.|Successfully updated 2 documents. "
          "Backup copies of each file archived successfully.",
          "value 0", "disable", "working Parsing Engine Idle.",
          "operation Completed."));
  // Nothing is left behind but documents and their backups.
  EXPECT_EQ(folder.Contents(), (Files{{"about.bac", "A Cat sat\r\nno pets\r\n"},
                                      {"about.htm", "A dog sat\r\nno pets\r\n"},
                                      {"index.htm", "cat\r\n"},
                                      {"news.asp", "dog, CAT and cat\r\n"},
                                      {"news.bac", "cat, CAT and cat\r\n"}}));
}

struct RefusalCase {
  const char* name;
  engine::Selection entries;
  const char* search;
  const char* new_text;
  std::vector<std::string> calls;
};

void PrintTo(const RefusalCase& c, std::ostream* out) { *out << c.name; }

class UpdateRefusalTest : public ::testing::TestWithParam<RefusalCase> {};

TEST_P(UpdateRefusalTest, ChangesNothingAndSaysWhy) {
  TempFolder folder;
  folder.Write({{"a.htm", "cat\r\n"}});
  RecordingReporter reporter;
  const RefusalCase& c = GetParam();
  EXPECT_EQ(
      UpdateInWindow(folder.path(), c.entries, c.search, c.new_text, reporter),
      0);
  EXPECT_EQ(reporter.calls, c.calls);
  EXPECT_EQ(folder.Contents(), (Files{{"a.htm", "cat\r\n"}}));
}

const char kNoneSelected[] = "message Oops..|No files selected to modify.";

// clang-format off
INSTANTIATE_TEST_SUITE_P(
    Inputs, UpdateRefusalTest,
    ::testing::Values(
        RefusalCase{"BothTextsEmpty", {{"a.htm", true}}, "", "",
            {"message Oops|Please enter the information you would like "
             "replaced."}},
        RefusalCase{"SearchTextNotUtf8", {{"a.htm", true}}, "c\xe9t", "dog",
            {"message Oops|The text to replace is not valid UTF-8 text."}},
        RefusalCase{"SearchTextWithLineBreak", {{"a.htm", true}}, "cat\r\n",
            "dog",
            {"message Oops|Matches are found within one line, and the text "
             "to replace holds a line break. Remove the line break and try "
             "again."}},
        RefusalCase{"NothingSelected", {{"a.htm", false}}, "cat", "dog",
            {"range 0 1", "value 0", "value 1", kNoneSelected, "value 0"}},
        RefusalCase{"EmptyList", {}, "cat", "dog",
            {"range 0 0", "value 0", kNoneSelected, "value 0"}},
        RefusalCase{"LongerThanAFileListCanHold",
            engine::Selection(32768, {"a.htm", true}), "cat", "dog",
            {"message Oops..|The list holds 32768 files, more than the 32767 "
             "that one update can take. Nothing was changed."}}),
    [](const auto& info) { return std::string(info.param.name); });
// clang-format on

// One run over `before` (plus `links`, name -> target), the entries
// `selected`; `after` is the whole folder, links read through.
struct DocumentCase {
  const char* name;
  Files before;
  std::vector<std::string> selected;
  const char* search;
  int updated;
  Files after;
  std::vector<std::string> told;  // in the messages, in this order
  Files links = {};
  const char* read_only = "";
};

void PrintTo(const DocumentCase& c, std::ostream* out) { *out << c.name; }

class UpdateDocumentTest : public ::testing::TestWithParam<DocumentCase> {};

TEST_P(UpdateDocumentTest, ChangesOnlyWhatItMayAndSaysSo) {
  const DocumentCase& c = GetParam();
  TempFolder folder;
  folder.Write(c.before);
  for (const auto& [name, target] : c.links) {
    ASSERT_EQ(::symlink(target.c_str(), folder.file(name).c_str()), 0);
  }
  if (*c.read_only) {
    ASSERT_EQ(::chmod(folder.file(c.read_only).c_str(), 0444), 0);
  }
  engine::Selection entries;
  for (const std::string& name : c.selected) entries.push_back({name, true});
  RecordingReporter reporter;

  EXPECT_EQ(UpdateInWindow(folder.path(), entries, c.search, "dog", reporter),
            c.updated);

  EXPECT_EQ(folder.Contents(), c.after);
  std::string messages;
  for (const std::string& message : reporter.messages) messages += message;
  std::size_t at = 0;
  for (const std::string& part : c.told) {
    at = messages.find(part, at);
    EXPECT_NE(at, std::string::npos) << part << " not in " << messages;
  }
  EXPECT_EQ(reporter.calls.back(),
            c.updated > 0 ? "operation Completed." : "value 0");
}

const char kDone1[] =
    "Job Complete.|Successfully updated 1 documents. Backup copies of each "
    "file archived successfully.";

// clang-format off
INSTANTIATE_TEST_SUITE_P(
    Documents, UpdateDocumentTest,
    ::testing::Values(
        DocumentCase{"BlanksAreASearchText", {{"a.htm", "a  b  c"}}, {"a.htm"},
            "  ", 1, {{"a.htm", "adogb  c"}, {"a.bac", "a  b  c"}},
            {kDone1}},
        DocumentCase{"NewBackupReplacesOlder",
            {{"a.htm", "cat"}, {"a.bac", "older"}}, {"a.htm"}, "cat", 1,
            {{"a.htm", "dog"}, {"a.bac", "cat"}}, {kDone1}},
        DocumentCase{"TextNowhereLeavesEverythingAlone",
            {{"plain.htm", "none\rhere"}, {"empty.htm", ""},
             {"plain.bac", "older"}},
            {"empty.htm", "plain.htm"}, "cat", 0,
            {{"plain.htm", "none\rhere"}, {"empty.htm", ""},
             {"plain.bac", "older"}},
            {"Oops..|The text was not found in the selected documents. "
             "Nothing was changed."}},
        DocumentCase{"DocumentsWithoutTheTextAreCounted",
            {{"a.htm", "cat"}, {"b.htm", "none"}, {"b.bac", "older"}},
            {"a.htm", "b.htm"}, "cat", 1,
            {{"a.htm", "dog"}, {"a.bac", "cat"}, {"b.htm", "none"},
             {"b.bac", "older"}},
            {std::string(kDone1) + " 1 selected documents did not contain "
             "the text and were left as they were."}},
        DocumentCase{"NoLineLimit", {{"long.htm", Lines(10001, "cat")}},
            {"long.htm"}, "cat", 1,
            {{"long.htm", Lines(10001, "dog")},
             {"long.bac", Lines(10001, "cat")}}, {kDone1}},
        DocumentCase{"SharedBackupNameKeepsTheFirstOriginal",
            {{"about.asp", "asp cat"}, {"about.htm", "htm cat"}},
            {"about.asp", "about.htm"}, "cat", 1,
            {{"about.asp", "asp dog"}, {"about.bac", "asp cat"},
             {"about.htm", "htm cat"}}, {"about.htm: its backup", kDone1}},
        DocumentCase{"OwnBackupName", {{"xbac", "cat"}}, {"xbac"}, "cat", 0,
            {{"xbac", "cat"}}, {"as backups' names do"}},
        DocumentCase{"ReadOnlyKeepsItsOlderBackup",
            {{"locked.htm", "cat"}, {"locked.bac", "older"}},
            {"locked.htm"}, "cat", 0,
            {{"locked.htm", "cat"}, {"locked.bac", "older"}},
            {"read-only; the document is unchanged."}, {}, "locked.htm"},
        DocumentCase{"MissingDocumentAndTheRunGoesOn", {{"b.htm", "cat"}},
            {"a.htm", "b.htm"}, "cat", 1,
            {{"b.htm", "dog"}, {"b.bac", "cat"}},
            {"a.htm: the document is gone", kDone1}},
        // Undo must still give b.htm's original back: through a.bac.
        DocumentCase{"TwoNamesOfOneFileChangeItOnce", {{"b.htm", "cat"}},
            {"a.htm", "b.htm"}, "cat", 1,
            {{"a.htm", "dog"}, {"a.bac", "cat"}, {"b.htm", "dog"}},
            {"b.htm: it is the same file as", kDone1},
            {{"a.htm", "b.htm"}}},
        DocumentCase{"LinkToAnotherDocumentsBackup",
            {{"about.htm", "cat"}, {"about.bac", "older cat"}},
            {"about.htm", "zlink.htm"}, "cat", 1,
            {{"about.htm", "dog"}, {"about.bac", "cat"},
             {"zlink.htm", "cat"}},
            {"the backup of another document", kDone1},
            {{"zlink.htm", "about.bac"}}},
        DocumentCase{"LinkToItsOwnBackup", {{"a.bac", "cat"}}, {"a.htm"},
            "cat", 0, {{"a.htm", "cat"}, {"a.bac", "cat"}},
            {"is the document itself"}, {{"a.htm", "a.bac"}}},
        DocumentCase{"LeftoversOfAKilledRunAreRemoved",
            {{"a.htm", "cat"}, {".vantrel-0123456789abcdef.tmp", "half"},
             {".vantrel-41-7.tmp", "half"}, {".vantrel-mine.tmp", "keep"}},
            {"a.htm"}, "cat", 1,
            {{"a.htm", "dog"}, {"a.bac", "cat"},
             {".vantrel-mine.tmp", "keep"}}, {kDone1}}),
    [](const auto& info) { return std::string(info.param.name); });
// clang-format on

TEST(UpdateRunTest, LinksStayLinksAndFilesKeepTheirPermissions) {
  TempFolder folder;
  folder.Write({{"real.htm", "cat\r\n"}});
  ASSERT_EQ(::chmod(folder.file("real.htm").c_str(), 0640), 0);
  ASSERT_EQ(::symlink("real.htm", folder.file("link.htm").c_str()), 0);
  RecordingReporter reporter;

  EXPECT_EQ(UpdateInWindow(folder.path(), {{"link.htm", true}}, "cat", "dog",
                           reporter),
            1);

  struct stat info;
  ASSERT_EQ(::lstat(folder.file("link.htm").c_str(), &info), 0);
  EXPECT_TRUE(S_ISLNK(info.st_mode));
  EXPECT_EQ(ReadFile(folder.file("real.htm")), "dog\r\n");
  EXPECT_EQ(ReadFile(folder.file("link.bac")), "cat\r\n");
  for (const char* name : {"real.htm", "link.bac"}) {
    ASSERT_EQ(::stat(folder.file(name).c_str(), &info), 0);
    EXPECT_EQ(info.st_mode & 07777, 0640u) << name;
  }
  // Undo goes through the link too.
  RestoreInWindow("htm", folder.path(), {{"link.bac", true}}, reporter);
  ASSERT_EQ(::lstat(folder.file("link.htm").c_str(), &info), 0);
  EXPECT_TRUE(S_ISLNK(info.st_mode));
  EXPECT_EQ(ReadFile(folder.file("real.htm")), "cat\r\n");
}

}  // namespace
