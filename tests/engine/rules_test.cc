// The matching options, patterns and lists: what a line becomes, in every
// encoding, what is refused before anything is read, and that a preview
// foresees exactly what a run writes.

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include "engine/document_plan.h"
#include "engine/plan_run.h"
#include "engine/preview.h"
#include "engine/replace_list.h"
#include "engine/text_encoding.h"
#include "engine/update_run.h"
#include "tests/engine/test_support.h"

namespace {

using ::testing::HasSubstr;
using namespace testing_support;

enum Options : unsigned {
  kPlain = 0,
  kCase = 1,
  kWords = 2,
  kAll = 4,
  kRegex = 8,
};

engine::ReplaceRules Rules(unsigned options,
                           std::vector<engine::ReplacePair> pairs) {
  engine::ReplaceRules rules;
  rules.pairs = std::move(pairs);
  rules.match_case = options & kCase;
  rules.whole_words = options & kWords;
  rules.every_occurrence = options & kAll;
  rules.regex = options & kRegex;
  return rules;
}

// What document becomes under rules ("" when nothing matched), or the
// refusal's words after "refused: ".
std::string Planned(const engine::ReplaceRules& rules,
                    const std::string& document) {
  std::string problem;
  auto planner = engine::DocumentPlanner::Create(rules, &problem);
  if (planner == nullptr) return "problem: " + problem;
  engine::DocumentPlan plan;
  planner->Plan(document, &plan);
  return plan.refusal.empty() ? plan.content : "refused: " + plan.refusal;
}

struct LineCase {
  const char* name;
  unsigned options;
  std::vector<engine::ReplacePair> pairs;
  std::string line, expected;  // expected "" when nothing matches
};

void PrintTo(const LineCase& c, std::ostream* out) { *out << c.name; }

class RulesLineTest : public ::testing::TestWithParam<LineCase> {};

TEST_P(RulesLineTest, RewritesTheLine) {
  const LineCase& c = GetParam();
  EXPECT_EQ(Planned(Rules(c.options, c.pairs), c.line + "\n"),
            c.expected.empty() ? "" : c.expected + "\n");
}

const LineCase kLineCases[] = {
    {"PlainIsFirstAnyCase", kPlain, {{"foo", "x"}}, "Foo foo", "x foo"},
    {"MatchCase", kCase, {{"foo", "x"}}, "Foo foo", "Foo x"},
    {"MatchCaseNothing", kCase, {{"FOO", "x"}}, "Foo foo", ""},
    {"WordAtBothEdges", kWords, {{"foo", "x"}}, "foo", "x"},
    {"WordBesidePunctuation",
     kWords | kAll,
     {{"foo", "x"}},
     "(foo).foo,",
     "(x).x,"},
    {"WordNotInsideWord", kWords, {{"foo", "x"}}, "food foo", "food x"},
    {"WordNotBesideDigit",
     kWords | kAll,
     {{"foo", "x"}},
     "foo1 2foo foo",
     "foo1 2foo x"},
    {"WordNotBesideUnderscore", kWords, {{"foo", "x"}}, "_foo foo_", ""},
    {"WordCjkIsLetters", kWords, {{"東京", "x"}}, "東京都", ""},
    {"WordCjkSpaced", kWords, {{"東京", "x"}}, "都 東京 都", "都 x 都"},
    {"WordAccentedLetter", kWords, {{"caf", "x"}}, "café caf", "café x"},
    {"EveryNotOverlapping", kAll, {{"aa", "x"}}, "aaa", "xa"},
    {"EveryCaseless", kAll, {{"ab", "-"}}, "AB ab Ab", "- - -"},
    {"RegexCaptures",
     kRegex | kAll,
     {{R"((\d{4})-(\d\d)-(\d\d))", "$3.$2.$1"}},
     "2024-01-31, 1999-12-01",
     "31.01.2024, 01.12.1999"},
    {"RegexNamedGroup",
     kRegex,
     {{"(?<year>\\d{4})", "[${year}]"}},
     "in 2024",
     "in [2024]"},
    {"RegexDollar", kRegex, {{"(\\d+)", "$$$1"}}, "costs 5", "costs $5"},
    {"RegexUpperLower",
     kRegex,
     {{"(\\w+) (\\w+)", "\\U$1\\E \\L$2"}},
     "hello WORLD",
     "HELLO world"},
    {"RegexUpperUnicode", kRegex, {{"(\\w+)", "\\U$1"}}, "über", "ÜBER"},
    {"RegexLineEdges", kRegex, {{"^a|b$", "x"}}, "ab", "xb"},
    {"RegexUnicodeClass", kRegex | kAll, {{"\\p{Lu}", "_"}}, "ÉtéÀ", "_té_"},
    {"LiteralDollarAndBackslash", kAll, {{"$1", "\\U$0"}}, "a$1", "a\\U$0"},
    {"ListSecondSeesFirst",
     kPlain,
     {{"cat", "dog"}, {"dog", "cow"}},
     "cat",
     "cow"},
    {"ListInOrder", kAll, {{"a", "b"}, {"b", "a"}}, "ab", "aa"},
    {"DeleteEvery", kAll, {{"foo", ""}}, "x foo y foo", "x  y "},
};

INSTANTIATE_TEST_SUITE_P(Cases, RulesLineTest, ::testing::ValuesIn(kLineCases),
                         [](const auto& info) { return info.param.name; });

// Lines no pair can match are passed over unread: never one that a pair
// does match, whatever its line end or anchor.
TEST(RulesTest, EveryLineThatMatchesIsFound) {
  const std::string document = "x\rfoo\r\nfoo bar\nzz\nbar foo\r\nfoo";
  EXPECT_EQ(Planned(Rules(kRegex | kAll, {{"^foo|foo$", "X"}}), document),
            "x\rX\r\nX bar\nzz\nbar X\r\nX");
  EXPECT_EQ(Planned(Rules(kWords | kAll, {{"zz", "a"}, {"A", "b"}}), document),
            "x\rfoo\r\nfoo bar\nb\nbar foo\r\nfoo");
  // Invalid UTF-8 bytes read as U+FFFD, which a pattern's dot matches.
  EXPECT_EQ(Planned(Rules(kRegex, {{"a.b", "X"}}),
                    "q\na\xFF"
                    "b\n"),
            "q\nX\n");
}

TEST(RulesTest, RefusedBeforeAnythingIsRead) {
  const struct {
    engine::ReplaceRules rules;
    const char* words;
  } cases[] = {
      {Rules(kRegex, {{"(a(b)c", "x"}}),
       "The regular expression is not valid: missing closing parenthesis at "
       "character 7."},
      {Rules(kRegex, {{"a*", "x"}}), "can match an empty text"},
      {Rules(kRegex, {{"\\b", "x"}}), "can match an empty text"},
      {Rules(kRegex, {{"(a)", "$2"}}), "refers to group 2"},
      {Rules(kRegex, {{"(a)", "${name}"}}), "\"name\""},
      {Rules(kRegex, {{"(a)", "5$"}}), "write $$ for a dollar sign"},
      {Rules(kPlain, {{"a", "b"}, {"", "c"}}), "empty (line 2 of the list)"},
      {Rules(kRegex, {{"a", "b"}, {"[", "c"}}), "on line 2 of the list"},
      {Rules(kPlain, {{"a\nb", "c"}}), "holds a line break"},
  };
  for (const auto& c : cases) {
    EXPECT_THAT(Planned(c.rules, "a\n"), HasSubstr(c.words));
  }
}

// The same characters in every encoding: matched as characters, written
// back in the document's own bytes.
TEST(RulesTest, EveryEncodingMatchesCharacters) {
  const auto rules = Rules(kRegex | kAll | kWords, {{"(é)t(é)", "$2T$1"}});
  // windows-1252: é is one byte, the rest of the line stays as it was.
  EXPECT_EQ(Planned(rules, "\xE9t\xE9 \xE9t\xE9s \x80\r\n"),
            "\xE9T\xE9 \xE9t\xE9s \x80\r\n");
  // UTF-16LE with its byte-order mark.
  const std::string bom = "\xFF\xFE";
  const std::string utf16 = bom + std::string("\xE9\0t\0\xE9\0\n\0", 8);
  EXPECT_EQ(Planned(rules, utf16), bom + std::string("\xE9\0T\0\xE9\0\n\0", 8));
  // Shift_JIS, declared: 東 (93 8C) and 京 (8B 9E) swap.
  const std::string head = "<meta charset=\"shift_jis\">\n";
  EXPECT_EQ(Planned(Rules(kRegex, {{"(東)(京)", "$2$1"}}),
                    head + "\x93\x8C\x8B\x9E\n"),
            head + "\x8B\x9E\x93\x8C\n");
  // A new text windows-1252 can't hold refuses the document.
  EXPECT_THAT(Planned(Rules(kAll, {{"t", "✓"}}), "\xE9t\xE9\n"),
              HasSubstr("cannot hold"));
}

// A pattern that backtracks without end fails its document, named with
// the line, and the run goes on to the next.
TEST(RulesTest, TooMuchWorkFailsOneDocument) {
  TempFolder folder;
  const std::string endless = "ok\n" + std::string(40, 'a') + "!\n";
  folder.Write({{"a.htm", endless}, {"b.htm", "aaa\n"}});
  RecordingReporter reporter;
  const engine::RunOutcome outcome =
      engine::UpdateRun(folder.path(), {{"a.htm", true}, {"b.htm", true}},
                        Rules(kRegex, {{"(a+)+$", "x"}}), reporter);
  ASSERT_EQ(outcome.documents.size(), 2u);
  EXPECT_EQ(outcome.documents[0].verdict, engine::Verdict::kRefused);
  EXPECT_THAT(outcome.documents[0].why, HasSubstr("too much work on line 2"));
  EXPECT_EQ(outcome.documents[1].verdict, engine::Verdict::kChanged);
  EXPECT_EQ(ReadFile(folder.file("a.htm")), endless);
  EXPECT_EQ(folder.Contents().count("a.bac"), 0u);
  EXPECT_EQ(ReadFile(folder.file("b.htm")), "x\n");
}

// For every option and a list: the preview's lines are the run's, and a
// dry run's plan is the run's content byte for byte.
TEST(RulesTest, PreviewAndDryRunForeseeTheRun) {
  const std::map<std::string, std::string> files = {
      {"a.htm", "Foo foo\r\n2024-01-31 food\r\n"},
      {"b.htm", "\xE9t\xE9 foo\nbar"},
      {"c.htm", "nothing\n"}};
  const engine::ReplaceRules cases[] = {
      Rules(kCase, {{"foo", "x"}}),
      Rules(kWords | kAll, {{"foo", "x"}}),
      Rules(kRegex | kAll, {{R"((\d{4})-(\d\d))", "$2/$1"}, {"(é)", "\\U$1"}}),
      Rules(kAll, {{"foo", ""}, {"bar", "foo"}}),
  };
  for (const engine::ReplaceRules& rules : cases) {
    TempFolder folder;
    folder.Write(files);
    const engine::Selection entries = {
        {"a.htm", true}, {"b.htm", true}, {"c.htm", true}};
    engine::Preview preview;
    engine::PreviewRun(folder.path(), entries, rules, &preview);
    std::map<std::string, std::string> planned;
    RecordingReporter quiet;
    engine::PlanRun(folder.path(), entries, rules, quiet,
                    [&](std::size_t index, const engine::CheckedDocument& c) {
                      planned[entries[index].name] = c.plan.content;
                    });
    ASSERT_EQ(folder.Contents(), files);
    const engine::RunOutcome outcome =
        engine::UpdateRun(folder.path(), entries, rules, quiet);
    EXPECT_EQ(outcome.Count(engine::Verdict::kChanged),
              preview.changed_documents);
    EXPECT_EQ(outcome.Replacements(), preview.replacements);
    for (const engine::PreviewDocument& document : preview.documents) {
      const std::string now = ReadFile(folder.file(document.name));
      if (document.verdict != engine::PreviewDocument::Verdict::kChanges) {
        EXPECT_EQ(now, files.at(document.name));
        continue;
      }
      EXPECT_EQ(planned[document.name], now);
      for (const engine::PreviewLine& line : document.lines) {
        if (document.encoding == "UTF-8") {
          EXPECT_THAT(now, HasSubstr(line.after));
        }
        // The marked parts are whole characters of the two lines.
        EXPECT_LE(line.match_offset + line.match_length, line.before.size());
        EXPECT_LE(line.inserted_offset + line.inserted_length,
                  line.after.size());
      }
    }
  }
}

TEST(ReplaceListTest, ReadsBackWhatItWrites) {
  const std::vector<engine::ReplacePair> pairs = {
      {"a\tb", "c\\d"}, {"line\nbreak", ""}, {"é", "\\n"}};
  std::vector<engine::ReplacePair> read;
  std::string problem;
  ASSERT_TRUE(engine::ParseReplaceList(engine::FormatReplaceList(pairs), &read,
                                       &problem))
      << problem;
  ASSERT_EQ(read.size(), pairs.size());
  for (std::size_t i = 0; i < pairs.size(); ++i) {
    EXPECT_EQ(read[i].search, pairs[i].search);
    EXPECT_EQ(read[i].replacement, pairs[i].replacement);
  }
  const std::pair<const char*, const char*> bad[] = {
      {"a\tb\r\nno tab\n", "Line 2 of the list has no tab"},
      {"a\tb\n\tc\n", "Line 2 of the list has no text to replace"},
      {"a\\x\tb\n", "Line 1 of the list has a backslash"},
      {"\xff\tb\n", "Line 1 of the list is not UTF-8"},
      {"", "holds no replacements"},
  };
  for (const auto& [text, words] : bad) {
    EXPECT_FALSE(engine::ParseReplaceList(text, &read, &problem));
    EXPECT_THAT(problem, HasSubstr(words));
  }
}

}  // namespace
