// The history: what a recorded run keeps, that nothing is replaced whose
// content before is not in it, and undo of any run in any order the files
// allow.

#include <gmock/gmock.h>
#include <gtest/gtest.h>
#include <sqlite3.h>

#include "engine/history/history_store.h"
#include "engine/history/undo_run.h"
#include "engine/replace_list.h"
#include "engine/update_run.h"
#include "tests/engine/test_support.h"

namespace {

using ::testing::HasSubstr;
using namespace testing_support;
using Files = std::map<std::string, std::string>;

// Passes everything on, but fails AddDocuments when told to.
class FailingHistory : public engine::HistoryStore {
 public:
  explicit FailingHistory(engine::HistoryStore& target) : target_(target) {}
  bool fail_add = false;

  engine::Status BeginRun(engine::HistoryRun* run) override {
    return target_.BeginRun(run);
  }
  engine::Status AddDocuments(
      std::int64_t run, const std::vector<engine::HistoryDocument>& documents,
      const std::vector<engine::StoredContent>& contents) override {
    if (fail_add) return engine::Status::Error("history", "disk full");
    return target_.AddDocuments(run, documents, contents);
  }
  engine::Status EndRun(std::int64_t run, const std::string& e) override {
    return target_.EndRun(run, e);
  }
  engine::Status ListRuns(std::vector<engine::HistoryRun>* runs) override {
    return target_.ListRuns(runs);
  }
  engine::Status LoadDocuments(
      std::int64_t run, std::vector<engine::HistoryDocument>* d) override {
    return target_.LoadDocuments(run, d);
  }
  engine::Status FetchContent(const std::string& h, std::string* c) override {
    return target_.FetchContent(h, c);
  }
  engine::Status ForgetRun(std::int64_t run) override {
    return target_.ForgetRun(run);
  }
  engine::Status GetLimits(engine::HistoryLimits* l) override {
    return target_.GetLimits(l);
  }
  engine::Status SetLimits(const engine::HistoryLimits& l) override {
    return target_.SetLimits(l);
  }
  engine::Status SpaceUsed(std::int64_t* bytes) override {
    return target_.SpaceUsed(bytes);
  }

 private:
  engine::HistoryStore& target_;
};

class HistoryTest : public ::testing::Test {
 protected:
  void SetUp() override {
    path_ = state_.file("vantrel/history.sqlite");
    ASSERT_TRUE(engine::OpenHistory(path_, &store_).ok());
  }

  engine::RunOutcome Update(const engine::Selection& entries, const char* from,
                            const char* to, engine::HistoryStore* store,
                            bool keep_backups = true) {
    engine::RunSettings settings;
    settings.history = store;
    settings.keep_backups = keep_backups;
    settings.what = engine::DescribeRules(engine::PlainRules(from, to));
    RecordingReporter quiet;
    return engine::UpdateRun(site_.path(), entries,
                             engine::PlainRules(from, to), quiet,
                             engine::FileSystem::Default(), settings);
  }
  engine::RunOutcome Undo(std::int64_t run) {
    RecordingReporter quiet;
    return engine::UndoRun(*store_, run, quiet);
  }

  TempFolder state_, site_;
  std::string path_;
  std::unique_ptr<engine::HistoryStore> store_;
};

TEST_F(HistoryTest, KeepsEachContentBeforeByteForByte) {
  const std::string crlf = "cat\r\nx\xE9\r\n";  // windows-1252, CR LF
  site_.Write({{"a.htm", crlf}, {"b.htm", crlf}, {"c.htm", "dog\n"}});
  Update({{"a.htm", true}, {"b.htm", true}, {"c.htm", true}}, "cat", "cow",
         store_.get());
  std::vector<engine::HistoryRun> runs;
  ASSERT_TRUE(store_->ListRuns(&runs).ok());
  ASSERT_EQ(runs.size(), 1u);
  EXPECT_EQ(runs[0].ending, "complete");
  EXPECT_EQ(runs[0].documents, 2);
  EXPECT_THAT(runs[0].what, HasSubstr("\"cat\" with \"cow\""));
  std::vector<engine::HistoryDocument> documents;
  ASSERT_TRUE(store_->LoadDocuments(runs[0].id, &documents).ok());
  ASSERT_EQ(documents.size(), 2u);
  for (const engine::HistoryDocument& document : documents) {
    std::string before;
    ASSERT_TRUE(store_->FetchContent(document.before_hash, &before).ok());
    EXPECT_EQ(before, crlf);
    EXPECT_EQ(document.after_hash, engine::Sha256Hex(ReadFile(document.path)));
    EXPECT_EQ(document.encoding, "windows-1252");
  }
  // Identical originals are one content.
  EXPECT_EQ(documents[0].before_hash, documents[1].before_hash);
}

// A full disk, a locked or damaged database: nothing is replaced whose
// content before is not in the history, and the older backups stay.
TEST_F(HistoryTest, NothingReplacedThatTheHistoryLacks) {
  const Files before = {{"a.htm", "cat\n"}, {"a.bac", "older\n"}};
  site_.Write(before);
  FailingHistory failing(*store_);
  failing.fail_add = true;
  const engine::RunOutcome outcome =
      Update({{"a.htm", true}}, "cat", "cow", &failing);
  ASSERT_EQ(outcome.documents.size(), 1u);
  EXPECT_EQ(outcome.documents[0].verdict, engine::Verdict::kFailed);
  EXPECT_EQ(outcome.documents[0].reason, engine::Reason::kHistory);
  EXPECT_THAT(outcome.documents[0].why, HasSubstr("disk full"));
  EXPECT_EQ(site_.Contents(), before);

  // Another program holds the database's write lock past the wait.
  sqlite3* other = nullptr;
  ASSERT_EQ(sqlite3_open(path_.c_str(), &other), SQLITE_OK);
  ASSERT_EQ(sqlite3_exec(other, "BEGIN EXCLUSIVE", nullptr, nullptr, nullptr),
            SQLITE_OK);
  const engine::RunOutcome locked =
      Update({{"a.htm", true}}, "cat", "cow", store_.get());
  sqlite3_exec(other, "ROLLBACK", nullptr, nullptr, nullptr);
  sqlite3_close(other);
  EXPECT_EQ(locked.refusal, engine::RunOutcome::Refusal::kHistory);
  EXPECT_THAT(locked.problem, HasSubstr(path_));
  EXPECT_THAT(locked.problem, HasSubstr("--no-history"));
  EXPECT_EQ(site_.Contents(), before);

  // A damaged file is refused when opened, naming it.
  store_.reset();
  WriteFile(path_, std::string(8192, 'x'));
  std::unique_ptr<engine::HistoryStore> damaged;
  const engine::Status opened = engine::OpenHistory(path_, &damaged);
  EXPECT_FALSE(opened.ok());
  EXPECT_THAT(opened.message(), HasSubstr(path_));
}

// Three runs over overlapping documents, one edited by hand between: undo
// of the middle one puts back exactly those still as it left them.
TEST_F(HistoryTest, UndoOfAnEarlierRunTakesOnlyWhatItLeft) {
  site_.Write({{"a.htm", "one\n"},
               {"b.htm", "one\n"},
               {"c.htm", "one\n"},
               {"d.htm", "one\n"}});
  const engine::Selection all = {
      {"a.htm", true}, {"b.htm", true}, {"c.htm", true}, {"d.htm", true}};
  Update(all, "one", "two", store_.get());    // run 1
  Update(all, "two", "three", store_.get());  // run 2
  WriteFile(site_.file("b.htm"), "by hand\n");
  Update({{"c.htm", true}}, "three", "four", store_.get());  // run 3
  ASSERT_EQ(::unlink(site_.file("d.htm").c_str()), 0);

  std::vector<engine::DocumentNow> now;
  ASSERT_TRUE(
      engine::InspectRun(*store_, 2, engine::FileSystem::Default(), &now).ok());
  ASSERT_EQ(now.size(), 4u);
  EXPECT_EQ(now[0].state, engine::DocumentState::kAsLeft);
  EXPECT_EQ(now[1].state, engine::DocumentState::kChangedSince);
  EXPECT_EQ(now[2].state, engine::DocumentState::kChangedSince);
  EXPECT_EQ(now[3].state, engine::DocumentState::kMissing);

  const engine::RunOutcome undone = Undo(2);
  EXPECT_EQ(undone.Count(engine::Verdict::kChanged), 1u);
  EXPECT_EQ(undone.Count(engine::Verdict::kRefused), 3u);
  EXPECT_EQ(ReadFile(site_.file("a.htm")), "two\n");
  EXPECT_EQ(ReadFile(site_.file("b.htm")), "by hand\n");
  EXPECT_EQ(ReadFile(site_.file("c.htm")), "four\n");

  // The undo is a run of its own, and undoing it brings run 2's back;
  // then run 1 can go too.
  std::vector<engine::HistoryRun> runs;
  ASSERT_TRUE(store_->ListRuns(&runs).ok());
  EXPECT_EQ(runs.front().kind, "undo");
  EXPECT_EQ(runs.front().undoes, 2);
  Undo(runs.front().id);
  EXPECT_EQ(ReadFile(site_.file("a.htm")), "three\n");
  const engine::RunOutcome first = Undo(2);  // a.htm again
  EXPECT_EQ(ReadFile(site_.file("a.htm")), "two\n");
  EXPECT_EQ(Undo(1).Count(engine::Verdict::kChanged), 1u);
  EXPECT_EQ(ReadFile(site_.file("a.htm")), "one\n");
  EXPECT_EQ(first.Count(engine::Verdict::kChanged), 1u);
}

// Without .bac backups the history is the way back; an older backup is
// never touched, and with neither the run is refused.
TEST_F(HistoryTest, NoBackupsMeansTheHistoryAlone) {
  site_.Write({{"a.htm", "cat\n"}, {"a.bac", "older\n"}});
  Update({{"a.htm", true}}, "cat", "cow", store_.get(), false);
  EXPECT_EQ(site_.Contents(),
            (Files{{"a.htm", "cow\n"}, {"a.bac", "older\n"}}));
  Undo(1);
  EXPECT_EQ(ReadFile(site_.file("a.htm")), "cat\n");
  const engine::RunOutcome refused =
      Update({{"a.htm", true}}, "cat", "cow", nullptr, false);
  EXPECT_EQ(refused.refusal, engine::RunOutcome::Refusal::kNoWayBack);
  EXPECT_EQ(ReadFile(site_.file("a.htm")), "cat\n");
}

TEST_F(HistoryTest, DropsTheOldestRunsBeyondTheLimits) {
  ASSERT_TRUE(store_->SetLimits({2, std::int64_t{1} << 30}).ok());
  site_.Write({{"a.htm", "a\n"}});
  for (const char* next : {"b", "c", "d"}) {
    const std::string now = ReadFile(site_.file("a.htm")).substr(0, 1);
    Update({{"a.htm", true}}, now.c_str(), next, store_.get());
  }
  std::vector<engine::HistoryRun> runs;
  ASSERT_TRUE(store_->ListRuns(&runs).ok());
  ASSERT_EQ(runs.size(), 2u);
  EXPECT_EQ(runs.back().id, 2);
  std::string gone;
  EXPECT_FALSE(store_->FetchContent(engine::Sha256Hex("a\n"), &gone).ok());
}

}  // namespace
