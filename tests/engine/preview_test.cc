#include "engine/preview.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include "engine/restore_run.h"
#include "engine/text_encoding.h"
#include "engine/update_run.h"
#include "tests/engine/test_support.h"

namespace {

using ::testing::ElementsAre;
using ::testing::HasSubstr;
using namespace testing_support;
using Files = std::map<std::string, std::string>;
using Verdict = engine::PreviewDocument::Verdict;
using namespace std::string_literals;

// A document's bytes in encoding, as UTF-8 (the cases' documents decode).
std::string Decoded(const std::string& bytes, const std::string& encoding) {
  std::string text(bytes.size() * 4, '\0');
  const auto [read, written] =
      engine::IconvConversion::Open("UTF-8", engine::IconvName(encoding))
          ->Convert(bytes, text.data(), text.size());
  return text.substr(0, read == bytes.size() ? written : 0);
}

// A folder previewed, then updated with the same arguments, every name of
// it selected in name order.  changed and replacements are M and R.
struct PreviewCase {
  const char* name;
  Files files;
  const char* search;
  const char* new_text;
  std::size_t changed, replacements;
  Files links = {};  // name -> target
  const char* read_only = "";
};

void PrintTo(const PreviewCase& c, std::ostream* out) { *out << c.name; }

class PreviewMatchesRunTest : public ::testing::TestWithParam<PreviewCase> {};

TEST_P(PreviewMatchesRunTest, ForeseesEveryDocumentAndLine) {
  const PreviewCase& c = GetParam();
  TempFolder folder;
  folder.Write(c.files);
  for (const auto& [name, target] : c.links) {
    ASSERT_EQ(::symlink(target.c_str(), folder.file(name).c_str()), 0);
  }
  if (*c.read_only) {
    ASSERT_EQ(::chmod(folder.file(c.read_only).c_str(), 0444), 0);
  }
  const Files before = folder.Contents();
  engine::Selection entries;
  for (const auto& [name, bytes] : before) entries.push_back({name, true});

  engine::Preview preview;
  engine::PreviewRun(folder.path(), entries, c.search, c.new_text, &preview);
  ASSERT_EQ(folder.Contents(), before) << "the preview wrote";
  RecordingReporter reporter;
  const int updated =
      UpdateInWindow(folder.path(), entries, c.search, c.new_text, reporter);
  const Files after = folder.Contents();
  std::string messages;
  for (const std::string& message : reporter.messages) messages += message;

  // A run refused as a whole shows its one message and nothing else.
  const bool refused = reporter.calls.size() == 1;
  EXPECT_EQ(preview.problem.empty(), !refused);
  EXPECT_TRUE(!refused || messages.ends_with("|" + preview.problem));
  EXPECT_EQ(preview.selected, refused ? 0 : entries.size());
  EXPECT_EQ(preview.changed_documents, c.changed);
  EXPECT_EQ(preview.replacements, c.replacements);
  EXPECT_EQ(updated, static_cast<int>(c.changed));
  ASSERT_EQ(preview.documents.size(), preview.selected);
  for (const engine::PreviewDocument& document : preview.documents) {
    SCOPED_TRACE(document.name);
    const std::string& old_bytes = before.at(document.name);
    const std::string& new_bytes = after.at(document.name);
    if (document.verdict == Verdict::kRefused) {
      EXPECT_THAT(messages, HasSubstr(document.path + ": " + document.reason));
    } else {
      EXPECT_EQ(old_bytes != new_bytes, document.verdict == Verdict::kChanges);
      EXPECT_EQ(messages.find(document.path + ": "), std::string::npos);
    }
    ASSERT_EQ(document.lines.size(), document.replacements);
    for (const engine::PreviewLine& line : document.lines) {
      EXPECT_THAT(Decoded(old_bytes, document.encoding),
                  HasSubstr(line.before));
      EXPECT_THAT(Decoded(new_bytes, document.encoding), HasSubstr(line.after));
      EXPECT_EQ(line.after.substr(line.inserted_offset, line.inserted_length),
                c.new_text);
      EXPECT_EQ(line.before.substr(0, line.match_offset) + c.new_text +
                    line.before.substr(line.match_offset + line.match_length),
                line.after);
    }
  }
}

// clang-format off
INSTANTIATE_TEST_SUITE_P(
    Folders, PreviewMatchesRunTest,
    ::testing::Values(
        PreviewCase{"LineEndsEncodingsAndADocumentWithoutTheText",
            {{"crlf.htm", "Crème cat\r\nno\r\ncat CAT\r\n"},
             {"lf.asp", "x\nCat\n"}, {"none.htm", "dog\r\n"},
             {"utf16.htm", "\xff\xfe\xe9\0 \0c\0a\0t\0\n\0"s},
             {"w1252.htm", "\xe9t\xe9\r\ncat\r\n"}},
            "cat", "thé", 4, 5},
        PreviewCase{"UndeclaredWindows1252",
            {{"w.htm", "\xc0 la CAF\xc9 noir\r\n"}}, "café", "thé", 1, 1},
        PreviewCase{"Iso2022JpStateGoesOnAcrossLines",
            {{"j.htm", "<meta charset=iso-2022-jp>\r\n\x1b$B$\"\r\n$$\x1b(B cat\r\n"}},
            "cat", "ねこ", 1, 1},
        // A second name of b.htm, a backup name taken, a read-only file.
        PreviewCase{"RefusedAsTheUpdateRefuses",
            {{"about.asp", "cat"}, {"about.htm", "cat"}, {"b.htm", "cat"},
             {"ro.htm", "cat"}}, "cat", "dog", 2, 2, {{"a.htm", "b.htm"}},
            "ro.htm"},
        // b.htm's backup is the file a.htm leads to, changed before it.
        PreviewCase{"LinkToALaterDocumentsBackup",
            {{"b.bac", "old cat"}, {"b.htm", "cat"}}, "cat", "dog", 1, 1,
            {{"a.htm", "b.bac"}}},
        PreviewCase{"EncodingCannotHoldTheNewText",
            {{"j.htm", "<meta charset=windows-1252>\r\ncat\r\n"},
             {"u.htm", "cat"}}, "cat", "→", 1, 1},
        PreviewCase{"LineBreakInTheTextToReplace", {{"a.htm", "cat"}},
            "cat\n", "dog", 0, 0}),
    [](const auto& info) { return std::string(info.param.name); });
// clang-format on

TEST(PreviewTest, UndecodableBytesShowAsReplacementCharacters) {
  TempFolder folder;
  folder.Write({{"a.htm", "<meta charset=utf-8>\n\xff cat \xe9\n"},
                {"b.htm", "<meta charset=windows-1252>\n\x81 cat \x81\n"}});
  engine::Preview preview;
  engine::PreviewRun(folder.path(), {{"a.htm", true}, {"b.htm", true}}, "cat",
                     "dog", &preview);
  ASSERT_EQ(preview.replacements, 2u);
  for (const engine::PreviewDocument& document : preview.documents) {
    const engine::PreviewLine& line = document.lines.at(0);
    EXPECT_EQ(line.before, "\uFFFD cat \uFFFD");
    EXPECT_EQ(line.before.substr(line.match_offset, line.match_length), "cat");
    EXPECT_EQ(line.after, "\uFFFD dog \uFFFD");
  }
}

// Three documents; each run is asked to stop while it reads the first.
class StopTest : public ::testing::Test {
 protected:
  void SetUp() override {
    folder_.Write({{"a.htm", "cat"}, {"b.htm", "cat"}, {"c.htm", "cat"}});
    fs_.on_call = [this](const std::string& call) {
      if (call.starts_with("read ")) reporter_.stop_requested = stop_ = true;
    };
  }
  TempFolder folder_;
  RecordingReporter reporter_;
  std::atomic<bool> stop_ = false;
  LoggingFileSystem fs_;
};

// clang-format off
TEST_F(StopTest, UpdateEndsAfterTheDocumentItIsOn) {
  EXPECT_EQ(UpdateInWindow(folder_.path(), {{"a.htm", true}, {"b.htm", true},
      {"c.htm", true}}, "cat", "dog", reporter_, fs_), 1);
  EXPECT_EQ(folder_.Contents(), (Files{{"a.bac", "cat"}, {"a.htm", "dog"},
      {"b.htm", "cat"}, {"c.htm", "cat"}}));
  EXPECT_THAT(reporter_.messages, ElementsAre("Stopped.|The update was "
      "stopped. Successfully updated 1 documents; the other documents are "
      "unchanged."));
  EXPECT_EQ(reporter_.calls.back(), "operation Stopped.");
}

TEST_F(StopTest, RestoreEndsAfterTheBackupItIsOn) {
  folder_.Write({{"a.bac", "a0"}, {"b.bac", "b0"}, {"c.bac", "c0"}});
  RestoreInWindow("htm", folder_.path(), {{"a.bac", true}, {"b.bac", true},
      {"c.bac", true}}, reporter_, fs_);
  EXPECT_EQ(folder_.Contents(), (Files{{"a.htm", "a0"}, {"b.bac", "b0"},
      {"b.htm", "cat"}, {"c.bac", "c0"}, {"c.htm", "cat"}}));
  EXPECT_THAT(reporter_.messages, ElementsAre("Stopped.|The restore was "
      "stopped. 1 archived files successfully restored; the other backups "
      "are unchanged."));
}
// clang-format on

TEST_F(StopTest, UpdateStopsInsideALongDocument) {
  std::string lines;
  for (int i = 0; i < 200000; ++i) lines += "a cat on a line\r\n";
  folder_.Write({{"a.htm", lines}});
  EXPECT_EQ(UpdateInWindow(folder_.path(), {{"a.htm", true}}, "cat", "dog",
                           reporter_, fs_),
            0);
  EXPECT_EQ(folder_.Contents(),
            (Files{{"a.htm", lines}, {"b.htm", "cat"}, {"c.htm", "cat"}}));
  EXPECT_THAT(reporter_.messages.back(), HasSubstr("Successfully updated 0"));
}

TEST_F(StopTest, PreviewEndsAfterTheDocumentItIsOn) {
  engine::Preview preview;
  engine::PreviewRun(folder_.path(), {{"a.htm", true}, {"b.htm", true}}, "cat",
                     "dog", &preview, &stop_, fs_);
  EXPECT_TRUE(preview.stopped);
  ASSERT_EQ(preview.documents.size(), 1u);
  EXPECT_EQ(preview.documents[0].verdict, Verdict::kChanges);
}

}  // namespace
