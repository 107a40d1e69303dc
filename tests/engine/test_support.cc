#include "tests/engine/test_support.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>

namespace testing_support {

namespace fs = std::filesystem;

TempFolder::TempFolder() {
  std::string pattern =
      (fs::temp_directory_path() / "vantrel-test-XXXXXX").string();
  if (::mkdtemp(pattern.data()) == nullptr) ADD_FAILURE() << "mkdtemp failed";
  path_ = pattern;
}

TempFolder::~TempFolder() {
  std::error_code ignored;
  // Read-only files made by a test must not stop the cleanup.
  for (auto& entry : fs::recursive_directory_iterator(path_, ignored)) {
    fs::permissions(entry.path(), fs::perms::owner_all,
                    fs::perm_options::add | fs::perm_options::nofollow,
                    ignored);
  }
  fs::remove_all(path_, ignored);
}

void TempFolder::Write(const std::map<std::string, std::string>& files) const {
  for (const auto& [name, contents] : files) WriteFile(file(name), contents);
}

std::map<std::string, std::string> TempFolder::Contents() const {
  return ContentsOf(path_);
}

std::map<std::string, std::string> TempFolder::ContentsOf(
    const std::string& folder) {
  std::map<std::string, std::string> result;
  for (const auto& entry : fs::directory_iterator(folder)) {
    result[entry.path().filename().string()] = ReadFile(entry.path());
  }
  return result;
}

void WriteFile(const std::string& path, const std::string& contents) {
  std::ofstream out(path, std::ios::binary | std::ios::trunc);
  out << contents;
  if (!out) ADD_FAILURE() << "could not write " << path;
}

std::string ReadFile(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  std::ostringstream contents;
  contents << in.rdbuf();
  return contents.str();
}

void RecordingReporter::showWorkingOn(const std::string& text) {
  calls.push_back("working " + text);
}
void RecordingReporter::showOperation(const std::string& text) {
  calls.push_back("operation " + text);
}
void RecordingReporter::setProgressRange(int minimum, int maximum) {
  calls.push_back("range " + std::to_string(minimum) + " " +
                  std::to_string(maximum));
}
void RecordingReporter::setProgressValue(int value) {
  calls.push_back("value " + std::to_string(value));
}
void RecordingReporter::showMessage(const std::string& prompt,
                                    const std::string& title) {
  calls.push_back("message " + title + "|" + prompt);
  messages.push_back(title + "|" + prompt);
}
void RecordingReporter::disableUpdate() { calls.push_back("disable"); }
void RecordingReporter::refreshList() { calls.push_back("refresh"); }

namespace {

std::string ShortName(const std::string& path) {
  std::string name = path.substr(path.find_last_of('/') + 1);
  return name.rfind(".vantrel-", 0) == 0 ? "tmp" : name;
}

class LoggingFile : public engine::WritableFile {
 public:
  LoggingFile(LoggingFileSystem& owner, std::string path,
              std::unique_ptr<engine::WritableFile> file)
      : owner_(owner), path_(std::move(path)), file_(std::move(file)) {}

  engine::Status Append(std::string_view data) override {
    if (!owner_.Fails("append", path_)) return file_->Append(data);
    file_->Append(data.substr(0, data.size() / 2));
    return LoggingFileSystem::Injected(path_);
  }
  engine::Status SetAttribute(const std::string& name,
                              const std::string& value) override {
    if (owner_.Fails("record", path_))
      return LoggingFileSystem::Injected(path_);
    return file_->SetAttribute(name, value);
  }
  void CopyAttributesFrom(const std::string& path,
                          const engine::FileAttributes& from) override {
    file_->CopyAttributesFrom(path, from);
  }
  engine::Status Sync() override {
    return owner_.Fails("sync", path_) ? LoggingFileSystem::Injected(path_)
                                       : file_->Sync();
  }
  engine::Status Close() override {
    engine::Status status = file_->Close();
    return owner_.Fails("close", path_) ? LoggingFileSystem::Injected(path_)
                                        : status;
  }

 private:
  LoggingFileSystem& owner_;
  std::string path_;
  std::unique_ptr<engine::WritableFile> file_;
};

// Logs and fails the flush that goes through a folder's lock.
class LoggingLock : public engine::FolderLock {
 public:
  LoggingLock(LoggingFileSystem& owner, std::string folder,
              std::unique_ptr<engine::FolderLock> lock)
      : owner_(owner), folder_(std::move(folder)), lock_(std::move(lock)) {}
  engine::Status SyncFileSystem() override {
    return owner_.Fails("syncfs", folder_)
               ? LoggingFileSystem::Injected(folder_)
               : lock_->SyncFileSystem();
  }

 private:
  LoggingFileSystem& owner_;
  std::string folder_;
  std::unique_ptr<engine::FolderLock> lock_;
};

}  // namespace

LoggingFileSystem::LoggingFileSystem(int fail_at)
    : ForwardingFileSystem(engine::FileSystem::Default()), fail_at_(fail_at) {}

bool LoggingFileSystem::Fails(const std::string& operation,
                              const std::string& path) {
  std::lock_guard<std::mutex> lock(mutex_);
  log.push_back(operation + " " + ShortName(path));
  if (on_call) on_call(log.back());
  if (static_cast<int>(log.size()) - 1 != fail_at_) return false;
  fault_injected = true;
  return true;
}

std::vector<std::ptrdiff_t> LoggingFileSystem::Positions(
    const std::string& prefix) const {
  std::vector<std::ptrdiff_t> found;
  for (std::size_t i = 0; i < log.size(); ++i) {
    if (log[i].rfind(prefix, 0) == 0)
      found.push_back(static_cast<std::ptrdiff_t>(i));
  }
  return found;
}

std::ptrdiff_t LoggingFileSystem::Position(const std::string& prefix) const {
  auto found = std::find_if(log.begin(), log.end(), [&](const auto& entry) {
    return entry.rfind(prefix, 0) == 0;
  });
  EXPECT_NE(found, log.end()) << "nothing logged as " << prefix;
  return found - log.begin();
}

engine::Status LoggingFileSystem::NewTemporaryFile(
    const std::string& folder, const engine::FileAttributes& like,
    std::unique_ptr<engine::WritableFile>* file, std::string* path) {
  if (Fails("create", ".vantrel-")) return Injected(folder);
  engine::Status status = Forward().NewTemporaryFile(folder, like, file, path);
  if (status.ok()) {
    *file = std::make_unique<LoggingFile>(*this, *path, std::move(*file));
  }
  return status;
}
engine::Status LoggingFileSystem::LockFolder(
    const std::string& folder, std::unique_ptr<engine::FolderLock>* lock) {
  if (Fails("lock", folder)) return Injected(folder);
  engine::Status status = Forward().LockFolder(folder, lock);
  if (status.ok()) {
    *lock = std::make_unique<LoggingLock>(*this, folder, std::move(*lock));
  }
  return status;
}

}  // namespace testing_support
