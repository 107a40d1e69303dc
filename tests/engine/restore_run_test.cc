#include "engine/restore_run.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <sys/xattr.h>
#include <unistd.h>

#include <cstring>

#include "engine/backup_record.h"
#include "engine/update_run.h"
#include "tests/engine/test_support.h"

namespace {

using ::testing::ElementsAre;
using ::testing::HasSubstr;
using testing_support::ReadFile;
using testing_support::RecordingReporter;
using testing_support::TempFolder;

using Files = std::map<std::string, std::string>;

TEST(RestoreRunTest, WorkedExampleRestoresSelectedBackupsInOrder) {
  TempFolder folder;
  folder.Write({{"about.bac", "about original"},
                {"about.HTM", "about updated"},
                {"index.bac", "index original"},
                {"news.bac", "news original"}});
  RecordingReporter reporter;

  RestoreInWindow(
      "HTM", folder.path(),
      {{"about.bac", true}, {"index.bac", false}, {"news.bac", true}},
      reporter);

  EXPECT_THAT(reporter.calls,
              ElementsAre("range 0 3", "value 0", "value 1", "value 2",
                          "refresh", "value 0",
                          "message Complete.|2 archived files successfully "
                          "restored."));
  EXPECT_EQ(folder.Contents(), (Files{{"about.HTM", "about original"},
                                      {"index.bac", "index original"},
                                      {"news.HTM", "news original"}}));
}

// One restore of page.bac ("original") as `type` over `before`.
struct RestoreCase {
  const char* name;
  const char* type;
  Files before;
  Files after;
  const char* reported;  // in the failure message, or "" for none
  const char* read_only = "";
  const char* record = "";  // the document page.bac records, if any
};

void PrintTo(const RestoreCase& c, std::ostream* out) { *out << c.name; }

class RestoreCaseTest : public ::testing::TestWithParam<RestoreCase> {};

TEST_P(RestoreCaseTest, RestoresAsTypedOrKeepsTheBackup) {
  const RestoreCase& c = GetParam();
  TempFolder folder;
  folder.Write({{"page.bac", "original"}});
  folder.Write(c.before);
  if (*c.read_only) {
    ASSERT_EQ(::chmod(folder.file(c.read_only).c_str(), 0444), 0);
  }
  if (*c.record && ::setxattr(folder.file("page.bac").c_str(),
                              engine::kDocumentRecordAttribute, c.record,
                              std::strlen(c.record), 0) != 0) {
    GTEST_SKIP() << "no extended attributes here";
  }
  RecordingReporter reporter;

  RestoreInWindow(c.type, folder.path(), {{"page.bac", true}}, reporter);

  EXPECT_EQ(folder.Contents(), c.after);
  const bool failed = *c.reported != '\0';
  ASSERT_EQ(reporter.messages.size(), failed ? 2u : 1u);
  if (failed) {
    EXPECT_THAT(reporter.messages[0], HasSubstr(c.reported));
  }
  EXPECT_EQ(reporter.messages.back(),
            std::string("Complete.|") + (failed ? "0" : "1") +
                " archived files successfully restored.");
}

// clang-format off
INSTANTIATE_TEST_SUITE_P(
    Types, RestoreCaseTest,
    ::testing::Values(
        RestoreCase{"LowerCase", "htm", {}, {{"page.htm", "original"}}, ""},
        RestoreCase{"Longer", "html", {}, {{"page.html", "original"}}, ""},
        RestoreCase{"TwoLetters", "MV", {}, {{"page.MV", "original"}}, ""},
        RestoreCase{"EmptyIsAsRecorded", "", {}, {{"page.bac", "original"}},
            "does not record the document"},
        RestoreCase{"ChooseInOtherCase", "<choose>", {},
            {{"page.<choose>", "original"}}, ""},
        // Undo must replace the document it came from, whatever its case.
        RestoreCase{"DocumentUnderOtherCase", "HTM", {{"page.htm", "updated"}},
            {{"page.htm", "original"}}, ""},
        RestoreCase{"TwoCandidatesKeepTheBackup", "HTM",
            {{"page.htm", "one"}, {"page.Htm", "two"}},
            {{"page.htm", "one"}, {"page.Htm", "two"}, {"page.bac", "original"}},
            "only in letter case"},
        RestoreCase{"TwoCandidatesTheRecordPicks", "HTM",
            {{"page.htm", "one"}, {"page.Htm", "two"}},
            {{"page.htm", "original"}, {"page.Htm", "two"}}, "", "",
            "page.htm"},
        RestoreCase{"MissingDocumentTakesTheRecordedName", "HTM", {},
            {{"page.htm", "original"}}, "", "", "page.htm"},
        RestoreCase{"ReadOnlyDocumentKeepsItsBackup", "htm",
            {{"page.htm", "kept"}},
            {{"page.htm", "kept"}, {"page.bac", "original"}}, "read-only",
            "page.htm"}),
    [](const auto& info) { return std::string(info.param.name); });
// clang-format on

TEST(RestoreRunTest, UpdateThenRestoreGivesBackEveryByte) {
  const Files originals = {
      {"a.htm",
       "Cat\r\nlone\nLF cat\rCR only cat\r\n\xff\xfe cat \xc3\x89t\xc3\xa9"},
      {"b.cfm", "cat"}};
  TempFolder folder;
  folder.Write(originals);
  RecordingReporter reporter;
  ASSERT_EQ(UpdateInWindow(folder.path(), {{"a.htm", true}, {"b.cfm", true}},
                           "cat", "dog", reporter),
            2);
  ASSERT_NE(folder.Contents(), originals);

  RestoreInWindow("htm", folder.path(), {{"a.bac", true}}, reporter);
  RestoreInWindow("cfm", folder.path(), {{"b.bac", true}}, reporter);

  EXPECT_EQ(folder.Contents(), originals);
}

TEST(RestoreRunTest, AWholeSiteIsUpdatedAndRestoredFolderByFolder) {
  TempFolder root;
  const std::string site = root.file("site");
  for (const char* folder : {"site", "site/products", "site/news",
                             "site/news/2019", "site/locked"}) {
    ASSERT_EQ(::mkdir(root.file(folder).c_str(), 0755), 0);
  }
  const Files originals = {{"outside.htm", "cat"},
                           {"site/index.htm", "cat\r\n"},
                           {"site/products/widget.htm", "Cat\n"},
                           {"site/news/2019/a.asp", "a cat"},
                           {"site/locked/b.htm", "cat"}};
  for (const auto& [name, contents] : originals) {
    testing_support::WriteFile(root.file(name), contents);
  }
  // Another run holds one of the folders.
  std::unique_ptr<engine::FolderLock> other;
  ASSERT_TRUE(engine::FileSystem::Default()
                  .LockFolder(root.file("site/locked"), &other)
                  .ok());
  RecordingReporter reporter;
  EXPECT_EQ(UpdateInWindow(site,
                           {{"index.htm", true},
                            {"products/widget.htm", true},
                            {"news/2019/a.asp", true},
                            {"locked/b.htm", true},
                            {"../outside.htm", true},
                            {"products//widget.htm", true},
                            {"/etc/passwd", true}},
                           "cat", "dog", reporter),
            3);
  ASSERT_FALSE(reporter.messages.empty());
  EXPECT_THAT(
      reporter.messages[0],
      HasSubstr("another update or restore is working in " + site + "/locked"));
  for (const char* name :
       {"../outside.htm", "products//widget.htm", "/etc/passwd"}) {
    EXPECT_THAT(reporter.messages[0],
                HasSubstr(name + std::string(": its name leads out")));
  }
  EXPECT_EQ(ReadFile(root.file("site/products/widget.bac")), "Cat\n");
  EXPECT_EQ(ReadFile(root.file("site/news/2019/a.asp")), "a dog");
  other.reset();

  RestoreInWindow("htm", site,
                  {{"index.bac", true}, {"products/widget.bac", true}},
                  reporter);
  RestoreInWindow("asp", site, {{"news/2019/a.bac", true}}, reporter);
  for (const auto& [name, contents] : originals) {
    EXPECT_EQ(ReadFile(root.file(name)), contents) << name;
  }
  EXPECT_EQ(reporter.messages.back(),
            "Complete.|1 archived files successfully restored.");
}

TEST(RestoreRunTest, AsRecordedPutsEveryTypeBackInOneRun) {
  TempFolder folder;
  folder.Write({{"a.htm", "cat"}, {"b.asp", "cat"}, {"page.html", "cat"}});
  RecordingReporter reporter;
  ASSERT_EQ(
      UpdateInWindow(folder.path(),
                     {{"a.htm", true}, {"b.asp", true}, {"page.html", true}},
                     "cat", "dog", reporter),
      3);
  std::string record;
  bool present = false;
  ASSERT_TRUE(engine::FileSystem::Default()
                  .GetAttribute(folder.file("a.bac"),
                                engine::kDocumentRecordAttribute, &record,
                                &present)
                  .ok());
  if (!present) GTEST_SKIP() << "no extended attributes here";
  folder.Write({{"n.bac", "no record"}});

  RestoreInWindow("", folder.path(),
                  {{"a.bac", true},
                   {"b.bac", true},
                   {"n.bac", true},
                   {"page.html.bac", true}},
                  reporter);

  EXPECT_EQ(folder.Contents(), (Files{{"a.htm", "cat"},
                                      {"b.asp", "cat"},
                                      {"n.bac", "no record"},
                                      {"page.html", "cat"}}));
  EXPECT_THAT(reporter.messages[reporter.messages.size() - 2],
              HasSubstr("n.bac: it does not record the document"));
}

}  // namespace
