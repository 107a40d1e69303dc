// Real files in the ways a shared web folder meets them: odd file types,
// two runs at once, another program writing meanwhile, links planted by
// another user, backups of two documents with one name, a full disk.

#include <fcntl.h>
#include <gmock/gmock.h>
#include <gtest/gtest.h>
#include <sys/mount.h>
#include <sys/stat.h>
#include <sys/statvfs.h>
#include <sys/xattr.h>
#include <unistd.h>

#include <clocale>
#include <filesystem>
#include <functional>

#include "engine/backup_record.h"
#include "engine/restore_run.h"
#include "engine/update_run.h"
#include "tests/engine/test_support.h"

namespace {

using ::testing::HasSubstr;
using testing_support::ReadFile;
using testing_support::RecordingReporter;
using testing_support::TempFolder;
using testing_support::WriteFile;
using Files = std::map<std::string, std::string>;

bool HasExtendedAttributes(const TempFolder& folder) {
  const std::string probe = folder.file("probe");
  WriteFile(probe, "");
  const bool supported =
      ::setxattr(probe.c_str(), "user.probe", "1", 1, 0) == 0;
  ::unlink(probe.c_str());
  return supported;
}

TEST(SafetyTest, FifosAndFoldersAreRefusedWithoutWaiting) {
  TempFolder folder;
  folder.Write({{"b.htm", "cat"}, {"d.htm", "cat"}});
  ASSERT_EQ(::mkfifo(folder.file("a.htm").c_str(), 0644), 0);
  ASSERT_EQ(::mkdir(folder.file("c.htm").c_str(), 0755), 0);
  ASSERT_EQ(::mkdir(folder.file("d.bac").c_str(), 0755), 0);
  RecordingReporter reporter;
  EXPECT_EQ(
      UpdateInWindow(
          folder.path(),
          {{"a.htm", true}, {"b.htm", true}, {"c.htm", true}, {"d.htm", true}},
          "cat", "dog", reporter),
      1);
  ASSERT_EQ(reporter.messages.size(), 2u);
  EXPECT_THAT(reporter.messages[0], HasSubstr("a.htm: it is not a file"));
  EXPECT_THAT(reporter.messages[0], HasSubstr("c.htm: it is not a file"));
  EXPECT_THAT(reporter.messages[0], HasSubstr("d.bac is not a file"));
  EXPECT_TRUE(std::filesystem::is_directory(folder.file("d.bac")));
  EXPECT_EQ(ReadFile(folder.file("d.htm")), "cat");
}

// Starts a second run on the same folder while the first is at work.
class ReenteringReporter : public RecordingReporter {
 public:
  explicit ReenteringReporter(std::function<void()> second)
      : second_(std::move(second)) {}
  void showWorkingOn(const std::string& text) override {
    RecordingReporter::showWorkingOn(text);
    if (second_) std::exchange(second_, nullptr)();
  }

 private:
  std::function<void()> second_;
};

TEST(SafetyTest, ASecondRunOnTheSameFolderIsRefused) {
  TempFolder folder;
  folder.Write({{"a.htm", "cat"}, {"b.bac", "b original"}});
  RecordingReporter second;
  ReenteringReporter first([&] {
    RestoreInWindow("htm", folder.path(), {{"b.bac", true}}, second);
    UpdateInWindow(folder.path(), {{"a.htm", true}}, "dog", "cow", second);
  });
  EXPECT_EQ(
      UpdateInWindow(folder.path(), {{"a.htm", true}}, "cat", "dog", first), 1);
  ASSERT_EQ(second.messages.size(), 2u);
  for (const std::string& message : second.messages) {
    EXPECT_THAT(message, HasSubstr("Another update or restore is working in " +
                                   folder.path()));
    EXPECT_THAT(message, HasSubstr("Nothing was changed."));
  }
  EXPECT_EQ(
      folder.Contents(),
      (Files{{"a.htm", "dog"}, {"a.bac", "cat"}, {"b.bac", "b original"}}));
}

// Another program saves the document between its read and its replace.
class WritesMeanwhile : public engine::ForwardingFileSystem {
 public:
  WritesMeanwhile(std::string document, std::string backup)
      : ForwardingFileSystem(engine::FileSystem::Default()),
        document_(std::move(document)),
        backup_(std::move(backup)) {}
  engine::Status RenameToNewName(const std::string& from,
                                 const std::string& to) override {
    if (to == backup_) WriteFile(document_, "saved by someone else");
    return ForwardingFileSystem::RenameToNewName(from, to);
  }

 private:
  std::string document_;
  std::string backup_;
};

TEST(SafetyTest, ADocumentChangedMeanwhileIsLeftAsTheOtherProgramSavedIt) {
  TempFolder folder;
  folder.Write({{"a.htm", "cat"}});
  WritesMeanwhile fs(folder.file("a.htm"), folder.file("a.bac"));
  RecordingReporter reporter;
  EXPECT_EQ(UpdateInWindow(folder.path(), {{"a.htm", true}}, "cat", "dog",
                           reporter, fs),
            0);
  EXPECT_EQ(ReadFile(folder.file("a.htm")), "saved by someone else");
  ASSERT_FALSE(reporter.messages.empty());
  EXPECT_THAT(reporter.messages[0], HasSubstr("another program changed it"));
}

TEST(SafetyTest, BackupsBelongToTheirDocument) {
  TempFolder folder;
  if (!HasExtendedAttributes(folder)) GTEST_SKIP() << "no user xattrs here";
  folder.Write({{"about.htm", "htm cat"}, {"about.asp", "asp cat"}});
  RecordingReporter reporter;
  ASSERT_EQ(UpdateInWindow(folder.path(), {{"about.htm", true}}, "cat", "dog",
                           reporter),
            1);
  // A later run must not put about.asp's original over about.htm's.
  EXPECT_EQ(UpdateInWindow(folder.path(), {{"about.asp", true}}, "cat", "dog",
                           reporter),
            0);
  EXPECT_THAT(reporter.messages.back(),
              HasSubstr("holds the original of " + folder.file("about.htm")));
  // Nor may a restore write it into the other document.
  RestoreInWindow("ASP", folder.path(), {{"about.bac", true}}, reporter);
  EXPECT_THAT(reporter.messages[reporter.messages.size() - 2],
              HasSubstr("not of " + folder.file("about.asp")));
  EXPECT_EQ(ReadFile(folder.file("about.asp")), "asp cat");
  // Restored as what it was, in any letter case, every byte comes back.
  RestoreInWindow("HTM", folder.path(), {{"about.bac", true}}, reporter);
  EXPECT_EQ(folder.Contents(),
            (Files{{"about.htm", "htm cat"}, {"about.asp", "asp cat"}}));
}

TEST(SafetyTest, TypeBacInAnyCaseIsRefused) {
  TempFolder folder;
  folder.Write({{"a.bac", "only copy"}});
  for (const char* type : {"bac", "BAC", "Bac", "x.bAC"}) {
    RecordingReporter reporter;
    RestoreInWindow(type, folder.path(), {{"a.bac", true}}, reporter);
    ASSERT_EQ(reporter.messages.size(), 1u);
    EXPECT_THAT(reporter.messages[0],
                HasSubstr("would make each restored file a backup"));
    EXPECT_EQ(folder.Contents(), (Files{{"a.bac", "only copy"}}));
  }
}

TEST(SafetyTest, TextsAreUnicodeWhateverTheLocale) {
  const Files before = {{"buy.asp", "buy.asp?id=1\r\n"},
                        {"l2.htm", "<meta charset=latin2>\r\nPrice\r\n"},
                        {"l2.bac", "older"}};
  TempFolder folder;
  folder.Write(before);
  const std::string locale = std::setlocale(LC_CTYPE, nullptr);
  std::setlocale(LC_CTYPE, "C");  // a code page without the euro sign
  RecordingReporter reporter;
  EXPECT_EQ(UpdateInWindow(folder.path(), {{"buy.asp", true}}, "\u20ac", "x",
                           reporter),
            0);
  // A character the document's own encoding lacks is refused before any
  // write, so the older backup stays too.
  EXPECT_EQ(UpdateInWindow(folder.path(), {{"l2.htm", true}}, "price",
                           "5 \u20ac", reporter),
            0);
  std::setlocale(LC_CTYPE, locale.c_str());
  EXPECT_EQ(folder.Contents(), before);
  ASSERT_EQ(reporter.messages.size(), 2u);
  EXPECT_THAT(reporter.messages[0], HasSubstr("The text was not found"));
  EXPECT_THAT(reporter.messages[1], HasSubstr("write it as &#8364;"));
}

class RootTest : public ::testing::Test {
 protected:
  void SetUp() override {
    if (::geteuid() != 0) GTEST_SKIP() << "needs root to own files as others";
  }
  static constexpr uid_t kOther = 4321;
};

TEST_F(RootTest, LinksPlantedByAnotherUserAreNotFollowed) {
  TempFolder folder;
  TempFolder elsewhere;
  const std::string secret = elsewhere.file("secret");
  WriteFile(secret, "root's cat");
  ASSERT_EQ(::chmod(secret.c_str(), 0600), 0);
  folder.Write({{"x.bac", "crafted"}});
  ASSERT_EQ(::symlink(secret.c_str(), folder.file("x.htm").c_str()), 0);
  ASSERT_EQ(::lchown(folder.file("x.htm").c_str(), kOther, kOther), 0);
  ASSERT_EQ(::chown(folder.file("x.bac").c_str(), kOther, kOther), 0);
  ASSERT_EQ(::chmod(folder.file("x.bac").c_str(), 04755), 0);
  RecordingReporter reporter;

  RestoreInWindow("htm", folder.path(), {{"x.bac", true}}, reporter);
  ::unlink(folder.file("x.bac").c_str());
  EXPECT_EQ(
      UpdateInWindow(folder.path(), {{"x.htm", true}}, "cat", "dog", reporter),
      0);

  EXPECT_EQ(ReadFile(secret), "root's cat");
  struct stat info;
  ASSERT_EQ(::stat(secret.c_str(), &info), 0);
  EXPECT_EQ(info.st_uid, 0u);
  EXPECT_EQ(info.st_mode & 07777, 0600u);
  EXPECT_FALSE(std::filesystem::exists(folder.file("x.bac")));
  for (const std::string& message : reporter.messages) {
    if (message.rfind("Oops", 0) == 0) {
      EXPECT_THAT(message, HasSubstr("a link to a file of another owner"));
    }
  }
}

TEST_F(RootTest, ReplacedFilesKeepTheirOwnModeOwnerAndAttributes) {
  TempFolder folder;
  folder.Write({{"a.htm", "cat"}, {"a.bac", "original"}});
  const std::string document = folder.file("a.htm");
  ASSERT_EQ(::chown(document.c_str(), kOther, kOther), 0);
  ASSERT_EQ(::chmod(document.c_str(), 0640), 0);
  // The backup carries a crafted owner and set-user-ID bit.
  ASSERT_EQ(::chown(folder.file("a.bac").c_str(), kOther + 1, kOther + 1), 0);
  ASSERT_EQ(::chmod(folder.file("a.bac").c_str(), 04777), 0);
  const bool attributes =
      ::setxattr(document.c_str(), "user.note", "kept", 4, 0) == 0;
  RecordingReporter reporter;

  RestoreInWindow("htm", folder.path(), {{"a.bac", true}}, reporter);
  EXPECT_EQ(ReadFile(document), "original");
  struct stat info;
  ASSERT_EQ(::stat(document.c_str(), &info), 0);
  EXPECT_EQ(info.st_uid, kOther);
  EXPECT_EQ(info.st_gid, kOther);
  EXPECT_EQ(info.st_mode & 07777, 0640u);
  if (attributes) {
    char value[8] = {};
    EXPECT_EQ(::getxattr(document.c_str(), "user.note", value, sizeof value),
              4);
    EXPECT_STREQ(value, "kept");
  }

  WriteFile(document, "cat");  // keeps owner and mode
  ASSERT_EQ(
      UpdateInWindow(folder.path(), {{"a.htm", true}}, "cat", "dog", reporter),
      1);
  for (const char* name : {"a.htm", "a.bac"}) {
    ASSERT_EQ(::stat(folder.file(name).c_str(), &info), 0);
    EXPECT_EQ(info.st_uid, kOther) << name;
    EXPECT_EQ(info.st_mode & 07777, 0640u) << name;
  }
}

TEST_F(RootTest, AFolderThatHandsOutItsGroupDoesNotGetADocument) {
  TempFolder folder;
  folder.Write({{"a.htm", "cat"}});
  ASSERT_EQ(::chown(folder.path().c_str(), 0, kOther), 0);
  ASSERT_EQ(::chmod(folder.path().c_str(), 02775), 0);
  ASSERT_EQ(::chmod(folder.file("a.htm").c_str(), 0640), 0);
  RecordingReporter reporter;
  ASSERT_EQ(
      UpdateInWindow(folder.path(), {{"a.htm", true}}, "cat", "dog", reporter),
      1);
  for (const char* name : {"a.htm", "a.bac"}) {
    struct stat info;
    ASSERT_EQ(::stat(folder.file(name).c_str(), &info), 0);
    EXPECT_EQ(info.st_gid, 0u) << name;
  }
}

// A small tmpfs that the test fills up; needs the right to mount.
class FullDiskTest : public ::testing::Test {
 protected:
  void SetUp() override {
    if (::mount("vantrel-test", disk_.path().c_str(), "tmpfs", 0,
                "size=256k") != 0) {
      GTEST_SKIP() << "cannot mount a small tmpfs here: " << strerror(errno);
    }
    mounted_ = true;
  }
  void TearDown() override {
    if (mounted_) ::umount(disk_.path().c_str());
  }
  // Fills the disk but for about `room` bytes.
  void Fill(long room) {
    struct statvfs disk;
    ASSERT_EQ(::statvfs(disk_.path().c_str(), &disk), 0);
    const long free_bytes = static_cast<long>(disk.f_bavail * disk.f_frsize);
    int fd = ::open(disk_.file(".filler").c_str(), O_WRONLY | O_CREAT, 0600);
    ASSERT_EQ(::posix_fallocate(fd, 0, free_bytes - room), 0);
    ::close(fd);
  }
  TempFolder disk_;
  bool mounted_ = false;
};

TEST_F(FullDiskTest, NothingIsLostAndTheMessagesAreTrue) {
  const std::string big(60000, 'c');
  WriteFile(disk_.file("a.htm"), "cat" + big);
  WriteFile(disk_.file("b.bac"), "b original" + big);
  WriteFile(disk_.file("b.htm"), "b updated");
  Fill(70000);  // room for one copy, not for two
  RecordingReporter reporter;

  UpdateInWindow(disk_.path(), {{"a.htm", true}}, "cat", "dog", reporter);
  RestoreInWindow("htm", disk_.path(), {{"b.bac", true}}, reporter);

  const std::string a = ReadFile(disk_.file("a.htm"));
  EXPECT_TRUE(a == "cat" + big || a == "dog" + big);
  if (a != "cat" + big) {
    EXPECT_EQ(ReadFile(disk_.file("a.bac")), "cat" + big);
  }
  const std::string b = ReadFile(disk_.file("b.htm"));
  EXPECT_TRUE(b == "b updated" || b == "b original" + big);
  if (b == "b updated") {
    EXPECT_EQ(ReadFile(disk_.file("b.bac")), "b original" + big);
  }
  bool told = false;
  for (const std::string& message : reporter.messages) {
    told = told || message.find("No space left") != std::string::npos;
  }
  EXPECT_TRUE(told) << "the disk never ran full";
}

}  // namespace
