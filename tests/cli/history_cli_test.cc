// The history as the command line keeps it, under the worst a server sees:
// the program killed at any moment, two copies recording at once.

#include <gmock/gmock.h>
#include <gtest/gtest.h>
#include <sqlite3.h>

#include <random>
#include <regex>

#include "engine/history/history_store.h"
#include "tests/cli/cli_test_support.h"

namespace {

using namespace cli_testing;

constexpr int kDocuments = 400;

// A site of documents, and a history of its own.
class HistoryCliTest : public ::testing::Test {
 protected:
  void SetUp() override {
    ::setenv("XDG_STATE_HOME", state_.path().c_str(), 1);
  }
  std::string Database() const {
    return state_.path() + "/vantrel/history.sqlite";
  }
  static void MakeSite(const TempFolder& site, int documents) {
    Files files;
    for (int i = 0; i < documents; ++i) {
      files["p" + std::to_string(i) + ".htm"] =
          "gen " + std::to_string(i) + "\n";
    }
    site.Write(files);
  }
  std::string IntegrityCheck() const {
    sqlite3* db = nullptr;
    std::string verdict = "unopened";
    if (sqlite3_open(Database().c_str(), &db) == SQLITE_OK) {
      sqlite3_exec(
          db, "PRAGMA integrity_check",
          [](void* out, int, char** values, char**) {
            *static_cast<std::string*>(out) = values[0] ? values[0] : "";
            return 0;
          },
          &verdict, nullptr);
    }
    sqlite3_close(db);
    return verdict;
  }

  TempFolder state_;
};

// Killed at random moments of updates and undos: every document holds its
// content before or after, the database is whole, and every content before
// comes back byte for byte.
TEST_F(HistoryCliTest, KilledAtAnyMomentLosesNothing) {
  TempFolder site;
  MakeSite(site, kDocuments);
  std::mt19937 random(20261207);
  std::uniform_int_distribution<int> moment(0, 400), undo(0, 3);
  for (int round = 0; round < 30; ++round) {
    std::vector<std::string> args = {kCli, "replace", "-q", "gen", "gen x"};
    if (undo(random) == 0) args = {kCli, "undo", "-q", "last"};
    Process run(args, site.path());
    ::usleep(static_cast<useconds_t>(moment(random)) * 1000);
    ::kill(run.pid(), SIGKILL);
    run.Wait();
  }
  const std::regex whole("gen( x)* [0-9]+\n");
  for (const auto& [name, contents] : Tree(site.path())) {
    if (name.ends_with(".htm")) {
      EXPECT_TRUE(std::regex_match(contents, whole))
          << name << ": " << contents;
    }
  }
  EXPECT_EQ(IntegrityCheck(), "ok");
  std::unique_ptr<engine::HistoryStore> store;
  ASSERT_TRUE(engine::OpenHistory(Database(), &store).ok());
  std::vector<engine::HistoryRun> runs;
  ASSERT_TRUE(store->ListRuns(&runs).ok());
  ASSERT_FALSE(runs.empty());
  for (const engine::HistoryRun& run : runs) {
    std::vector<engine::HistoryDocument> documents;
    ASSERT_TRUE(store->LoadDocuments(run.id, &documents).ok());
    for (const engine::HistoryDocument& document : documents) {
      std::string before;
      EXPECT_TRUE(store->FetchContent(document.before_hash, &before).ok());
      EXPECT_TRUE(std::regex_match(before, whole)) << before;
    }
  }
  // Undone to its first run, whatever was killed where, the site is back
  // where it began wherever the runs' documents allow.
  const Result undone = RunCli({"undo", "--json", "last"}, site.path());
  EXPECT_THAT(undone.status, ::testing::AnyOf(0, 1, 3));
}

TEST_F(HistoryCliTest, TwoCopiesRecordAtOnce) {
  TempFolder first, second;
  MakeSite(first, 200);
  MakeSite(second, 200);
  Process one({kCli, "replace", "-q", "gen", "one"}, first.path());
  Process two({kCli, "replace", "-q", "gen", "two"}, second.path());
  EXPECT_EQ(one.Wait().status, 0);
  EXPECT_EQ(two.Wait().status, 0);
  const Result listed = RunCli({"history", "--json"}, first.path());
  EXPECT_EQ(listed.status, 0);
  EXPECT_THAT(listed.out, ::testing::HasSubstr(R"(with \"one\")"));
  EXPECT_THAT(listed.out, ::testing::HasSubstr(R"(with \"two\")"));
  EXPECT_EQ(IntegrityCheck(), "ok");
  // And each undoes on its own.
  EXPECT_EQ(RunCli({"undo", "-q", "1"}, first.path()).status, 0);
  EXPECT_EQ(RunCli({"undo", "-q", "2"}, first.path()).status, 0);
  EXPECT_EQ(Tree(first.path())["p7.htm"], "gen 7\n");
  EXPECT_EQ(Tree(second.path())["p7.htm"], "gen 7\n");
}

TEST_F(HistoryCliTest, AHistoryThatCannotOpenRefusesTheRun) {
  TempFolder site;
  site.Write({{"a.htm", "cat\n"}});
  ASSERT_EQ(::mkdir((state_.path() + "/vantrel").c_str(), 0700), 0);
  site.Write({});
  {
    std::ofstream damaged(Database());
    damaged << std::string(8192, 'x');
  }
  const Result refused = RunCli({"replace", "cat", "dog"}, site.path());
  EXPECT_EQ(refused.status, 2);
  EXPECT_THAT(refused.err, ::testing::HasSubstr(Database()));
  EXPECT_THAT(refused.err, ::testing::HasSubstr("--no-history"));
  EXPECT_EQ(Tree(site.path()), (Files{{"a.htm", "cat\n"}}));
  EXPECT_EQ(RunCli({"replace", "-q", "--no-history", "cat", "dog"}, site.path())
                .status,
            0);
  EXPECT_EQ(Tree(site.path())["a.htm"], "dog\n");
}

}  // namespace
