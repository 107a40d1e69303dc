// Helpers shared by the engine tests: a fresh temporary folder, whole-file
// reads and writes, a reporter that records every call, and a file system
// that fails one named operation on matching paths.

#ifndef VANTREL_TESTS_ENGINE_TEST_SUPPORT_H_
#define VANTREL_TESTS_ENGINE_TEST_SUPPORT_H_

#include <string>
#include <vector>

#include "engine/file_system.h"
#include "engine/run_reporter.h"

namespace testing_support {

// A new empty folder, removed with everything in it on destruction.
class TempFolder {
 public:
  TempFolder();
  ~TempFolder();
  TempFolder(const TempFolder&) = delete;
  TempFolder& operator=(const TempFolder&) = delete;

  const std::string& path() const { return path_; }
  std::string file(const std::string& name) const { return path_ + "/" + name; }
  // Names in the folder, sorted.
  std::vector<std::string> names() const;

 private:
  std::string path_;
};

void WriteFile(const std::string& path, const std::string& contents);
std::string ReadFile(const std::string& path);
bool Exists(const std::string& path);

// Records every reporter call as one text, such as "value 2" or
// "message Job Complete.|Successfully updated 2 ...".
class RecordingReporter : public engine::RunReporter {
 public:
  void showWorkingOn(const std::string& text) override;
  void showOperation(const std::string& text) override;
  void setProgressRange(int minimum, int maximum) override;
  void setProgressValue(int value) override;
  void showMessage(const std::string& prompt,
                   const std::string& title) override;
  void disableUpdate() override;
  void refreshList() override;

  std::vector<std::string> calls;
  // Only the showMessage calls, as "title|prompt".
  std::vector<std::string> messages;
};

enum class Operation {
  kGetAttributes,
  kResolvePath,
  kReadFile,
  kNewWritableFile,
  kAppend,
  kSync,
  kClose,
  kRename,
  kDelete,
  kSyncFolder,
  kListFolder,
};
const char* OperationName(Operation operation);

// Fails `operation` on every path that contains `path_part`, with the
// reason "injected fault".  A failed Append writes half its data first, as
// a full disk would.
class FaultyFileSystem : public engine::ForwardingFileSystem {
 public:
  FaultyFileSystem(Operation operation, std::string path_part);

  engine::Status GetAttributes(const std::string& path,
                               engine::FileAttributes* attributes) override;
  engine::Status ResolvePath(const std::string& path,
                             std::string* real) override;
  engine::Status ReadFile(const std::string& path,
                          std::string* contents) override;
  engine::Status NewWritableFile(
      const std::string& path, const engine::FileAttributes& like,
      std::unique_ptr<engine::WritableFile>* file) override;
  engine::Status RenameFile(const std::string& from,
                            const std::string& to) override;
  engine::Status DeleteFile(const std::string& path) override;
  engine::Status SyncFolder(const std::string& path) override;
  engine::Status ListFolder(const std::string& path,
                            std::vector<std::string>* names) override;

  bool Fails(Operation operation, const std::string& path) const;
  int faults_injected() const { return faults_injected_; }
  void CountFault() { ++faults_injected_; }

 private:
  Operation operation_;
  std::string path_part_;
  int faults_injected_ = 0;
};

}  // namespace testing_support

#endif  // VANTREL_TESTS_ENGINE_TEST_SUPPORT_H_
