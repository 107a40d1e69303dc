#include "engine/restore_run.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include "engine/update_run.h"
#include "tests/engine/test_support.h"

namespace {

using ::testing::ElementsAre;
using ::testing::HasSubstr;
using testing_support::Exists;
using testing_support::ReadFile;
using testing_support::RecordingReporter;
using testing_support::TempFolder;
using testing_support::WriteFile;

class RestoreRunTest : public ::testing::Test {
 protected:
  void Run(const std::string& type, const engine::Selection& entries) {
    engine::RestoreRun(type, folder_.path(), entries, reporter_);
  }

  TempFolder folder_;
  RecordingReporter reporter_;
};

TEST_F(RestoreRunTest, WorkedExampleRestoresSelectedBackupsInOrder) {
  WriteFile(folder_.file("about.bac"), "about original");
  WriteFile(folder_.file("about.HTM"), "about updated");
  WriteFile(folder_.file("index.bac"), "index original");
  WriteFile(folder_.file("news.bac"), "news original");

  Run("HTM", {{"about.bac", true}, {"index.bac", false}, {"news.bac", true}});

  EXPECT_THAT(reporter_.calls,
              ElementsAre("range 0 3", "value 0", "value 1", "value 2",
                          "refresh", "value 0",
                          "message Complete.|2 archived files successfully "
                          "restored."));
  EXPECT_THAT(folder_.names(),
              ElementsAre("about.HTM", "index.bac", "news.HTM"));
  EXPECT_EQ(ReadFile(folder_.file("about.HTM")), "about original");
  EXPECT_EQ(ReadFile(folder_.file("news.HTM")), "news original");
}

TEST_F(RestoreRunTest, ChooseIsRefusedAndNothingIsTouched) {
  WriteFile(folder_.file("a.bac"), "x");
  Run("<Choose>", {{"a.bac", true}});
  EXPECT_THAT(reporter_.calls,
              ElementsAre("message Oops...|Please select a file type to "
                          "restore to."));
  EXPECT_THAT(folder_.names(), ElementsAre("a.bac"));
}

struct TypeCase {
  const char* name;
  const char* type;
  const char* restored_name;
};

void PrintTo(const TypeCase& c, std::ostream* out) { *out << c.name; }

class RestoreTypeTest : public RestoreRunTest,
                        public ::testing::WithParamInterface<TypeCase> {};

TEST_P(RestoreTypeTest, TypeTextIsAppendedAsTyped) {
  WriteFile(folder_.file("page.bac"), "content");
  Run(GetParam().type, {{"page.bac", true}});
  EXPECT_THAT(folder_.names(), ElementsAre(GetParam().restored_name));
  EXPECT_EQ(ReadFile(folder_.file(GetParam().restored_name)), "content");
}

INSTANTIATE_TEST_SUITE_P(
    Types, RestoreTypeTest,
    ::testing::Values(TypeCase{"Lower", "htm", "page.htm"},
                      TypeCase{"Longer", "html", "page.html"},
                      TypeCase{"TwoLetters", "MV", "page.MV"},
                      TypeCase{"Empty", "", "page."},
                      TypeCase{"Choose_lowercase", "<choose>",
                               "page.<choose>"}),
    [](const auto& info) { return std::string(info.param.name); });

TEST_F(RestoreRunTest, DocumentUnderAnotherCaseIsTheOneReplaced) {
  WriteFile(folder_.file("index.htm"), "updated");
  WriteFile(folder_.file("index.bac"), "original");
  Run("HTM", {{"index.bac", true}});
  EXPECT_THAT(folder_.names(), ElementsAre("index.htm"));
  EXPECT_EQ(ReadFile(folder_.file("index.htm")), "original");
}

TEST_F(RestoreRunTest, TwoCandidatesUnderOtherCasesAreLeftAlone) {
  WriteFile(folder_.file("index.htm"), "one");
  WriteFile(folder_.file("index.Htm"), "two");
  WriteFile(folder_.file("index.bac"), "original");
  Run("HTM", {{"index.bac", true}});
  EXPECT_THAT(folder_.names(),
              ElementsAre("index.HTM", "index.Htm", "index.htm"));
  EXPECT_EQ(ReadFile(folder_.file("index.HTM")), "original");
}

TEST_F(RestoreRunTest, ReadOnlyDocumentKeepsItsBackup) {
  WriteFile(folder_.file("a.htm"), "kept");
  WriteFile(folder_.file("a.bac"), "original");
  ASSERT_EQ(::chmod(folder_.file("a.htm").c_str(), 0444), 0);
  Run("htm", {{"a.bac", true}});
  EXPECT_EQ(ReadFile(folder_.file("a.htm")), "kept");
  EXPECT_EQ(ReadFile(folder_.file("a.bac")), "original");
  ASSERT_EQ(reporter_.messages.size(), 2u);
  EXPECT_THAT(reporter_.messages[0], HasSubstr("Oops...|"));
  EXPECT_THAT(reporter_.messages[0], HasSubstr("read-only"));
  EXPECT_EQ(reporter_.messages[1],
            "Complete.|0 archived files successfully restored.");
}

TEST_F(RestoreRunTest, UpdateThenRestoreGivesBackEveryByte) {
  const std::string tricky =
      "Cat\r\nlone\nLF cat\rCR only cat\r\n\xff\xfe cat \xc3\x89t\xc3\xa9";
  WriteFile(folder_.file("a.htm"), tricky);
  WriteFile(folder_.file("b.cfm"), "cat");
  RecordingReporter update_reporter;
  ASSERT_EQ(
      engine::UpdateRun(folder_.path(), {{"a.htm", true}, {"b.cfm", true}},
                        "cat", "dog", update_reporter),
      2);
  ASSERT_NE(ReadFile(folder_.file("a.htm")), tricky);

  Run("htm", {{"a.bac", true}});
  Run("cfm", {{"b.bac", true}});

  EXPECT_EQ(ReadFile(folder_.file("a.htm")), tricky);
  EXPECT_EQ(ReadFile(folder_.file("b.cfm")), "cat");
  EXPECT_THAT(folder_.names(), ElementsAre("a.htm", "b.cfm"));
}

TEST_F(RestoreRunTest, LinkedDocumentStaysALink) {
  WriteFile(folder_.file("real.htm"), "updated");
  ASSERT_EQ(::symlink("real.htm", folder_.file("page.htm").c_str()), 0);
  WriteFile(folder_.file("page.bac"), "original");
  Run("htm", {{"page.bac", true}});
  struct stat info;
  ASSERT_EQ(::lstat(folder_.file("page.htm").c_str(), &info), 0);
  EXPECT_TRUE(S_ISLNK(info.st_mode));
  EXPECT_EQ(ReadFile(folder_.file("real.htm")), "original");
}

TEST_F(RestoreRunTest, TypeBacWouldCopyTheBackupOntoItself) {
  WriteFile(folder_.file("a.bac"), "original");
  Run("bac", {{"a.bac", true}});
  EXPECT_EQ(ReadFile(folder_.file("a.bac")), "original");
  ASSERT_EQ(reporter_.messages.size(), 2u);
  EXPECT_THAT(reporter_.messages[0], HasSubstr("onto itself"));
}

}  // namespace
