// Fails each file operation of a run in turn and checks that no document's
// original content is ever lost and that every failure is told.

#include <gmock/gmock.h>
#include <gtest/gtest.h>
#include <unistd.h>

#include <map>

#include "engine/line_table.h"
#include "engine/matcher.h"
#include "engine/restore_run.h"
#include "engine/update_run.h"
#include "tests/engine/test_support.h"

namespace {

using ::testing::HasSubstr;
using testing_support::Exists;
using testing_support::FaultyFileSystem;
using testing_support::Operation;
using testing_support::ReadFile;
using testing_support::RecordingReporter;
using testing_support::TempFolder;
using testing_support::WriteFile;

struct Fault {
  Operation operation;
  const char* path_part;
};

void PrintTo(const Fault& fault, std::ostream* out) {
  *out << testing_support::OperationName(fault.operation) << " on *"
       << fault.path_part << "*";
}

std::string FaultName(const ::testing::TestParamInfo<Fault>& info) {
  std::string name = testing_support::OperationName(info.param.operation);
  for (const char* c = info.param.path_part; *c; ++c) {
    if (std::isalnum(static_cast<unsigned char>(*c))) name += *c;
  }
  return name;
}

std::string Rewritten(const std::string& original) {
  engine::LineTable table;
  EXPECT_TRUE(table.Split(original));
  std::string out;
  table.Rewrite(engine::Matcher("cat"), "dog", &out);
  return out;
}

bool NoTemporaryFilesLeft(const TempFolder& folder) {
  for (const std::string& name : folder.names()) {
    if (name.rfind(".vantrel-", 0) == 0) return false;
  }
  return true;
}

class UpdateFaultTest : public ::testing::TestWithParam<Fault> {
 protected:
  // Document name -> (backup name, original content).  four.htm is a link
  // to four.real, so that link handling meets the faults too.
  const std::map<std::string, std::pair<std::string, std::string>> documents_ =
      {{"one.htm", {"one.bac", "cat one\r\nsecond cat\r\n"}},
       {"two.htm", {"two.bac", "Cat two\rthird\nline CAT"}},
       {"three.asp", {"three.bac", "three cat\r\n"}},
       {"four.htm", {"four.bac", "four cat\r\n"}}};
};

TEST_P(UpdateFaultTest, OriginalIsAlwaysInTheDocumentOrItsBackup) {
  TempFolder folder;
  engine::Selection entries;
  for (const auto& [name, document] : documents_) {
    if (name == "four.htm") {
      WriteFile(folder.file("four.real"), document.second);
      ASSERT_EQ(::symlink("four.real", folder.file(name).c_str()), 0);
    } else {
      WriteFile(folder.file(name), document.second);
    }
    entries.push_back({name, true});
  }
  FaultyFileSystem fs(GetParam().operation, GetParam().path_part);
  RecordingReporter reporter;

  const std::int32_t updated =
      engine::UpdateRun(folder.path(), entries, "cat", "dog", reporter, fs);

  ASSERT_GT(fs.faults_injected(), 0) << "the fault was never reached";
  int rewritten = 0;
  for (const auto& [name, document] : documents_) {
    const auto& [backup, original] = document;
    const std::string now = ReadFile(folder.file(name));
    const bool has_backup = Exists(folder.file(backup)) &&
                            ReadFile(folder.file(backup)) == original;
    if (now == Rewritten(original)) {
      ++rewritten;
      EXPECT_TRUE(has_backup) << name << " was rewritten without a backup";
    } else if (now != original) {
      EXPECT_TRUE(has_backup) << name << " lost its original";
    }
  }
  // A document whose close failed may hold the full rewrite yet not count.
  EXPECT_LE(updated, rewritten);
  EXPECT_LT(updated, 4);
  ASSERT_FALSE(reporter.messages.empty());
  EXPECT_THAT(reporter.messages[0], HasSubstr("Oops..|"));
  EXPECT_THAT(reporter.messages[0], HasSubstr("injected fault"));
  EXPECT_TRUE(NoTemporaryFilesLeft(folder));
}

INSTANTIATE_TEST_SUITE_P(
    EveryStep, UpdateFaultTest,
    ::testing::Values(Fault{Operation::kGetAttributes, "two.htm"},
                      Fault{Operation::kReadFile, "two.htm"},
                      Fault{Operation::kNewWritableFile, ".vantrel-"},
                      Fault{Operation::kAppend, ".vantrel-"},
                      Fault{Operation::kSync, ".vantrel-"},
                      Fault{Operation::kClose, ".vantrel-"},
                      Fault{Operation::kRename, "two.bac"},
                      Fault{Operation::kSyncFolder, "/"},
                      Fault{Operation::kDelete, "two.htm"},
                      Fault{Operation::kNewWritableFile, "two.htm"},
                      Fault{Operation::kAppend, "two.htm"},
                      Fault{Operation::kClose, "two.htm"},
                      Fault{Operation::kResolvePath, "four.htm"},
                      Fault{Operation::kDelete, "four.real"},
                      Fault{Operation::kAppend, "four.real"}),
    FaultName);

TEST(UpdateFaultTest, FailedBackupLeavesAnOlderBackupWhole) {
  TempFolder folder;
  WriteFile(folder.file("a.htm"), "cat\r\n");
  WriteFile(folder.file("a.bac"), "older backup\r\n");
  FaultyFileSystem fs(Operation::kAppend, ".vantrel-");
  RecordingReporter reporter;
  EXPECT_EQ(engine::UpdateRun(folder.path(), {{"a.htm", true}}, "cat", "dog",
                              reporter, fs),
            0);
  EXPECT_EQ(ReadFile(folder.file("a.bac")), "older backup\r\n");
  EXPECT_EQ(ReadFile(folder.file("a.htm")), "cat\r\n");
}

class RestoreFaultTest : public ::testing::TestWithParam<Fault> {
 protected:
  // Backup name -> (document name, backup content).  Three has no document
  // yet, so the run must create it.
  const std::map<std::string, std::pair<std::string, std::string>> backups_ = {
      {"one.bac", {"one.htm", "one original"}},
      {"three.bac", {"three.htm", "three original"}},
      {"two.bac", {"two.htm", "two original"}}};
};

TEST_P(RestoreFaultTest, BackupIsKeptUnlessItsCopyIsInPlace) {
  TempFolder folder;
  engine::Selection entries;
  for (const auto& [name, backup] : backups_) {
    WriteFile(folder.file(name), backup.second);
    if (name != "three.bac") WriteFile(folder.file(backup.first), "updated");
    entries.push_back({name, true});
  }
  FaultyFileSystem fs(GetParam().operation, GetParam().path_part);
  RecordingReporter reporter;

  engine::RestoreRun("htm", folder.path(), entries, reporter, fs);

  ASSERT_GT(fs.faults_injected(), 0) << "the fault was never reached";
  int restored = 0;
  for (const auto& [name, backup] : backups_) {
    const auto& [document, original] = backup;
    const bool backup_kept =
        Exists(folder.file(name)) && ReadFile(folder.file(name)) == original;
    const bool document_restored = Exists(folder.file(document)) &&
                                   ReadFile(folder.file(document)) == original;
    EXPECT_TRUE(backup_kept || document_restored) << name << " was lost";
    if (document_restored && !Exists(folder.file(name))) ++restored;
  }
  ASSERT_GE(reporter.messages.size(), 1u);
  const std::string closing = reporter.messages.back();
  EXPECT_EQ(closing, "Complete.|" + std::to_string(restored) +
                         " archived files successfully restored.");
  if (restored < 3) {
    ASSERT_EQ(reporter.messages.size(), 2u);
    EXPECT_THAT(reporter.messages[0], HasSubstr("Oops...|"));
  }
  EXPECT_TRUE(NoTemporaryFilesLeft(folder));
}

INSTANTIATE_TEST_SUITE_P(
    EveryStep, RestoreFaultTest,
    ::testing::Values(Fault{Operation::kGetAttributes, "two.bac"},
                      Fault{Operation::kGetAttributes, "two.htm"},
                      Fault{Operation::kDelete, "two.htm"},
                      Fault{Operation::kReadFile, "two.bac"},
                      Fault{Operation::kNewWritableFile, ".vantrel-"},
                      Fault{Operation::kAppend, ".vantrel-"},
                      Fault{Operation::kSync, ".vantrel-"},
                      Fault{Operation::kClose, ".vantrel-"},
                      Fault{Operation::kRename, "two.htm"},
                      Fault{Operation::kSyncFolder, "/"},
                      Fault{Operation::kDelete, "two.bac"},
                      Fault{Operation::kListFolder, "/"}),
    FaultName);

}  // namespace
