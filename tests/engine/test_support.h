// Helpers shared by the engine tests: a fresh temporary folder, whole-file
// reads and writes, a reporter that records every call, and a file system
// that logs what it is asked to do and can fail one operation on matching
// paths.

#ifndef VANTREL_TESTS_ENGINE_TEST_SUPPORT_H_
#define VANTREL_TESTS_ENGINE_TEST_SUPPORT_H_

#include <functional>
#include <map>
#include <mutex>
#include <string>
#include <vector>

#include "engine/file_system.h"
#include "ui/widgets/run_window.h"

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
  // Writes each name's contents into the folder.
  void Write(const std::map<std::string, std::string>& files) const;
  // Every file of the folder with its contents (links read through).
  std::map<std::string, std::string> Contents() const;
  // The same for any folder.
  static std::map<std::string, std::string> ContentsOf(
      const std::string& folder);

 private:
  std::string path_;
};

void WriteFile(const std::string& path, const std::string& contents);
std::string ReadFile(const std::string& path);

// Records every reporter call as one text, such as "value 2" or
// "message Job Complete.|Successfully updated 2 ...".
class RecordingReporter : public RunWindow {
 public:
  void showWorkingOn(const std::string& text) override;
  void showOperation(const std::string& text) override;
  void setProgressRange(int minimum, int maximum) override;
  void setProgressValue(int value) override;
  void showMessage(const std::string& prompt,
                   const std::string& title) override;
  void disableUpdate() override;
  void refreshList() override;
  bool stopRequested() override { return stop_requested; }

  bool stop_requested = false;  // what stopRequested answers
  std::vector<std::string> calls;
  std::vector<std::string> messages;  // "title|prompt"
};

// Logs "operation name" for each call ("sync tmp", "rename a.htm"; the
// engine's temporary files are all called "tmp") and, when asked, fails the
// call that the log numbers fail_at (counted from 0).  A failed append
// writes half its data first, as a full disk would.  on_call lets a test
// act at a chosen moment of a run (ask it to stop, say).
class LoggingFileSystem : public engine::ForwardingFileSystem {
 public:
  using Status = engine::Status;
  using Attributes = engine::FileAttributes;
  using Names = std::vector<std::string>;

  explicit LoggingFileSystem(int fail_at = -1);

  Status GetAttributes(const std::string& path, Attributes* out) override {
    return Fails("attributes", path) ? Injected(path)
                                     : Forward().GetAttributes(path, out);
  }
  Status ResolvePath(const std::string& path, std::string* real) override {
    return Fails("resolve", path) ? Injected(path)
                                  : Forward().ResolvePath(path, real);
  }
  Status ReadFile(const std::string& path, Attributes* out,
                  std::string* contents) override {
    return Fails("read", path) ? Injected(path)
                               : Forward().ReadFile(path, out, contents);
  }
  Status NewTemporaryFile(const std::string& folder, const Attributes& like,
                          std::unique_ptr<engine::WritableFile>* file,
                          std::string* path) override;
  Status GetAttribute(const std::string& path, const std::string& name,
                      std::string* value, bool* present) override {
    return Fails("getrecord", path)
               ? Injected(path)
               : Forward().GetAttribute(path, name, value, present);
  }
  Status RenameFile(const std::string& from, const std::string& to) override {
    return Fails("rename", to) ? Injected(to) : Forward().RenameFile(from, to);
  }
  Status RenameToNewName(const std::string& from,
                         const std::string& to) override {
    return Fails("rename", to) ? Injected(to)
                               : Forward().RenameToNewName(from, to);
  }
  Status DeleteFile(const std::string& path) override {
    return Fails("delete", path) ? Injected(path) : Forward().DeleteFile(path);
  }
  Status SyncFolder(const std::string& path) override {
    return Fails("syncfolder", path) ? Injected(path)
                                     : Forward().SyncFolder(path);
  }
  Status ListFolder(const std::string& path, Names* names) override {
    return Fails("list", path) ? Injected(path)
                               : Forward().ListFolder(path, names);
  }
  Status LockFolder(const std::string& folder,
                    std::unique_ptr<engine::FolderLock>* lock) override;

  // Logs the call; true when it is to fail.  Safe from several threads.
  bool Fails(const std::string& operation, const std::string& path);
  // Where the first log entry that starts with prefix stands.
  std::ptrdiff_t Position(const std::string& prefix) const;
  // Where every log entry that starts with prefix stands.
  std::vector<std::ptrdiff_t> Positions(const std::string& prefix) const;
  static Status Injected(const std::string& path) {
    return Status::Error(path, "injected fault");
  }

  std::vector<std::string> log;
  bool fault_injected = false;
  // Called with each log entry as it is made, before the call goes on.
  std::function<void(const std::string& entry)> on_call;

 private:
  engine::FileSystem& Forward() { return target(); }
  int fail_at_;
  std::mutex mutex_;
};

}  // namespace testing_support

#endif  // VANTREL_TESTS_ENGINE_TEST_SUPPORT_H_
