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
  char* made = ::mkdtemp(pattern.data());
  if (made == nullptr) ADD_FAILURE() << "mkdtemp failed";
  path_ = pattern;
}

TempFolder::~TempFolder() {
  std::error_code ignored;
  // Read-only files and folders made by a test must not stop the cleanup.
  for (auto& entry : fs::recursive_directory_iterator(path_, ignored)) {
    fs::permissions(entry.path(), fs::perms::owner_all,
                    fs::perm_options::add | fs::perm_options::nofollow,
                    ignored);
  }
  fs::permissions(path_, fs::perms::owner_all, fs::perm_options::add, ignored);
  fs::remove_all(path_, ignored);
}

std::vector<std::string> TempFolder::names() const {
  std::vector<std::string> result;
  for (const auto& entry : fs::directory_iterator(path_)) {
    result.push_back(entry.path().filename().string());
  }
  std::sort(result.begin(), result.end());
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

bool Exists(const std::string& path) {
  std::error_code ignored;
  return fs::exists(fs::symlink_status(path, ignored));
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

const char* OperationName(Operation operation) {
  switch (operation) {
    case Operation::kGetAttributes:
      return "GetAttributes";
    case Operation::kResolvePath:
      return "ResolvePath";
    case Operation::kReadFile:
      return "ReadFile";
    case Operation::kNewWritableFile:
      return "NewWritableFile";
    case Operation::kAppend:
      return "Append";
    case Operation::kSync:
      return "Sync";
    case Operation::kClose:
      return "Close";
    case Operation::kRename:
      return "Rename";
    case Operation::kDelete:
      return "Delete";
    case Operation::kSyncFolder:
      return "SyncFolder";
    case Operation::kListFolder:
      return "ListFolder";
  }
  return "?";
}

namespace {

engine::Status Injected(const std::string& path) {
  return engine::Status::Error(path, "injected fault");
}

class FaultyWritableFile : public engine::WritableFile {
 public:
  FaultyWritableFile(FaultyFileSystem& owner, std::string path,
                     std::unique_ptr<engine::WritableFile> file)
      : owner_(owner), path_(std::move(path)), file_(std::move(file)) {}

  engine::Status Append(std::string_view data) override {
    if (owner_.Fails(Operation::kAppend, path_)) {
      owner_.CountFault();
      file_->Append(data.substr(0, data.size() / 2));
      return Injected(path_);
    }
    return file_->Append(data);
  }
  engine::Status Sync() override {
    if (owner_.Fails(Operation::kSync, path_)) {
      owner_.CountFault();
      return Injected(path_);
    }
    return file_->Sync();
  }
  engine::Status Close() override {
    engine::Status status = file_->Close();
    if (owner_.Fails(Operation::kClose, path_)) {
      owner_.CountFault();
      return Injected(path_);
    }
    return status;
  }

 private:
  FaultyFileSystem& owner_;
  std::string path_;
  std::unique_ptr<engine::WritableFile> file_;
};

}  // namespace

FaultyFileSystem::FaultyFileSystem(Operation operation, std::string path_part)
    : ForwardingFileSystem(engine::FileSystem::Default()),
      operation_(operation),
      path_part_(std::move(path_part)) {}

bool FaultyFileSystem::Fails(Operation operation,
                             const std::string& path) const {
  return operation == operation_ && path.find(path_part_) != std::string::npos;
}

#define VANTREL_FAIL_IF(operation, path) \
  if (Fails(operation, path)) {          \
    CountFault();                        \
    return Injected(path);               \
  }

engine::Status FaultyFileSystem::GetAttributes(
    const std::string& path, engine::FileAttributes* attributes) {
  VANTREL_FAIL_IF(Operation::kGetAttributes, path);
  return ForwardingFileSystem::GetAttributes(path, attributes);
}
engine::Status FaultyFileSystem::ResolvePath(const std::string& path,
                                             std::string* real) {
  VANTREL_FAIL_IF(Operation::kResolvePath, path);
  return ForwardingFileSystem::ResolvePath(path, real);
}
engine::Status FaultyFileSystem::ReadFile(const std::string& path,
                                          std::string* contents) {
  VANTREL_FAIL_IF(Operation::kReadFile, path);
  return ForwardingFileSystem::ReadFile(path, contents);
}
engine::Status FaultyFileSystem::NewWritableFile(
    const std::string& path, const engine::FileAttributes& like,
    std::unique_ptr<engine::WritableFile>* file) {
  VANTREL_FAIL_IF(Operation::kNewWritableFile, path);
  std::unique_ptr<engine::WritableFile> real;
  engine::Status status =
      ForwardingFileSystem::NewWritableFile(path, like, &real);
  if (status.ok()) {
    *file = std::make_unique<FaultyWritableFile>(*this, path, std::move(real));
  }
  return status;
}
engine::Status FaultyFileSystem::RenameFile(const std::string& from,
                                            const std::string& to) {
  VANTREL_FAIL_IF(Operation::kRename, to);
  return ForwardingFileSystem::RenameFile(from, to);
}
engine::Status FaultyFileSystem::DeleteFile(const std::string& path) {
  VANTREL_FAIL_IF(Operation::kDelete, path);
  return ForwardingFileSystem::DeleteFile(path);
}
engine::Status FaultyFileSystem::SyncFolder(const std::string& path) {
  VANTREL_FAIL_IF(Operation::kSyncFolder, path);
  return ForwardingFileSystem::SyncFolder(path);
}
engine::Status FaultyFileSystem::ListFolder(const std::string& path,
                                            std::vector<std::string>* names) {
  VANTREL_FAIL_IF(Operation::kListFolder, path);
  return ForwardingFileSystem::ListFolder(path, names);
}

#undef VANTREL_FAIL_IF

}  // namespace testing_support
