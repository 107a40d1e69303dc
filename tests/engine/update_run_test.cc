#include "engine/update_run.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include "tests/engine/test_support.h"

namespace {

using ::testing::ElementsAre;
using ::testing::HasSubstr;
using testing_support::Exists;
using testing_support::ReadFile;
using testing_support::RecordingReporter;
using testing_support::TempFolder;
using testing_support::WriteFile;

const char kSuccess2[] =
    "message Job Complete.|Successfully updated 2 documents. Backup copies of "
    "each file archived successfully.";

class UpdateRunTest : public ::testing::Test {
 protected:
  std::int32_t Run(const engine::Selection& entries, const std::string& search,
                   const std::string& new_text) {
    return engine::UpdateRun(folder_.path(), entries, search, new_text,
                             reporter_);
  }

  TempFolder folder_;
  RecordingReporter reporter_;
};

TEST_F(UpdateRunTest, WorkedExampleReportsEveryStepInOrder) {
  WriteFile(folder_.file("about.htm"), "A Cat sat\r\nno pets\r\n");
  WriteFile(folder_.file("index.htm"), "cat\r\n");
  WriteFile(folder_.file("news.asp"), "cat, CAT and cat\r\n");

  EXPECT_EQ(Run({{"about.htm", true}, {"index.htm", false}, {"news.asp", true}},
                "cat", "dog"),
            2);

  const std::string about = folder_.file("about.htm");
  const std::string news = folder_.file("news.asp");
  EXPECT_THAT(
      reporter_.calls,
      ElementsAre("range 0 3", "value 0", "working " + about,
                  "operation Scanning...", "operation Performing Backup...",
                  "operation Updating...", "value 1", "value 2",
                  "working " + news, "operation Scanning...",
                  "operation Performing Backup...", "operation Updating...",
                  "value 3", kSuccess2, "value 0", "disable",
                  "working Parsing Engine Idle.", "operation Completed."));
  EXPECT_EQ(ReadFile(about), "A dog sat\r\nno pets\r\n");
  EXPECT_EQ(ReadFile(folder_.file("about.bac")), "A Cat sat\r\nno pets\r\n");
  EXPECT_EQ(ReadFile(news), "dog, CAT and cat\r\n");
  EXPECT_EQ(ReadFile(folder_.file("news.bac")), "cat, CAT and cat\r\n");
  EXPECT_EQ(ReadFile(folder_.file("index.htm")), "cat\r\n");
  EXPECT_FALSE(Exists(folder_.file("index.bac")));
  // Nothing is left behind but documents and their backups.
  EXPECT_THAT(folder_.names(),
              ElementsAre("about.bac", "about.htm", "index.htm", "news.asp",
                          "news.bac"));
}

struct RefusalCase {
  const char* name;
  engine::Selection entries;
  const char* search;
  const char* new_text;
  std::vector<std::string> calls;
};

void PrintTo(const RefusalCase& c, std::ostream* out) { *out << c.name; }

class UpdateRefusalTest : public UpdateRunTest,
                          public ::testing::WithParamInterface<RefusalCase> {};

TEST_P(UpdateRefusalTest, ChangesNothingAndSaysWhy) {
  WriteFile(folder_.file("a.htm"), "cat\r\n");
  const RefusalCase& c = GetParam();
  EXPECT_EQ(Run(c.entries, c.search, c.new_text), 0);
  EXPECT_EQ(reporter_.calls, c.calls);
  EXPECT_EQ(ReadFile(folder_.file("a.htm")), "cat\r\n");
  EXPECT_FALSE(Exists(folder_.file("a.bac")));
}

INSTANTIATE_TEST_SUITE_P(
    Inputs, UpdateRefusalTest,
    ::testing::Values(
        RefusalCase{"BothTextsEmpty",
                    {{"a.htm", true}},
                    "",
                    "",
                    {"message Oops|Please enter the information you would "
                     "like replaced."}},
        RefusalCase{"NewTextEmpty",
                    {{"a.htm", true}},
                    "cat",
                    "",
                    {"message Oops|Please enter the information you would "
                     "like to replace it with."}},
        RefusalCase{"NothingSelected",
                    {{"a.htm", false}},
                    "cat",
                    "dog",
                    {"range 0 1", "value 0", "value 1",
                     "message Oops..|No files selected to modify.", "value 0"}},
        RefusalCase{
            "EmptyList",
            {},
            "cat",
            "dog",
            {"range 0 0", "value 0",
             "message Oops..|No files selected to modify.", "value 0"}}),
    [](const auto& info) { return std::string(info.param.name); });

TEST_F(UpdateRunTest, BlankSearchTextIsAcceptedAndOneDocumentSaysDocuments) {
  WriteFile(folder_.file("a.htm"), "a  b  c\r\n");
  EXPECT_EQ(Run({{"a.htm", true}}, "  ", "_"), 1);
  EXPECT_EQ(ReadFile(folder_.file("a.htm")), "a_b  c\r\n");
  EXPECT_THAT(reporter_.messages,
              ElementsAre("Job Complete.|Successfully updated 1 documents. "
                          "Backup copies of each file archived successfully."));
}

TEST_F(UpdateRunTest, DocumentWithoutMatchOrBytesIsStillRewrittenAndCounted) {
  WriteFile(folder_.file("plain.htm"), "nothing\rhere");
  WriteFile(folder_.file("empty.htm"), "");
  EXPECT_EQ(Run({{"empty.htm", true}, {"plain.htm", true}}, "cat", "dog"), 2);
  EXPECT_EQ(ReadFile(folder_.file("plain.htm")), "nothing\r\nhere\r\n");
  EXPECT_EQ(ReadFile(folder_.file("empty.htm")), "");
  EXPECT_TRUE(Exists(folder_.file("empty.bac")));
}

TEST_F(UpdateRunTest, NewBackupReplacesAnOlderOne) {
  WriteFile(folder_.file("a.htm"), "cat one\r\n");
  WriteFile(folder_.file("a.bac"), "a much older and longer backup\r\n");
  EXPECT_EQ(Run({{"a.htm", true}}, "cat", "dog"), 1);
  EXPECT_EQ(ReadFile(folder_.file("a.bac")), "cat one\r\n");
}

TEST_F(UpdateRunTest, TenThousandLinesAreRewrittenButNotOneMore) {
  std::string ten_thousand;
  for (int i = 0; i < 10000; ++i) ten_thousand += "cat\r\n";
  WriteFile(folder_.file("fits.htm"), ten_thousand);
  WriteFile(folder_.file("long.htm"), ten_thousand + "cat\r\n");

  EXPECT_EQ(Run({{"fits.htm", true}, {"long.htm", true}}, "cat", "dog"), 1);

  EXPECT_EQ(ReadFile(folder_.file("fits.htm")).substr(0, 10), "dog\r\ndog\r\n");
  EXPECT_EQ(ReadFile(folder_.file("long.htm")), ten_thousand + "cat\r\n");
  EXPECT_EQ(ReadFile(folder_.file("long.bac")), ten_thousand + "cat\r\n");
  ASSERT_EQ(reporter_.messages.size(), 2u);
  EXPECT_THAT(reporter_.messages[0], HasSubstr("Oops..|"));
  EXPECT_THAT(reporter_.messages[0], HasSubstr(folder_.file("long.htm")));
  EXPECT_THAT(reporter_.messages[0], HasSubstr("more than 10,000 lines"));
  EXPECT_THAT(reporter_.messages[1], HasSubstr("Successfully updated 1 "));
}

TEST_F(UpdateRunTest, TwoDocumentsSharingABackupNameKeepTheFirstOriginal) {
  WriteFile(folder_.file("about.asp"), "asp cat\r\n");
  WriteFile(folder_.file("about.htm"), "htm cat\r\n");
  EXPECT_EQ(Run({{"about.asp", true}, {"about.htm", true}}, "cat", "dog"), 1);
  EXPECT_EQ(ReadFile(folder_.file("about.bac")), "asp cat\r\n");
  EXPECT_EQ(ReadFile(folder_.file("about.asp")), "asp dog\r\n");
  EXPECT_EQ(ReadFile(folder_.file("about.htm")), "htm cat\r\n");
  ASSERT_FALSE(reporter_.messages.empty());
  EXPECT_THAT(reporter_.messages[0], HasSubstr(folder_.file("about.htm")));
}

TEST_F(UpdateRunTest, EveryFailureAloneIsNotCalledANoSelection) {
  WriteFile(folder_.file("xbac"), "cat\r\n");
  EXPECT_EQ(Run({{"xbac", true}}, "cat", "dog"), 0);
  EXPECT_EQ(ReadFile(folder_.file("xbac")), "cat\r\n");
  ASSERT_EQ(reporter_.messages.size(), 1u);
  EXPECT_THAT(reporter_.messages[0], HasSubstr("Oops..|This document could"));
  EXPECT_THAT(reporter_.messages[0], HasSubstr("its own backup"));
  EXPECT_EQ(reporter_.calls.back(), "value 0");
  EXPECT_THAT(reporter_.calls, ::testing::Not(::testing::Contains("disable")));
}

TEST_F(UpdateRunTest, ReadOnlyDocumentIsBackedUpButNotRewritten) {
  WriteFile(folder_.file("locked.htm"), "cat\r\n");
  ASSERT_EQ(::chmod(folder_.file("locked.htm").c_str(), 0444), 0);
  EXPECT_EQ(Run({{"locked.htm", true}}, "cat", "dog"), 0);
  EXPECT_EQ(ReadFile(folder_.file("locked.htm")), "cat\r\n");
  EXPECT_EQ(ReadFile(folder_.file("locked.bac")), "cat\r\n");
  ASSERT_EQ(reporter_.messages.size(), 1u);
  EXPECT_THAT(reporter_.messages[0], HasSubstr("read-only"));
}

TEST_F(UpdateRunTest, RewriteKeepsPermissionsAndLinks) {
  WriteFile(folder_.file("real.htm"), "cat\r\n");
  ASSERT_EQ(::chmod(folder_.file("real.htm").c_str(), 0640), 0);
  ASSERT_EQ(::symlink("real.htm", folder_.file("link.htm").c_str()), 0);

  EXPECT_EQ(Run({{"link.htm", true}}, "cat", "dog"), 1);

  struct stat link_info;
  ASSERT_EQ(::lstat(folder_.file("link.htm").c_str(), &link_info), 0);
  EXPECT_TRUE(S_ISLNK(link_info.st_mode));
  EXPECT_EQ(ReadFile(folder_.file("real.htm")), "dog\r\n");
  EXPECT_EQ(ReadFile(folder_.file("link.bac")), "cat\r\n");
  struct stat info;
  ASSERT_EQ(::stat(folder_.file("real.htm").c_str(), &info), 0);
  EXPECT_EQ(info.st_mode & 07777, 0640u);
  ASSERT_EQ(::stat(folder_.file("link.bac").c_str(), &info), 0);
  EXPECT_EQ(info.st_mode & 07777, 0640u);
}

TEST_F(UpdateRunTest, MissingDocumentIsReportedAndTheRunGoesOn) {
  WriteFile(folder_.file("b.htm"), "cat\r\n");
  EXPECT_EQ(Run({{"a.htm", true}, {"b.htm", true}}, "cat", "dog"), 1);
  EXPECT_EQ(ReadFile(folder_.file("b.htm")), "dog\r\n");
  ASSERT_EQ(reporter_.messages.size(), 2u);
  EXPECT_THAT(reporter_.messages[0], HasSubstr(folder_.file("a.htm")));
}

TEST_F(UpdateRunTest, ManyFailuresNameTwentyAndCountTheRest) {
  engine::Selection entries;
  for (int i = 0; i < 25; ++i) {
    entries.push_back({"gone" + std::to_string(i) + ".htm", true});
  }
  EXPECT_EQ(Run(entries, "cat", "dog"), 0);
  ASSERT_EQ(reporter_.messages.size(), 1u);
  EXPECT_THAT(reporter_.messages[0], HasSubstr("gone19.htm"));
  EXPECT_THAT(reporter_.messages[0], ::testing::Not(HasSubstr("gone20.htm")));
  EXPECT_THAT(reporter_.messages[0], HasSubstr("and 5 more"));
}

TEST_F(UpdateRunTest, ListLongerThanAFileListCanHoldIsRefused) {
  WriteFile(folder_.file("a.htm"), "cat\r\n");
  engine::Selection entries(32768, {"a.htm", true});
  EXPECT_EQ(Run(entries, "cat", "dog"), 0);
  EXPECT_EQ(ReadFile(folder_.file("a.htm")), "cat\r\n");
  ASSERT_EQ(reporter_.calls.size(), 1u);
  EXPECT_THAT(reporter_.calls[0], HasSubstr("message Oops..|"));
}

}  // namespace
