// Fails each file operation of a run in turn and checks that no document's
// original content is ever lost and that every failure is told; and checks
// the order that makes a power cut safe: a backup (or a restored copy) is on
// stable storage, name included, before the other copy is deleted.

#include <gmock/gmock.h>
#include <gtest/gtest.h>
#include <unistd.h>

#include "engine/line_table.h"
#include "engine/matcher.h"
#include "engine/restore_run.h"
#include "engine/update_run.h"
#include "tests/engine/test_support.h"

namespace {

using ::testing::HasSubstr;
using testing_support::LoggingFileSystem;
using testing_support::ReadFile;
using testing_support::RecordingReporter;
using testing_support::TempFolder;

struct Fault {
  const char* operation;
  const char* path_part;
};

void PrintTo(const Fault& fault, std::ostream* out) {
  *out << fault.operation << " on *" << fault.path_part << "*";
}

std::string Rewritten(const std::string& original) {
  engine::LineTable table;
  EXPECT_TRUE(table.Split(original));
  std::string out;
  table.Rewrite(engine::Matcher("cat"), "dog", &out);
  return out;
}

bool NoTemporaryFileLeft(const TempFolder& folder) {
  for (const auto& [name, contents] : folder.Contents()) {
    if (name.rfind(".vantrel-", 0) == 0) return false;
  }
  return true;
}

// Document -> original content.  four.htm is a link to four.real, so that
// link handling meets the faults too.
const std::map<std::string, std::string> kDocuments = {
    {"one.htm", "cat one\r\nsecond cat\r\n"},
    {"two.htm", "Cat two\rthird\nline CAT"},
    {"three.asp", "three cat\r\n"},
    {"four.htm", "four cat\r\n"}};

class UpdateFaultTest : public ::testing::TestWithParam<Fault> {};

TEST_P(UpdateFaultTest, OriginalIsAlwaysInTheDocumentOrItsBackup) {
  TempFolder folder;
  engine::Selection entries;
  for (const auto& [name, original] : kDocuments) {
    const bool link = name == "four.htm";
    testing_support::WriteFile(folder.file(link ? "four.real" : name),
                               original);
    if (link) {
      ASSERT_EQ(::symlink("four.real", folder.file(name).c_str()), 0);
    }
    entries.push_back({name, true});
  }
  LoggingFileSystem fs(GetParam().operation, GetParam().path_part);
  RecordingReporter reporter;

  const std::int32_t updated =
      engine::UpdateRun(folder.path(), entries, "cat", "dog", reporter, fs);

  ASSERT_GT(fs.faults_injected, 0) << "the fault was never reached";
  const auto after = folder.Contents();
  int rewritten = 0;
  for (const auto& [name, original] : kDocuments) {
    const std::string backup = name.substr(0, name.size() - 3) + "bac";
    const bool has_backup = after.count(backup) && after.at(backup) == original;
    // A document that is gone counts as changed.
    const auto now = after.find(name);
    if (now != after.end() && now->second == Rewritten(original)) {
      ++rewritten;
      EXPECT_TRUE(has_backup) << name << " was rewritten without a backup";
    } else if (now == after.end() || now->second != original) {
      EXPECT_TRUE(has_backup) << name << " lost its original";
    }
  }
  // A document whose close failed may hold the full rewrite, yet not count.
  EXPECT_LE(updated, rewritten);
  EXPECT_LT(updated, 4);
  ASSERT_FALSE(reporter.messages.empty());
  EXPECT_THAT(reporter.messages[0], HasSubstr("Oops..|"));
  EXPECT_THAT(reporter.messages[0], HasSubstr("injected fault"));
  EXPECT_TRUE(NoTemporaryFileLeft(folder));
}

INSTANTIATE_TEST_SUITE_P(
    EveryStep, UpdateFaultTest,
    ::testing::Values(Fault{"attributes", "two.htm"}, Fault{"read", "two.htm"},
                      Fault{"create", ".vantrel-"},
                      Fault{"append", ".vantrel-"}, Fault{"sync", ".vantrel-"},
                      Fault{"close", ".vantrel-"}, Fault{"rename", "two.bac"},
                      Fault{"syncfolder", "/"}, Fault{"delete", "two.htm"},
                      Fault{"create", "two.htm"}, Fault{"append", "two.htm"},
                      Fault{"close", "two.htm"}, Fault{"resolve", "four.htm"},
                      Fault{"delete", "four.real"},
                      Fault{"append", "four.real"}));

class RestoreFaultTest : public ::testing::TestWithParam<Fault> {};

TEST_P(RestoreFaultTest, BackupIsKeptUnlessItsCopyIsInPlace) {
  TempFolder folder;
  // Three has no document yet: the run must create it.
  const std::map<std::string, std::string> backups = {
      {"one.bac", "one original"},
      {"three.bac", "three original"},
      {"two.bac", "two original"}};
  folder.Write(backups);
  folder.Write({{"one.htm", "updated"}, {"two.htm", "updated"}});
  LoggingFileSystem fs(GetParam().operation, GetParam().path_part);
  RecordingReporter reporter;

  engine::RestoreRun(
      "htm", folder.path(),
      {{"one.bac", true}, {"three.bac", true}, {"two.bac", true}}, reporter,
      fs);

  ASSERT_GT(fs.faults_injected, 0) << "the fault was never reached";
  const auto after = folder.Contents();
  int restored = 0;
  for (const auto& [backup, original] : backups) {
    const std::string document = backup.substr(0, backup.size() - 3) + "htm";
    const bool kept = after.count(backup) && after.at(backup) == original;
    const bool back = after.count(document) && after.at(document) == original;
    EXPECT_TRUE(kept || back) << backup << " was lost";
    if (back && !after.count(backup)) ++restored;
  }
  EXPECT_EQ(reporter.messages.back(),
            "Complete.|" + std::to_string(restored) +
                " archived files successfully restored.");
  if (restored < 3) {
    EXPECT_THAT(reporter.messages[0], HasSubstr("Oops...|"));
  }
  EXPECT_TRUE(NoTemporaryFileLeft(folder));
}

INSTANTIATE_TEST_SUITE_P(
    EveryStep, RestoreFaultTest,
    ::testing::Values(Fault{"attributes", "two.bac"},
                      Fault{"attributes", "two.htm"},
                      Fault{"delete", "two.htm"}, Fault{"read", "two.bac"},
                      Fault{"create", ".vantrel-"},
                      Fault{"append", ".vantrel-"}, Fault{"sync", ".vantrel-"},
                      Fault{"close", ".vantrel-"}, Fault{"rename", "two.htm"},
                      Fault{"syncfolder", "/"}, Fault{"delete", "two.bac"},
                      Fault{"list", "/"}));

TEST(DurabilityTest, EachCopyIsOnDiskBeforeTheOtherIsDeleted) {
  TempFolder folder;
  folder.Write({{"a.htm", "cat\r\n"}, {"a.bac", "older backup"}});
  LoggingFileSystem update;
  RecordingReporter reporter;
  ASSERT_EQ(engine::UpdateRun(folder.path(), {{"a.htm", true}}, "cat", "dog",
                              reporter, update),
            1);
  // The older backup survives a failed copy: it is replaced by a rename.
  EXPECT_LT(update.Position("sync tmp"), update.Position("rename a.bac"));
  EXPECT_LT(update.Position("rename a.bac"), update.Position("syncfolder"));
  EXPECT_LT(update.Position("syncfolder"), update.Position("delete a.htm"));

  LoggingFileSystem restore;
  engine::RestoreRun("htm", folder.path(), {{"a.bac", true}}, reporter,
                     restore);
  EXPECT_LT(restore.Position("sync tmp"), restore.Position("rename a.htm"));
  EXPECT_LT(restore.Position("rename a.htm"), restore.Position("syncfolder"));
  EXPECT_LT(restore.Position("syncfolder"), restore.Position("delete a.bac"));
  EXPECT_EQ(ReadFile(folder.file("a.htm")), "cat\r\n");
}

}  // namespace
