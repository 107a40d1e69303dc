#include "engine/update_run.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

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

  EXPECT_EQ(engine::UpdateRun(
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
  EXPECT_EQ(engine::UpdateRun(folder.path(), c.entries, c.search, c.new_text,
                              reporter),
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
        RefusalCase{"NewTextEmpty", {{"a.htm", true}}, "cat", "",
            {"message Oops|Please enter the information you would like to "
             "replace it with."}},
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

// One run over `before`, every entry selected; `after` is the whole folder.
struct DocumentCase {
  const char* name;
  Files before;
  std::vector<std::string> selected;
  const char* search;
  int updated;
  Files after;
  const char* reported;  // in the failure message, or "" for none
  const char* read_only = "";
};

void PrintTo(const DocumentCase& c, std::ostream* out) { *out << c.name; }

class UpdateDocumentTest : public ::testing::TestWithParam<DocumentCase> {};

TEST_P(UpdateDocumentTest, RewritesWhatItCanAndKeepsEveryOriginal) {
  const DocumentCase& c = GetParam();
  TempFolder folder;
  folder.Write(c.before);
  if (*c.read_only) {
    ASSERT_EQ(::chmod(folder.file(c.read_only).c_str(), 0444), 0);
  }
  engine::Selection entries;
  for (const std::string& name : c.selected) entries.push_back({name, true});
  RecordingReporter reporter;

  EXPECT_EQ(
      engine::UpdateRun(folder.path(), entries, c.search, "dog", reporter),
      c.updated);

  EXPECT_EQ(folder.Contents(), c.after);
  const bool failed = *c.reported != '\0';
  ASSERT_EQ(reporter.messages.size(), (failed ? 1u : 0u) + (c.updated > 0));
  if (failed) {
    EXPECT_THAT(reporter.messages[0], HasSubstr("Oops..|"));
    EXPECT_THAT(reporter.messages[0], HasSubstr(c.reported));
  }
  if (c.updated > 0) {
    EXPECT_EQ(reporter.messages.back(),
              "Job Complete.|Successfully updated " +
                  std::to_string(c.updated) +
                  " documents. Backup copies of each file archived "
                  "successfully.");
  } else {
    // Every selected document failed: no "No files selected" on top.
    EXPECT_EQ(reporter.calls.back(), "value 0");
  }
}

// clang-format off
INSTANTIATE_TEST_SUITE_P(
    Documents, UpdateDocumentTest,
    ::testing::Values(
        DocumentCase{"BlanksAreASearchText", {{"a.htm", "a  b  c"}}, {"a.htm"},
            "  ", 1, {{"a.htm", "adogb  c\r\n"}, {"a.bac", "a  b  c"}}, ""},
        DocumentCase{"NoMatchAndEmptyStillCount",
            {{"plain.htm", "none\rhere"}, {"empty.htm", ""}},
            {"empty.htm", "plain.htm"}, "cat", 2,
            {{"plain.htm", "none\r\nhere\r\n"}, {"plain.bac", "none\rhere"},
             {"empty.htm", ""}, {"empty.bac", ""}}, ""},
        DocumentCase{"NewBackupReplacesOlder",
            {{"a.htm", "cat"}, {"a.bac", "older"}}, {"a.htm"}, "cat", 1,
            {{"a.htm", "dog\r\n"}, {"a.bac", "cat"}}, ""},
        DocumentCase{"TenThousandLinesButNotOneMore",
            {{"fits.htm", Lines(10000, "cat")}, {"long.htm", Lines(10001, "cat")}},
            {"fits.htm", "long.htm"}, "cat", 1,
            {{"fits.htm", Lines(10000, "dog")}, {"fits.bac", Lines(10000, "cat")},
             {"long.htm", Lines(10001, "cat")}, {"long.bac", Lines(10001, "cat")}},
            "long.htm: it has more than 10,000 lines"},
        DocumentCase{"SharedBackupNameKeepsTheFirstOriginal",
            {{"about.asp", "asp cat"}, {"about.htm", "htm cat"}},
            {"about.asp", "about.htm"}, "cat", 1,
            {{"about.asp", "asp dog\r\n"}, {"about.bac", "asp cat"},
             {"about.htm", "htm cat"}}, "about.htm: its backup"},
        DocumentCase{"OwnBackupName", {{"xbac", "cat"}}, {"xbac"}, "cat", 0,
            {{"xbac", "cat"}}, "its own backup"},
        DocumentCase{"ReadOnlyIsBackedUpButKept", {{"locked.htm", "cat"}},
            {"locked.htm"}, "cat", 0,
            {{"locked.htm", "cat"}, {"locked.bac", "cat"}}, "read-only",
            "locked.htm"},
        DocumentCase{"MissingDocumentAndTheRunGoesOn", {{"b.htm", "cat"}},
            {"a.htm", "b.htm"}, "cat", 1,
            {{"b.htm", "dog\r\n"}, {"b.bac", "cat"}},
            "a.htm: the document is gone"}),
    [](const auto& info) { return std::string(info.param.name); });
// clang-format on

TEST(UpdateRunTest, RewriteKeepsPermissionsAndLinks) {
  TempFolder folder;
  folder.Write({{"real.htm", "cat\r\n"}});
  ASSERT_EQ(::chmod(folder.file("real.htm").c_str(), 0640), 0);
  ASSERT_EQ(::symlink("real.htm", folder.file("link.htm").c_str()), 0);
  RecordingReporter reporter;

  EXPECT_EQ(engine::UpdateRun(folder.path(), {{"link.htm", true}}, "cat", "dog",
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
}

TEST(UpdateRunTest, ManyFailuresNameTwentyAndCountTheRest) {
  engine::Selection entries;
  for (int i = 0; i < 25; ++i) {
    entries.push_back({"gone" + std::to_string(i) + ".htm", true});
  }
  TempFolder folder;
  RecordingReporter reporter;
  EXPECT_EQ(engine::UpdateRun(folder.path(), entries, "cat", "dog", reporter),
            0);
  ASSERT_EQ(reporter.messages.size(), 1u);
  EXPECT_THAT(reporter.messages[0], HasSubstr("gone19.htm"));
  EXPECT_THAT(reporter.messages[0], ::testing::Not(HasSubstr("gone20.htm")));
  EXPECT_THAT(reporter.messages[0], HasSubstr("and 5 more"));
}

}  // namespace
