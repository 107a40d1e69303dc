// The runs against what an attacker or an unlucky user can do to the files
// under them: folders swapped for links, documents that can't be replaced,
// owners that can't be kept, documents too large to hold.  Every case
// checks the files afterwards, not only the message.

#include <fcntl.h>
#include <gmock/gmock.h>
#include <grp.h>
#include <gtest/gtest.h>
#include <linux/fs.h>
#include <sys/ioctl.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <sys/xattr.h>
#include <unistd.h>

#include <cstdio>
#include <filesystem>
#include <functional>

#include "engine/backup_record.h"
#include "engine/preview.h"
#include "engine/restore_run.h"
#include "engine/update_run.h"
#include "tests/engine/test_support.h"

namespace {

using ::testing::HasSubstr;
using testing_support::LoggingFileSystem;
using testing_support::ReadFile;
using testing_support::RecordingReporter;
using testing_support::TempFolder;
using testing_support::WriteFile;
using Files = std::map<std::string, std::string>;

constexpr unsigned kNobody = 65534;

std::string Messages(const RecordingReporter& reporter) {
  std::string all;
  for (const std::string& message : reporter.messages) all += message + "\n";
  return all;
}

// Runs body in a child process and returns its exit status, or -1 when a
// signal ended it (an abort, say).
int InChild(const std::function<int()>& body) {
  std::fflush(nullptr);
  const pid_t child = ::fork();
  if (child == 0) ::_exit(body());
  int status = 0;
  ::waitpid(child, &status, 0);
  return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

// Updates entries of folder as the user nobody, whose only group is
// nogroup; the exit status is the number of documents updated.
int UpdateAsNobody(const std::string& folder,
                   const engine::Selection& entries) {
  return InChild([&] {
    if (::setgroups(0, nullptr) != 0 || ::setgid(kNobody) != 0 ||
        ::setuid(kNobody) != 0) {
      return 99;
    }
    RecordingReporter reporter;
    return static_cast<int>(
        UpdateInWindow(folder, entries, "cat", "dog", reporter));
  });
}

TEST(HostileTest, ASubfolderSwappedForALinkLeadsNowhere) {
  TempFolder folder;
  const std::string site = folder.file("site"), outside = folder.file("out");
  std::filesystem::create_directories(site + "/sub");
  std::filesystem::create_directories(outside);
  WriteFile(outside + "/a.htm", "cat");
  WriteFile(outside + "/b.bac", "cat");
  // Listed while sub was a folder, swapped before the run.
  std::filesystem::remove(site + "/sub");
  ASSERT_EQ(::symlink(outside.c_str(), (site + "/sub").c_str()), 0);

  RecordingReporter update, restore;
  EXPECT_EQ(UpdateInWindow(site, {{"sub/a.htm", true}}, "cat", "dog", update),
            0);
  RestoreInWindow("htm", site, {{"sub/b.bac", true}}, restore);
  engine::Preview preview;
  engine::PreviewRun(site, {{"sub/a.htm", true}}, "cat", "dog", &preview);

  EXPECT_EQ(TempFolder::ContentsOf(outside),
            (Files{{"a.htm", "cat"}, {"b.bac", "cat"}}));
  EXPECT_THAT(Messages(update), HasSubstr("sub/a.htm"));
  EXPECT_THAT(Messages(restore), HasSubstr("sub/b.bac"));
  ASSERT_EQ(preview.documents.size(), 1u);
  EXPECT_EQ(preview.documents[0].verdict,
            engine::PreviewDocument::Verdict::kRefused);
}

// A document that is a link to a file in another folder, whose folder an
// attacker swaps for a link to hers at a chosen step of the run, and back
// at a later one (when given).
void SwapTargetFolderAt(const std::string& step, int occurrence,
                        const std::string& back = "") {
  SCOPED_TRACE(step);
  TempFolder folder;
  const std::string site = folder.file("site"), target = folder.file("dir"),
                    real = folder.file("real"), evil = folder.file("evil");
  std::filesystem::create_directories(site);
  std::filesystem::create_directories(target);
  std::filesystem::create_directories(evil);
  WriteFile(target + "/x.htm", "cat");
  WriteFile(evil + "/x.htm", "her cat");
  ASSERT_EQ(::symlink((target + "/x.htm").c_str(), (site + "/a.htm").c_str()),
            0);
  LoggingFileSystem fs;
  int seen = 0;
  bool swapped = false;
  fs.on_call = [&](const std::string& entry) {
    if (entry == step && ++seen == occurrence) {
      std::filesystem::rename(target, real);
      std::filesystem::create_directory_symlink(evil, target);
      swapped = true;
    } else if (swapped && !back.empty() && entry.rfind(back, 0) == 0) {
      std::filesystem::remove(target);
      std::filesystem::rename(real, target);
      swapped = false;
    }
  };
  RecordingReporter reporter;
  UpdateInWindow(site, {{"a.htm", true}}, "cat", "dog", reporter, fs);

  EXPECT_EQ(seen, occurrence) << "the step never came";
  EXPECT_EQ(TempFolder::ContentsOf(evil), (Files{{"x.htm", "her cat"}}));
  const Files now = TempFolder::ContentsOf(swapped ? real : target);
  ASSERT_EQ(now.size(), 1u);
  EXPECT_TRUE(now.at("x.htm") == "cat" || now.at("x.htm") == "dog");
}

TEST(HostileTest, ALinkTargetsFolderSwappedDuringTheRunLeadsNowhere) {
  // Before its folder is locked; and while the new file is made, swapped
  // back before it is renamed.
  SwapTargetFolderAt("lock dir", 1);
  SwapTargetFolderAt("create tmp", 2, "rename");
}

TEST(HostileTest, ADocumentThatCantBeReplacedKeepsItsOlderBackup) {
  if (::geteuid() != 0) GTEST_SKIP() << "setting file flags needs root";
  for (const int flag : {FS_IMMUTABLE_FL, FS_APPEND_FL}) {
    TempFolder folder;
    folder.Write({{"a.htm", "cat"}, {"a.bac", "older"}});
    const int fd = ::open(folder.file("a.htm").c_str(), O_RDONLY);
    int flags = flag;
    if (::ioctl(fd, FS_IOC_SETFLAGS, &flags) != 0) {
      ::close(fd);
      GTEST_SKIP() << "this file system has no file flags";
    }
    RecordingReporter reporter;
    engine::Preview preview;
    engine::PreviewRun(folder.path(), {{"a.htm", true}}, "cat", "dog",
                       &preview);
    const int updated = UpdateInWindow(folder.path(), {{"a.htm", true}}, "cat",
                                       "dog", reporter);
    flags = 0;
    ::ioctl(fd, FS_IOC_SETFLAGS, &flags);
    ::close(fd);
    EXPECT_EQ(updated, 0);
    EXPECT_EQ(folder.Contents(), (Files{{"a.htm", "cat"}, {"a.bac", "older"}}));
    EXPECT_THAT(Messages(reporter), HasSubstr("immutable or append-only"));
    EXPECT_EQ(preview.changed_documents, 0u);
  }
}

TEST(HostileTest, OwnersThatCantBeKeptRefuseTheDocument) {
  if (::geteuid() != 0) GTEST_SKIP() << "other owners need root";
  TempFolder folder;
  ASSERT_EQ(::chmod(folder.path().c_str(), 0755), 0);
  // Shared hosting: the user's page in the web server's group, which the
  // user is not in; and the same in a set-group-ID folder, which hands new
  // files its own group.
  const std::string own = folder.file("own"), shared = folder.file("shared"),
                    handing = folder.file("handing");
  for (const std::string& site : {own, handing}) {
    std::filesystem::create_directories(site);
    WriteFile(site + "/a.htm", "cat");
    ASSERT_EQ(::chown(site.c_str(), kNobody, site == own ? kNobody : 1), 0);
    ASSERT_EQ(::chown((site + "/a.htm").c_str(), kNobody, 0), 0);
    ASSERT_EQ(::chmod((site + "/a.htm").c_str(), 0640), 0);
  }
  ASSERT_EQ(::chmod(handing.c_str(), 02777), 0);
  std::filesystem::create_directories(shared);
  // A sticky shared folder with another user's page anyone may write.
  folder.Write({{"shared/b.htm", "cat"}, {"shared/b.bac", "older"}});
  ASSERT_EQ(::chmod(shared.c_str(), 01777), 0);
  ASSERT_EQ(::chmod((shared + "/b.htm").c_str(), 0666), 0);

  EXPECT_EQ(UpdateAsNobody(shared, {{"b.htm", true}}), 0);
  for (const std::string& site : {own, handing}) {
    EXPECT_EQ(UpdateAsNobody(site, {{"a.htm", true}}), 0);
    EXPECT_EQ(TempFolder::ContentsOf(site), (Files{{"a.htm", "cat"}}));
    struct stat info;
    ASSERT_EQ(::stat((site + "/a.htm").c_str(), &info), 0);
    EXPECT_EQ(info.st_gid, 0u);
  }
  EXPECT_EQ(TempFolder::ContentsOf(shared),
            (Files{{"b.htm", "cat"}, {"b.bac", "older"}}));
}

TEST(HostileTest, DocumentsTooLargeToHoldFailAloneWithoutAnAbort) {
#if defined(__SANITIZE_ADDRESS__)
  GTEST_SKIP() << "AddressSanitizer reserves more address space than a limit";
#else
  TempFolder folder;
  folder.Write({{"a.htm", "cat"}});
  std::string big;
  for (int i = 0; i < (1 << 20); ++i) big += "a cat in a line of text\r\n";
  WriteFile(folder.file("big.htm"), big);
  const int sparse =
      ::open(folder.file("sparse.htm").c_str(), O_WRONLY | O_CREAT, 0644);
  ASSERT_EQ(::ftruncate(sparse, 1LL << 40), 0);
  ::close(sparse);
  const engine::Selection entries = {
      {"a.htm", true}, {"big.htm", true}, {"sparse.htm", true}};

  const int updated = InChild([&] {
    struct rlimit limit = {192 << 20, 192 << 20};
    ::setrlimit(RLIMIT_AS, &limit);
    engine::Preview preview;
    engine::PreviewRun(folder.path(), entries, "cat", "dog", &preview);
    RecordingReporter reporter;
    const int count = static_cast<int>(
        UpdateInWindow(folder.path(), entries, "cat", "dog", reporter));
    const bool named =
        Messages(reporter).find("1099511627776 bytes") != std::string::npos;
    return preview.documents.size() == 3 && named ? count : 90 + count;
  });

  ASSERT_TRUE(updated == 1 || updated == 2) << updated;
  EXPECT_EQ(ReadFile(folder.file("a.htm")), "dog");
  const std::string big_now = ReadFile(folder.file("big.htm"));
  EXPECT_TRUE(big_now == big || big_now.size() == big.size()) << "half done";
  struct stat info;
  ASSERT_EQ(::stat(folder.file("sparse.htm").c_str(), &info), 0);
  EXPECT_EQ(info.st_size, 1LL << 40);
  EXPECT_FALSE(std::filesystem::exists(folder.file("sparse.bac")));
#endif
}

// Refusals decided before anything is written: the files stay as they were.
TEST(HostileTest, NamesThatCantBeChangedAloneAreRefused) {
  TempFolder folder;
  folder.Write({{"a.htm", "cat"}, {".mv", "cat"}});
  ASSERT_EQ(::link(folder.file("a.htm").c_str(), folder.file("b.htm").c_str()),
            0);
  const Files before = folder.Contents();
  RecordingReporter reporter;
  EXPECT_EQ(UpdateInWindow(folder.path(),
                           {{"a.htm", true}, {".mv", true}, {"b.htm", true}},
                           "cat", "dog", reporter),
            0);
  EXPECT_EQ(folder.Contents(), before);
  EXPECT_THAT(Messages(reporter), HasSubstr("it has 2 names (hard links)"));
  EXPECT_THAT(Messages(reporter), HasSubstr("too short to form a backup"));
}

TEST(HostileTest, ASecondNameOfAChangedFileIsNotCalledUnchanged) {
  TempFolder folder;
  folder.Write({{"b.htm", "cat"}});
  ASSERT_EQ(::symlink("b.htm", folder.file("a.htm").c_str()), 0);
  RecordingReporter reporter;
  EXPECT_EQ(UpdateInWindow(folder.path(), {{"a.htm", true}, {"b.htm", true}},
                           "cat", "dog", reporter),
            1);
  EXPECT_EQ(ReadFile(folder.file("b.htm")), "dog");
  const std::string messages = Messages(reporter);
  EXPECT_THAT(messages, HasSubstr("b.htm: it is the same file as"));
  EXPECT_THAT(messages, ::testing::Not(HasSubstr("b.htm is unchanged")));
  EXPECT_THAT(messages, ::testing::Not(HasSubstr("the document is unchanged")));
}

TEST(HostileTest, AnEmptyRecordNamesNoDocument) {
  TempFolder folder;
  folder.Write({{"a.htm", "cat"}, {"a.bac", "older"}});
  if (::setxattr(folder.file("a.bac").c_str(), engine::kDocumentRecordAttribute,
                 "", 0, 0) != 0) {
    GTEST_SKIP() << "no extended attributes here";
  }
  RecordingReporter reporter;
  EXPECT_EQ(
      UpdateInWindow(folder.path(), {{"a.htm", true}}, "cat", "dog", reporter),
      1);
  EXPECT_EQ(folder.Contents(), (Files{{"a.htm", "dog"}, {"a.bac", "cat"}}));
}

TEST(HostileTest, AnOlderBackupOutlivesARunKilledBeforeItsDocument) {
  TempFolder folder;
  folder.Write({{"a.htm", "cat"}, {"a.bac", "older"}});
  InChild([&] {
    LoggingFileSystem fs;
    fs.on_call = [](const std::string& entry) {
      if (entry == "rename a.htm") ::_exit(0);  // killed right there
    };
    RecordingReporter reporter;
    UpdateInWindow(folder.path(), {{"a.htm", true}}, "cat", "dog", reporter,
                   fs);
    return 1;
  });
  // The next run in the folder clears leftovers away, not the undo point.
  RecordingReporter reporter;
  UpdateInWindow(folder.path(), {{"a.htm", true}}, "cow", "dog", reporter);
  std::size_t olders = 0;
  for (const auto& [name, contents] : folder.Contents()) {
    olders += contents == "older";
  }
  EXPECT_EQ(olders, 1u);
  EXPECT_EQ(ReadFile(folder.file("a.htm")), "cat");
}

TEST(HostileTest, ARestoredDocumentMadeMeanwhileIsNotReplaced) {
  TempFolder folder;
  folder.Write({{"a.bac", "original"}});
  LoggingFileSystem fs;
  fs.on_call = [&](const std::string& entry) {
    if (entry == "rename a.htm") WriteFile(folder.file("a.htm"), "theirs");
  };
  RecordingReporter reporter;
  RestoreInWindow("htm", folder.path(), {{"a.bac", true}}, reporter, fs);
  EXPECT_EQ(folder.Contents(),
            (Files{{"a.htm", "theirs"}, {"a.bac", "original"}}));
  EXPECT_THAT(Messages(reporter), HasSubstr("another program"));
}

}  // namespace
