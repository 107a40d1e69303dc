#include "engine/document_plan.h"

#include <gtest/gtest.h>

#include <string>

namespace engine {
namespace {

using std::string_literals::operator""s;

std::string Repeat(std::string_view piece, std::size_t count) {
  std::string repeated;
  for (std::size_t i = 0; i < count; ++i) repeated += piece;
  return repeated;
}

// Shift_JIS lines of bytes that begin no character (80, FF, 82 before a
// space), then n times 日, then ａｂ (the last 日ａｂ replaced by x), for n
// from 1 to 1,200.
std::string NihonLines(bool replaced) {
  std::string lines = "<meta charset=sjis>\n";
  for (std::size_t n = 1; n <= 1200; ++n) {
    lines += "\x80\xFF\x82 " + Repeat("\x93\xFA", n - replaced) +
             (replaced ? "x\n" : "\x82\x60\x82\x61\n");
  }
  return lines;
}

std::unique_ptr<DocumentPlanner> Planner(std::string_view search,
                                         std::string_view new_text) {
  std::string problem;
  auto planner = DocumentPlanner::Create(search, new_text, &problem);
  EXPECT_NE(planner, nullptr) << problem;
  return planner;
}

DocumentPlan PlanOf(std::string_view document, std::string_view search,
                    std::string_view new_text) {
  DocumentPlan plan;
  Planner(search, new_text)->Plan(document, &plan);
  return plan;
}

// A document, the texts and the bytes it must become (empty: unchanged).
struct RewriteCase {
  const char* name;
  std::string document;
  const char* search;
  const char* new_text;
  std::string content;
  std::size_t replacements;
  const char* encoding = "UTF-8";
};

class RewriteTest : public testing::TestWithParam<RewriteCase> {};

TEST_P(RewriteTest, WritesExpectedBytes) {
  const RewriteCase& c = GetParam();
  DocumentPlan plan = PlanOf(c.document, c.search, c.new_text);
  EXPECT_EQ(plan.encoding, c.encoding);
  EXPECT_EQ(plan.refusal, "");
  EXPECT_EQ(plan.replacements, c.replacements);
  EXPECT_EQ(plan.content, c.content);
}

std::string Name(const testing::TestParamInfo<RewriteCase>& info) {
  return info.param.name;
}

INSTANTIATE_TEST_SUITE_P(
    LineEnds, RewriteTest,
    testing::Values(
        RewriteCase{"Lf", "a x\nb\nx c\n", "x", "Y", "a Y\nb\nY c\n", 2},
        RewriteCase{"CrLfKept", "x\r\n\r\nb\r\n", "X", "Y", "Y\r\n\r\nb\r\n",
                    1},
        RewriteCase{"CrKept", "x\rb\r", "x", "Y", "Y\rb\r", 1},
        RewriteCase{"Mixed", "x\r\nx\nx\rb\nx", "x", "Y", "Y\r\nY\nY\rb\nY", 4},
        RewriteCase{"LastLineKeepsNoEnd", "a\r\nx", "x", "Y", "a\r\nY", 1},
        RewriteCase{"OneLineWithoutEnd", "x", "x", "1\n2", "1\r\n2", 1},
        RewriteCase{"BreakInNewTextCr", "a x\r", "x", "1\n2", "a 1\r2\r", 1},
        RewriteCase{"BreakInNewTextLastLineAfterLf", "a\nx", "x", "1\r\n2",
                    "a\n1\n2", 1},
        RewriteCase{"EndAtEndMakesNoLine", "x\n\n", "x", "Y", "Y\n\n", 1},
        RewriteCase{"BreakInNewTextLf", "a x b\nx\r\n", "x", "1\r\n2\r3",
                    "a 1\n2\n3 b\n1\r\n2\r\n3\r\n", 2},
        RewriteCase{"BreakInNewTextCrLf", "a x b\r\n", "x", "1\n2",
                    "a 1\r\n2 b\r\n", 1},
        RewriteCase{"FirstPerLineNotRescanned", "x x\nxx\n", "x", "xx",
                    "xx x\nxxx\n", 2},
        RewriteCase{"NoMatchNoContent", "abc\r\n", "x", "Y", "", 0},
        RewriteCase{"EmptyDocument", "", "x", "Y", "", 0},
        RewriteCase{"MatchNeverCrossesLineEnd", "ab\ncd\n", "bc", "Y", "", 0}),
    Name);

INSTANTIATE_TEST_SUITE_P(
    Encodings, RewriteTest,
    testing::Values(
        RewriteCase{"Utf8", "<p>CAFÉ au lait</p>\n", "café", "thé",
                    "<p>thé au lait</p>\n", 1},
        RewriteCase{"Utf8Bom",
                    "\xEF\xBB\xBF"
                    "CafÉ\r\n",
                    "café", "thé", "\xEF\xBB\xBFthé\r\n", 1},
        RewriteCase{"Utf16LeBom",
                    "\xFF\xFE\x43\x00\x41\x00\x46\x00\xC9\x00\x21\x00"
                    "\x0D\x00\x0A\x00\x0D\x00"s,
                    "café", "th\u00E9\n",
                    "\xFF\xFE\x74\x00\x68\x00\xE9\x00\x0D\x00\x0A\x00\x21\x00"
                    "\x0D\x00\x0A\x00\x0D\x00"s,
                    1, "UTF-16LE"},
        RewriteCase{"Utf16BeBom",
                    "\xFE\xFF\x00\x43\x00\x41\x00\x46\x00\xC9\x00\x0A"s, "café",
                    "thé", "\xFE\xFF\x00\x74\x00\x68\x00\xE9\x00\x0A"s, 1,
                    "UTF-16BE"},
        // A lone surrogate matches nothing and stays.  A character beyond
        // U+FFFF is a pair.
        RewriteCase{
            "Utf16LeUndecodableUnitsKept",
            "\xFF\xFE\x00\xD8\x3D\xD8\x00\xDE!\x00\x3D\xD8\x00\xDE\n\x00"s,
            "😀!", "x", "\xFF\xFE\x00\xD8x\x00\x3D\xD8\x00\xDE\n\x00"s, 1,
            "UTF-16LE"},
        RewriteCase{"Windows1252Declared",
                    "<meta charset=iso-8859-1>\nun CAF\xC9\n", "café", "naïve",
                    "<meta charset=iso-8859-1>\nun na\xEFve\n", 1,
                    "windows-1252"},
        RewriteCase{"Windows1252Undeclared", "CAF\xC9 \xFF\r\n", "café",
                    "naïve", "na\xEFve \xFF\r\n", 1, "windows-1252"},
        RewriteCase{"Iso8859_2", "<meta charset=\"latin2\">\xAF\xD3\xA3W!\n",
                    "żółw", "ćma", "<meta charset=\"latin2\">\xE6ma!\n", 1,
                    "ISO-8859-2"},
        RewriteCase{"Iso8859_15", "<meta charset=ISO-8859-15>\xBCUVRE\n",
                    "œuvre", "€ 5", "<meta charset=ISO-8859-15>\xA4 5\n", 1,
                    "ISO-8859-15"},
        RewriteCase{"ShiftJis", "<meta charset=shift_jis>\x82\x60\x82\x61!\n",
                    "ａｂ", "日本",
                    "<meta charset=shift_jis>\x93\xFA\x96\x7B!\n", 1,
                    "Shift_JIS"},
        // 82 61 is one character whose second byte is an ASCII "a".
        RewriteCase{"ShiftJisTrailByteIsNoCharacter",
                    "<meta charset=sjis>\x82\x61! A!\n", "a!", "b",
                    "<meta charset=sjis>\x82\x61! b\n", 1, "Shift_JIS"},
        // Characters are read many at a time: a match may begin at any
        // of the first 1,200, and undecodable bytes before it stay.
        RewriteCase{"ShiftJisMatchAnywhereInLongLine", NihonLines(false),
                    "日ａｂ", "x", NihonLines(true), 1200, "Shift_JIS"},
        // ≒ is 81 E0 and, from NEC's row 13, 87 90.
        RewriteCase{"ShiftJisSecondCode", "<meta charset=sjis>\n\x87\x90\n",
                    "≒", "x", "<meta charset=sjis>\nx\n", 1, "Shift_JIS"},
        // 88 62 reads as Ê and a combining macron: no Ê alone.
        RewriteCase{"Big5PairIsNoLetter",
                    "<meta charset=big5>\n\x88\x62 \x88\x66\n", "ê", "e",
                    "<meta charset=big5>\n\x88\x62 e\n", 1, "Big5"},
        RewriteCase{"Windows1258", "<meta charset=windows-1258>\nacme\n",
                    "ACME", "x", "<meta charset=windows-1258>\nx\n", 1,
                    "windows-1258"},
        RewriteCase{"EucKr", "<meta charset=euc-kr>\xAC\xAE\xAC\xAA\xAC\xB2\n",
                    "мир", "한국", "<meta charset=euc-kr>\xC7\xD1\xB1\xB9\n", 1,
                    "EUC-KR"},
        RewriteCase{"Gb18030", "<meta charset=gb18030>\xA7\xB1\xA7\xB2\n", "пр",
                    "中文", "<meta charset=gb18030>\xD6\xD0\xCE\xC4\n", 1,
                    "gb18030"},
        // 81 30 81 35 is one character (U+0085), not 5 after 81 30 81.
        RewriteCase{
            "Gb18030FourBytes",
            "<meta charset=gb18030>\x81\x30\x81\x35\xD6\xD0 5\xD6\xD0\n", "5中",
            "x", "<meta charset=gb18030>\x81\x30\x81\x35\xD6\xD0 x\n", 1,
            "gb18030"},
        RewriteCase{"HttpEquiv",
                    "<meta http-equiv=\"Content-Type\" content=\"text/html; "
                    "charset=windows-1251\">\n\xCF\xD0\xC8\n",
                    "при", "мир",
                    "<meta http-equiv=\"Content-Type\" content=\"text/html; "
                    "charset=windows-1251\">\n\xEC\xE8\xF0\n",
                    1, "windows-1251"},
        // The new text is written from the ASCII state, and the JIS state
        // of the bytes after it is restored.
        RewriteCase{"Iso2022Jp",
                    "<meta charset=iso-2022-jp>\x1B$B#A#BF|\x1B(B\n", "ａｂ",
                    "x",
                    "<meta charset=iso-2022-jp>\x1B$B\x1B(Bx\x1B$BF|\x1B(B\n",
                    1, "ISO-2022-JP"}),
    Name);

INSTANTIATE_TEST_SUITE_P(
    CaseFolding, RewriteTest,
    testing::Values(
        RewriteCase{"FinalSigma", "ΟΔΟΣ οδος οδοσ\n", "οδοσ", "x",
                    "x οδος οδοσ\n", 1},
        RewriteCase{"SigmaForms", "α οδος\n", "ΟΔΟΣ", "x", "α x\n", 1},
        RewriteCase{"KelvinSignMeetsK", "\u212AILO\n", "kilo", "x", "x\n", 1},
        RewriteCase{"KMeetsKelvinSign", "Kelvin\n", "\u212Aelvin", "x", "x\n",
                    1},
        // A byte that is no UTF-8 is not U+FFFD; it stays as it was.
        RewriteCase{"InvalidByteMatchesNothing",
                    "<meta charset=utf-8>\na\xFF"
                    "b\nab\n",
                    "a\uFFFDb", "x", "", 0},
        RewriteCase{"InvalidByteKept",
                    "<meta charset=utf-8>\na\xFF"
                    "b ab\n",
                    "ab", "x",
                    "<meta charset=utf-8>\na\xFF"
                    "b x\n",
                    1}),
    Name);

// Documents whose texts don't occur: only the encoding is decided.
struct SniffCase {
  std::string document;
  const char* encoding;
};

class SniffTest : public testing::TestWithParam<SniffCase> {};

TEST_P(SniffTest, FindsEncoding) {
  DocumentPlan plan = PlanOf(GetParam().document, "zzz", "y");
  EXPECT_EQ(plan.encoding, GetParam().encoding) << GetParam().document;
}

INSTANTIATE_TEST_SUITE_P(
    Declarations, SniffTest,
    testing::Values(
        SniffCase{"plain ASCII", "UTF-8"},
        SniffCase{"<META CHARSET=Latin2>", "ISO-8859-2"},
        SniffCase{"<meta charset=' koi8-r '>", "KOI8-R"},
        SniffCase{"<meta http-equiv=content-type content='text/html;"
                  "charset=\"KOI8-U\"'>",
                  "KOI8-U"},
        SniffCase{"<meta content='charset=koi8-u'>", "UTF-8"},
        SniffCase{"<meta charset=utf-16le>\xC1", "UTF-8"},
        SniffCase{"<meta charset=x-user-defined>", "windows-1252"},
        SniffCase{"<meta charset=no-such-thing>\xC1", "windows-1252"},
        SniffCase{"<!-- <meta charset=koi8-r> -->\xC1", "windows-1252"},
        SniffCase{"<p title='<meta charset=koi8-r>'>\xC1", "windows-1252"},
        SniffCase{"<meta charset=bogus><meta charset=euc-jp>", "EUC-JP"},
        // Past the first 1,024 bytes, up to the <body> tag.
        SniffCase{std::string(1030, ' ') + "<meta charset=koi8-r>", "KOI8-R"},
        SniffCase{"<!--" + std::string(1100, '-') + "--><meta charset=koi8-r>",
                  "KOI8-R"},
        SniffCase{"<BODY>" + std::string(1030, ' ') + "<meta charset=koi8-r>",
                  "UTF-8"},
        // A document that ends inside the tag declares nothing.
        SniffCase{"<meta charset=euc-jp", "UTF-8"},
        SniffCase{"<meta charset='euc-jp'", "UTF-8"},
        SniffCase{"\xEF\xBB\xBF<meta charset=koi8-r>", "UTF-8"}));

TEST(DocumentPlanTest, RefusesCharacterTheEncodingCannotHold) {
  auto planner = Planner("price", "5 €");
  DocumentPlan plan;
  planner->Plan("<meta charset=latin2>\nPrice\n", &plan);
  EXPECT_EQ(plan.refusal,
            "the new text holds \"€\" (U+20AC), which ISO-8859-2 cannot "
            "hold; write it as &#8364; instead");
  EXPECT_EQ(plan.content, "");
  // Without a match there is nothing to refuse.
  planner->Plan("<meta charset=latin2>\nnothing\n", &plan);
  EXPECT_EQ(plan.refusal, "");
  EXPECT_EQ(plan.replacements, 0u);
  // The same text fits a document in UTF-8.
  planner->Plan("Price\n", &plan);
  EXPECT_EQ(plan.content, "5 €\n");
  // gb18030's four-byte forms are not GBK's.
  planner = Planner("price", "5 😀");
  planner->Plan("<meta charset=gbk>\nPrice\n", &plan);
  EXPECT_NE(plan.refusal.find("which GBK cannot hold"), std::string::npos)
      << plan.refusal;
  planner->Plan("<meta charset=gb18030>\nPrice\n", &plan);
  EXPECT_EQ(plan.refusal, "");
}

TEST(DocumentPlanTest, RefusesNulBytesOutsideUtf16) {
  // Binary, and UTF-16LE without its byte order mark, which read as UTF-8
  // would get one-byte line ends.
  for (const std::string& document :
       {"GIF89a\x01\x00\nacme\n"s, "a\0c\0m\0e\0\r\0\n\0"s}) {
    DocumentPlan plan = PlanOf(document, "acme", "x");
    EXPECT_EQ(plan.refusal,
              "it holds NUL bytes: not a text document, or UTF-16 without a "
              "byte-order mark");
    EXPECT_EQ(plan.content, "");
  }
  // With its byte order mark, UTF-16's NUL bytes are its text.
  DocumentPlan plan = PlanOf("\xFF\xFE" + "a\0c\0m\0e\0"s, "acme", "x");
  EXPECT_EQ(plan.refusal, "");
  EXPECT_EQ(plan.content, "\xFF\xFEx\0"s);
}

TEST(DocumentPlanTest, RefusalNamesCharacterBeyondTheBasicPlane) {
  DocumentPlan plan = PlanOf("<meta charset=koi8-r>\nx\n", "x", "a😀");
  EXPECT_EQ(plan.refusal,
            "the new text holds \"😀\" (U+1F600), which KOI8-R cannot hold; "
            "write it as &#128512; instead");
}

struct BadTextsCase {
  std::string search, new_text;
  const char* problem;
};

void PrintTo(const BadTextsCase& c, std::ostream* out) { *out << c.problem; }

class BadTextsTest : public testing::TestWithParam<BadTextsCase> {};

TEST_P(BadTextsTest, CreateRefuses) {
  std::string problem;
  EXPECT_EQ(
      DocumentPlanner::Create(GetParam().search, GetParam().new_text, &problem),
      nullptr);
  EXPECT_EQ(problem, GetParam().problem);
}

INSTANTIATE_TEST_SUITE_P(
    Texts, BadTextsTest,
    testing::Values(
        BadTextsCase{"ab\xC3", "x",
                     "The text to replace is not valid UTF-8 text."},
        BadTextsCase{"\xED\xA0\x80", "x",
                     "The text to replace is not valid UTF-8 text."},
        BadTextsCase{"ab", "\xC0\xAF", "The new text is not valid UTF-8 text."},
        BadTextsCase{"a\nb", "x",
                     "Matches are found within one line, and the text to "
                     "replace holds a line break. Remove the line break and "
                     "try again."},
        BadTextsCase{"a\r", "x",
                     "Matches are found within one line, and the text to "
                     "replace holds a line break. Remove the line break and "
                     "try again."}));

TEST(DocumentPlanTest, ChangedLinesLocateTheChange) {
  DocumentPlan plan;
  Planner("café", "T\nU")
      ->Plan(
          "\xEF\xBB\xBF"
          "ab\r\nxCAFÉy\r\n",
          &plan, true);
  ASSERT_EQ(plan.changed_lines.size(), 1u);
  const ChangedLine& line = plan.changed_lines[0];
  EXPECT_EQ(line.number, 2u);
  EXPECT_EQ(plan.content.substr(line.after_offset, line.after_length),
            "xT\r\nUy");
  EXPECT_EQ(plan.content.substr(line.after_offset + line.inserted_offset,
                                line.inserted_length),
            "T\r\nU");
  EXPECT_EQ(std::string_view("\xEF\xBB\xBF"
                             "ab\r\nxCAFÉy\r\n")
                .substr(line.before_offset, line.before_length),
            "xCAFÉy");
  EXPECT_EQ(line.match_offset, 1u);
  EXPECT_EQ(line.match_length, 5u);
  // A preview's plan holds the changed lines alone, at their own offsets.
  DocumentPlan lines_only;
  Planner("café", "T\nU")
      ->Plan("ab\r\nxCAFÉy\r\nz\r\n", &lines_only, true, true);
  ASSERT_EQ(lines_only.changed_lines.size(), 1u);
  EXPECT_EQ(lines_only.content, "xT\r\nUy\r\n");
  EXPECT_EQ(lines_only.content.substr(lines_only.changed_lines[0].after_offset,
                                      lines_only.changed_lines[0].after_length),
            "xT\r\nUy");
}

TEST(DocumentPlanTest, ManyLinesAreAllChanged) {
  constexpr std::size_t kLines = 200000;
  std::string document, expected;
  for (std::size_t i = 0; i < kLines; ++i) {
    document += "<td>" + std::to_string(i) + " Old</td>\n";
    expected += "<td>" + std::to_string(i) + " new one</td>\n";
  }
  DocumentPlan plan;
  Planner("old", "new one")->Plan(document, &plan, true);
  EXPECT_EQ(plan.replacements, kLines);
  EXPECT_EQ(plan.content, expected);
  ASSERT_EQ(plan.changed_lines.size(), kLines);
  EXPECT_EQ(plan.changed_lines.back().number, kLines);
}

TEST(DocumentPlanTest, LongLineWithLongSearchText) {
  // Near-matches everywhere: each position begins 1,999 matching letters.
  const std::string line = std::string(300000, 'A') + "B tail";
  const std::string search = std::string(1999, 'a') + "b";
  DocumentPlan plan = PlanOf(line + "\n" + line, search, "<x>");
  const std::string changed = std::string(300000 - 1999, 'A') + "<x> tail";
  EXPECT_EQ(plan.content, changed + "\n" + changed);
}

// Long documents in which the search has much to do.
struct StopCase {
  const char* name;
  std::string document;
  std::string search;
  std::size_t replacements;
};

void PrintTo(const StopCase& c, std::ostream* out) { *out << c.name; }

class StopTest : public testing::TestWithParam<StopCase> {};

TEST_P(StopTest, StopsInsideTheDocument) {
  const StopCase& c = GetParam();
  auto planner = Planner(c.search, "x");
  DocumentPlan plan;
  int asked = 0;
  planner->Plan(c.document, &plan, true, false, [&] { return ++asked > 0; });
  EXPECT_EQ(asked, 1);
  EXPECT_TRUE(plan.stopped);
  EXPECT_EQ(plan.replacements, 0u);
  EXPECT_EQ(plan.content, "");
  // Never told to stop, the same plan goes to the end.
  planner->Plan(c.document, &plan, true, false, [] { return false; });
  EXPECT_FALSE(plan.stopped);
  EXPECT_EQ(plan.replacements, c.replacements);
}

INSTANTIATE_TEST_SUITE_P(
    LongDocuments, StopTest,
    testing::Values(
        StopCase{"Utf8Line", std::string(1 << 20, 'A') + "B\n",
                 std::string(1999, 'a') + "b", 1},
        StopCase{"ShiftJisLine",
                 "<meta charset=sjis>\n" + Repeat("\x83\x41", 1 << 19) +
                     "\x83\x43\n",
                 "アイ", 1},
        StopCase{"Utf16Line", "\xFF\xFE" + Repeat("a\0"s, 1 << 19) + "b\0"s,
                 "aab", 1},
        StopCase{"ManyLines", Repeat("x old\n", 200000), "old", 200000}),
    [](const testing::TestParamInfo<StopCase>& info) {
      return info.param.name;
    });

}  // namespace
}  // namespace engine
