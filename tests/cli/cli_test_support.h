// Helpers for the vantrel-cli tests: they run the built program the way a
// shell would, with no shell in between, and look at the folders it worked
// on from the outside.

#ifndef VANTREL_TESTS_CLI_CLI_TEST_SUPPORT_H_
#define VANTREL_TESTS_CLI_CLI_TEST_SUPPORT_H_

#include <fcntl.h>
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <map>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

namespace cli_testing {

namespace fs = std::filesystem;
using Files = std::map<std::string, std::string>;
inline constexpr char kCli[] = VANTREL_CLI;

// A new empty folder under $TMPDIR (or /tmp), removed with everything in it
// on destruction.
class TempFolder {
 public:
  TempFolder() : path_(fs::temp_directory_path() / "vantrel-cli-XXXXXX") {
    if (::mkdtemp(path_.data()) == nullptr) ADD_FAILURE() << "no mkdtemp";
  }
  ~TempFolder() { fs::remove_all(path_); }
  TempFolder(const TempFolder&) = delete;
  TempFolder& operator=(const TempFolder&) = delete;

  const std::string& path() const { return path_; }
  std::string file(const std::string& name) const { return path_ + "/" + name; }
  // Writes each relative path's contents, making its folders first.
  void Write(const Files& files) const {
    for (const auto& [name, contents] : files) {
      fs::create_directories(fs::path(file(name)).parent_path());
      std::ofstream(file(name), std::ios::binary) << contents;
    }
  }

 private:
  std::string path_;
};

// Every entry below folder by relative path: a file's bytes, "<folder>" for
// a folder, "<other>" for anything else (never opened: a FIFO would hang).
// With stamps each entry also carries its inode, mode, size and change
// times, so that a file rewritten with the same bytes, or a folder that had
// a file come and go, no longer compares equal.
inline Files Tree(const std::string& folder, bool stamps = false) {
  Files tree;
  for (const auto& entry : fs::recursive_directory_iterator(folder)) {
    struct stat st {};
    ::lstat(entry.path().c_str(), &st);
    std::ostringstream value;
    if (stamps) {
      value << st.st_ino << ' ' << st.st_mode << ' ' << st.st_size << ' '
            << st.st_mtim.tv_sec << '.' << st.st_mtim.tv_nsec << ' '
            << st.st_ctim.tv_sec << '.' << st.st_ctim.tv_nsec << ' ';
    }
    if (S_ISREG(st.st_mode)) {
      value << std::ifstream(entry.path(), std::ios::binary).rdbuf();
    } else {
      value << (S_ISDIR(st.st_mode) ? "<folder>" : "<other>");
    }
    tree[fs::relative(entry.path(), folder)] = value.str();
  }
  return tree;
}

struct Result {
  int status = -1;  // the exit status, or 128 + the signal that ended it
  std::string out, err;
};

// A running program whose stdout and stderr are pipes, drained as it writes
// so that a long run never blocks on a full pipe.  stdin is closed, or the
// file input names.  LC_ALL is pinned to C.UTF-8 so that letter case
// follows the same rules wherever the tests run.
class Process {
 public:
  Process(const std::vector<std::string>& argv, const std::string& cwd,
          const std::string& input = "") {
    int out[2], err[2];
    EXPECT_EQ(::pipe2(out, O_CLOEXEC) | ::pipe2(err, O_CLOEXEC), 0);
    std::vector<char*> args;
    for (const auto& arg : argv) args.push_back(const_cast<char*>(arg.data()));
    args.push_back(nullptr);
    ::setenv("LC_ALL", "C.UTF-8", 1);
    pid_ = ::fork();
    if (pid_ == 0) {
      // Only async-signal-safe calls until exec.  A test runner started in
      // the background may pass SIGINT down ignored; the program must meet
      // the signals a user's shell would leave it.
      int in = input.empty() ? -1 : ::open(input.c_str(), O_RDONLY | O_CLOEXEC);
      in < 0 ? ::close(0) : ::dup2(in, 0);
      ::dup2(out[1], 1);
      ::dup2(err[1], 2);
      for (int signal : {SIGINT, SIGTERM, SIGPIPE}) ::signal(signal, SIG_DFL);
      if (::chdir(cwd.c_str()) == 0) ::execv(args[0], args.data());
      ::_exit(127);
    }
    EXPECT_GT(pid_, 0) << "fork failed";
    ::close(out[1]);
    ::close(err[1]);
    out_reader_ = std::thread(Drain, out[0], &result_.out);
    err_reader_ = std::thread(Drain, err[0], &result_.err);
  }
  ~Process() {
    if (pid_ > 0) ::kill(pid_, SIGKILL);
    Wait();
  }

  pid_t pid() const { return pid_; }
  // Kills the program when it is still running after timeout_seconds: a
  // hang must fail its test, not the whole test run.
  Result Wait(int timeout_seconds = 120) {
    int status = -1;  // stays so when nothing was started
    for (int waited_ms = 0; pid_ > 0; waited_ms += 5) {
      if (::waitpid(pid_, &status, WNOHANG) == pid_) break;
      if (waited_ms == timeout_seconds * 1000) {
        ADD_FAILURE() << "still running after " << timeout_seconds << " s";
        ::kill(pid_, SIGKILL);
      }
      ::usleep(5000);
    }
    pid_ = -1;
    if (out_reader_.joinable()) out_reader_.join();
    if (err_reader_.joinable()) err_reader_.join();
    result_.status = WIFEXITED(status)     ? WEXITSTATUS(status)
                     : WIFSIGNALED(status) ? 128 + WTERMSIG(status)
                                           : -1;
    return result_;
  }

 private:
  static void Drain(int fd, std::string* into) {
    char buffer[65536];
    for (ssize_t n; (n = ::read(fd, buffer, sizeof buffer)) > 0;) {
      into->append(buffer, n);
    }
    ::close(fd);
  }

  pid_t pid_ = -1;
  Result result_;
  std::thread out_reader_, err_reader_;
};

// vantrel-cli with args, run in cwd.
inline Result RunCli(std::vector<std::string> args, const std::string& cwd) {
  args.insert(args.begin(), kCli);
  return Process(args, cwd).Wait();
}

}  // namespace cli_testing

#endif  // VANTREL_TESTS_CLI_CLI_TEST_SUPPORT_H_
