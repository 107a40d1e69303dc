// The order of the file steps is what makes a power cut safe: a backup (or
// a restored copy) must be on stable storage, name included, before the
// only other copy of the content is deleted.

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <algorithm>

#include "engine/restore_run.h"
#include "engine/update_run.h"
#include "tests/engine/test_support.h"

namespace {

using testing_support::RecordingReporter;
using testing_support::TempFolder;
using testing_support::WriteFile;

// Logs "Operation path" for every call that changes the disk.
class LoggingFileSystem : public engine::ForwardingFileSystem {
 public:
  LoggingFileSystem() : ForwardingFileSystem(engine::FileSystem::Default()) {}

  engine::Status NewWritableFile(
      const std::string& path, const engine::FileAttributes& like,
      std::unique_ptr<engine::WritableFile>* file) override {
    log.push_back("create " + Short(path));
    engine::Status status =
        ForwardingFileSystem::NewWritableFile(path, like, file);
    if (status.ok()) {
      *file =
          std::make_unique<LoggingFile>(*this, Short(path), std::move(*file));
    }
    return status;
  }
  engine::Status RenameFile(const std::string& from,
                            const std::string& to) override {
    log.push_back("rename " + Short(from) + " " + Short(to));
    return ForwardingFileSystem::RenameFile(from, to);
  }
  engine::Status DeleteFile(const std::string& path) override {
    log.push_back("delete " + Short(path));
    return ForwardingFileSystem::DeleteFile(path);
  }
  engine::Status SyncFolder(const std::string& path) override {
    log.push_back("syncfolder");
    return ForwardingFileSystem::SyncFolder(path);
  }

  // Where the first entry of log that starts with prefix stands.
  std::ptrdiff_t Position(const std::string& prefix) const {
    auto found = std::find_if(log.begin(), log.end(), [&](const auto& entry) {
      return entry.rfind(prefix, 0) == 0;
    });
    EXPECT_NE(found, log.end()) << "no " << prefix;
    return found - log.begin();
  }

  std::vector<std::string> log;

 private:
  // Temporary names differ from run to run; the tests only need "tmp".
  static std::string Short(const std::string& path) {
    std::string name = path.substr(path.find_last_of('/') + 1);
    return name.rfind(".vantrel-", 0) == 0 ? "tmp" : name;
  }

  class LoggingFile : public engine::WritableFile {
   public:
    LoggingFile(LoggingFileSystem& owner, std::string name,
                std::unique_ptr<engine::WritableFile> file)
        : owner_(owner), name_(std::move(name)), file_(std::move(file)) {}
    engine::Status Append(std::string_view data) override {
      return file_->Append(data);
    }
    engine::Status Sync() override {
      owner_.log.push_back("sync " + name_);
      return file_->Sync();
    }
    engine::Status Close() override { return file_->Close(); }

   private:
    LoggingFileSystem& owner_;
    std::string name_;
    std::unique_ptr<engine::WritableFile> file_;
  };
};

TEST(DurabilityTest, BackupIsOnDiskBeforeTheDocumentIsDeleted) {
  TempFolder folder;
  WriteFile(folder.file("a.htm"), "cat\r\n");
  LoggingFileSystem fs;
  RecordingReporter reporter;
  ASSERT_EQ(engine::UpdateRun(folder.path(), {{"a.htm", true}}, "cat", "dog",
                              reporter, fs),
            1);
  EXPECT_LT(fs.Position("sync tmp"), fs.Position("rename tmp a.bac"));
  EXPECT_LT(fs.Position("rename tmp a.bac"), fs.Position("syncfolder"));
  EXPECT_LT(fs.Position("syncfolder"), fs.Position("delete a.htm"));
  EXPECT_LT(fs.Position("delete a.htm"), fs.Position("create a.htm"));
}

TEST(DurabilityTest, RestoredCopyIsOnDiskBeforeTheBackupIsDeleted) {
  TempFolder folder;
  WriteFile(folder.file("a.bac"), "original");
  WriteFile(folder.file("a.htm"), "updated");
  LoggingFileSystem fs;
  RecordingReporter reporter;
  engine::RestoreRun("htm", folder.path(), {{"a.bac", true}}, reporter, fs);
  EXPECT_LT(fs.Position("delete a.htm"), fs.Position("create tmp"));
  EXPECT_LT(fs.Position("sync tmp"), fs.Position("rename tmp a.htm"));
  EXPECT_LT(fs.Position("rename tmp a.htm"), fs.Position("syncfolder"));
  EXPECT_LT(fs.Position("syncfolder"), fs.Position("delete a.bac"));
  EXPECT_EQ(testing_support::ReadFile(folder.file("a.htm")), "original");
}

}  // namespace
