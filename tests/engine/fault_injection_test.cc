// Fails every file operation of a run in turn, one per run, and checks the
// files afterwards: each document holds its old or its complete new
// content, a new content always has the original in its backup, an older
// backup survives wherever the document was left alone, every document left
// alone is named, and no temporary file remains.  Also checks the order
// that makes a power cut safe.

#include <gmock/gmock.h>
#include <gtest/gtest.h>
#include <unistd.h>

#include "engine/restore_run.h"
#include "engine/update_run.h"
#include "tests/engine/test_support.h"

namespace {

using ::testing::HasSubstr;
using testing_support::LoggingFileSystem;
using testing_support::ReadFile;
using testing_support::RecordingReporter;
using testing_support::TempFolder;
using Files = std::map<std::string, std::string>;

bool NoTemporaryFileLeft(const TempFolder& folder) {
  for (const auto& [name, contents] : folder.Contents()) {
    if (name.rfind(".vantrel-", 0) == 0) return false;
  }
  return true;
}

std::string AllMessages(const RecordingReporter& reporter) {
  std::string all;
  for (const std::string& message : reporter.messages) all += message + "\n";
  return all;
}

// How many operations a run makes when nothing fails.
template <typename Run>
int OperationsOfACleanRun(const Run& run) {
  TempFolder folder;
  LoggingFileSystem fs;
  RecordingReporter reporter;
  run(folder, fs, reporter);
  return static_cast<int>(fs.log.size());
}

struct Document {
  const char* name;
  const char* original;
  const char* rewritten;  // "" when the text is not in it
  const char* older_backup = nullptr;
};

// four.htm is a link to four.real, so that links meet the faults too.
const Document kDocuments[] = {
    {"one.htm", "cat one\r\nsecond cat\r\n", "dog one\r\nsecond dog\r\n"},
    {"two.htm", "Cat two\rthird\nline CAT", "dog two\rthird\nline dog"},
    {"three.asp", "three cat\r\n", "three dog\r\n", "older three"},
    {"plain.htm", "no match\r\n", "", "older plain"},
    {"four.htm", "four cat\r\n", "four dog\r\n"}};

std::string BackupOf(const std::string& name) {
  return name.substr(0, name.size() - 3) + "bac";
}

void UpdateAll(TempFolder& folder, LoggingFileSystem& fs,
               RecordingReporter& reporter, std::int32_t* updated = nullptr) {
  engine::Selection entries;
  for (const Document& d : kDocuments) {
    const bool link = std::string(d.name) == "four.htm";
    testing_support::WriteFile(folder.file(link ? "four.real" : d.name),
                               d.original);
    if (link) ::symlink("four.real", folder.file(d.name).c_str());
    if (d.older_backup) {
      testing_support::WriteFile(folder.file(BackupOf(d.name)), d.older_backup);
    }
    entries.push_back({d.name, true});
  }
  const std::int32_t count =
      UpdateInWindow(folder.path(), entries, "cat", "dog", reporter, fs);
  if (updated) *updated = count;
}

TEST(UpdateFaultTest, EveryFailedStepKeepsEveryOriginalAndIsTold) {
  const int operations =
      OperationsOfACleanRun([](TempFolder& f, LoggingFileSystem& fs,
                               RecordingReporter& r) { UpdateAll(f, fs, r); });
  ASSERT_GT(operations, 20);
  for (int fail_at = 0; fail_at < operations; ++fail_at) {
    TempFolder folder;
    LoggingFileSystem fs(fail_at);
    RecordingReporter reporter;
    std::int32_t updated = 0;
    UpdateAll(folder, fs, reporter, &updated);
    SCOPED_TRACE("failed: " + fs.log[static_cast<std::size_t>(fail_at)]);
    ASSERT_TRUE(fs.fault_injected);

    const Files after = folder.Contents();
    const std::string messages = AllMessages(reporter);
    int rewritten = 0;
    for (const Document& d : kDocuments) {
      const std::string now = after.at(d.name);
      const auto backup = after.find(BackupOf(d.name));
      const std::string backup_now =
          backup == after.end() ? "(none)" : backup->second;
      if (*d.rewritten != '\0' && now == d.rewritten) {
        ++rewritten;
        EXPECT_EQ(backup_now, d.original) << d.name;
        continue;
      }
      EXPECT_EQ(now, d.original) << d.name << " is neither old nor new";
      // A document left as it was keeps its last undo point.
      EXPECT_EQ(backup_now, d.older_backup ? d.older_backup : "(none)")
          << d.name << " lost its older backup";
      if (*d.rewritten != '\0') {
        EXPECT_TRUE(messages.find(d.name) != std::string::npos ||
                    messages.find("Nothing was changed") != std::string::npos)
            << d.name << " was left without a word:\n"
            << messages;
      }
    }
    EXPECT_EQ(updated, rewritten);
    EXPECT_TRUE(NoTemporaryFileLeft(folder));
  }
}

void RestoreAll(TempFolder& folder, LoggingFileSystem& fs,
                RecordingReporter& reporter) {
  // three has no document yet: the run must create it.
  folder.Write({{"one.bac", "one original"},
                {"three.bac", "three original"},
                {"two.bac", "two original"},
                {"one.htm", "updated"},
                {"two.htm", "updated"}});
  RestoreInWindow("htm", folder.path(),
                  {{"one.bac", true}, {"three.bac", true}, {"two.bac", true}},
                  reporter, fs);
}

TEST(RestoreFaultTest, BackupIsKeptUnlessItsCopyIsInPlace) {
  const int operations = OperationsOfACleanRun(RestoreAll);
  ASSERT_GT(operations, 10);
  for (int fail_at = 0; fail_at < operations; ++fail_at) {
    TempFolder folder;
    LoggingFileSystem fs(fail_at);
    RecordingReporter reporter;
    RestoreAll(folder, fs, reporter);
    SCOPED_TRACE("failed: " + fs.log[static_cast<std::size_t>(fail_at)]);
    ASSERT_TRUE(fs.fault_injected);

    const Files after = folder.Contents();
    const std::string messages = AllMessages(reporter);
    if (messages.find("Nothing was changed") != std::string::npos) {
      EXPECT_EQ(after.size(), 5u);
      EXPECT_EQ(after.at("one.htm"), "updated");
      continue;
    }
    int restored = 0;
    for (const std::string name : {"one", "two", "three"}) {
      const std::string original = name + " original";
      const auto document = after.find(name + ".htm");
      const auto backup = after.find(name + ".bac");
      const bool back = document != after.end() && document->second == original;
      const bool kept = backup != after.end() && backup->second == original;
      EXPECT_TRUE(back || kept) << name << " was lost";
      if (back && !kept) {
        ++restored;
      } else {
        EXPECT_THAT(messages, HasSubstr(name + ".bac"));
      }
      if (!back && document != after.end()) {
        EXPECT_EQ(document->second, "updated") << name;
      }
    }
    EXPECT_EQ(reporter.messages.back(),
              "Complete.|" + std::to_string(restored) +
                  " archived files successfully restored.");
    EXPECT_TRUE(NoTemporaryFileLeft(folder));
  }
}

TEST(DurabilityTest, EachCopyIsOnDiskBeforeTheOtherIsReplaced) {
  TempFolder folder;
  folder.Write({{"a.htm", "cat\r\n"}, {"a.bac", "older backup"}});
  LoggingFileSystem update;
  RecordingReporter reporter;
  ASSERT_EQ(UpdateInWindow(folder.path(), {{"a.htm", true}}, "cat", "dog",
                           reporter, update),
            1);
  // Backup and new content flushed, the backup named, the name flushed;
  // only then the document.
  const std::vector<std::ptrdiff_t> flushes = update.Positions("syncfs");
  ASSERT_GE(flushes.size(), 2u);
  EXPECT_LT(flushes[0], update.Position("rename a.bac"));
  EXPECT_LT(update.Position("rename a.bac"), flushes[1]);
  EXPECT_LT(flushes[1], update.Position("rename a.htm"));
  EXPECT_EQ(std::count(update.log.begin(), update.log.end(), "append tmp"), 2);

  // The copy flushed, named, the name flushed; only then the backup goes.
  LoggingFileSystem restore;
  RestoreInWindow("htm", folder.path(), {{"a.bac", true}}, reporter, restore);
  const std::vector<std::ptrdiff_t> restore_flushes =
      restore.Positions("syncfs");
  ASSERT_GE(restore_flushes.size(), 2u);
  EXPECT_LT(restore_flushes[0], restore.Position("rename a.htm"));
  EXPECT_LT(restore.Position("rename a.htm"), restore_flushes[1]);
  EXPECT_LT(restore_flushes[1], restore.Position("delete a.bac"));
  EXPECT_EQ(ReadFile(folder.file("a.htm")), "cat\r\n");
}

}  // namespace
