#include "engine/matcher.h"

#include <gtest/gtest.h>

#include "engine/line_table.h"

namespace {

using engine::LineTable;
using engine::Matcher;

std::string RewriteLine(const std::string& search, const std::string& line,
                        const std::string& new_text) {
  LineTable table;
  EXPECT_TRUE(table.Split(line));
  std::string out;
  table.Rewrite(Matcher(search), new_text, &out);
  return out;
}

struct ReplaceCase {
  const char* search;
  const char* new_text;
  const char* line;
  const char* written;  // without the CR LF that every line gets
};

void PrintTo(const ReplaceCase& c, std::ostream* out) {
  *out << c.search << " -> " << c.new_text << " in " << c.line;
}

class ReplacementTest : public ::testing::TestWithParam<ReplaceCase> {};

TEST_P(ReplacementTest, FirstOccurrenceOnTheLineIsReplaced) {
  const ReplaceCase& c = GetParam();
  EXPECT_EQ(RewriteLine(c.search, c.line, c.new_text),
            std::string(c.written) + "\r\n");
}

INSTANTIATE_TEST_SUITE_P(
    Rules, ReplacementTest,
    ::testing::Values(
        ReplaceCase{"cat", "dog", "Cat and cat", "dog and cat"},
        ReplaceCase{"cat", "dog", "concatenate", "condogenate"},
        ReplaceCase{"cat", "dog", "no match here", "no match here"},
        ReplaceCase{"an", "AN", "banana", "bANana"},
        ReplaceCase{"a", "aa", "banana", "baanana"},
        ReplaceCase{"abc", "xyz", "ABC", "xyz"},
        ReplaceCase{"ABC", "New", "xaBcx", "xNewx"},
        ReplaceCase{"cat", "dog", "cat", "dog"},
        ReplaceCase{"cat", "dog", "ca", "ca"},
        ReplaceCase{"  ", "_", "a  b  c", "a_b  c"},
        ReplaceCase{"acme", "Zenith", "<a href=\"ACME.htm\">Acme</a>",
                    "<a href=\"Zenith.htm\">Acme</a>"},
        // Long lines are scanned sixteen bytes at a time: matches across a
        // block's edge, in the last bytes, and only after false starts.
        ReplaceCase{"cat", "dog", "...............cAt", "...............dog"},
        ReplaceCase{"cat", "dog", "0123456789abcdefghiCAT",
                    "0123456789abcdefghidog"},
        ReplaceCase{"cat", "dog", "ca ca ca ca ca ca ca ca cat ca",
                    "ca ca ca ca ca ca ca ca dog ca"},
        ReplaceCase{"ab", "X", "................a", "................a"}));

INSTANTIATE_TEST_SUITE_P(
    Locale, ReplacementTest,
    ::testing::Values(
        // Letters of other scripts match regardless of case.
        ReplaceCase{"\xc3\xa9t\xc3\xa9", "summer", "\xc3\x89T\xc3\x89 2024",
                    "summer 2024"},
        ReplaceCase{"\xcf\x83", "s", "\xce\xa3\xcf\x83", "s\xcf\x83"},
        ReplaceCase{"stra\xc3\x9f"
                    "e",
                    "road",
                    "STRA\xc3\x9f"
                    "E",
                    "road"},
        // Letters that fold onto ASCII ones: the Kelvin sign is a K.
        ReplaceCase{"k", "x",
                    "\xe2\x84\xaa"
                    "m",
                    "xm"},
        ReplaceCase{"\xe2\x84\xaa", "x", "Km", "xm"},
        // Characters beyond the cased ranges match themselves.
        ReplaceCase{"\xf0\xa0\x80\x80", "x", "a\xf0\xa0\x80\x80", "ax"},
        // The length counts characters: ÄB is three bytes.
        ReplaceCase{"\xc3\xa4"
                    "b",
                    "x",
                    "1\xc3\x84"
                    "B2",
                    "1x2"},
        // An ASCII search text skips over multibyte neighbours intact.
        ReplaceCase{"b", "X",
                    "\xc3\xa9"
                    "b\xc3\xa9",
                    "\xc3\xa9X\xc3\xa9"},
        // Invalid bytes pass through untouched and match only themselves.
        ReplaceCase{"x", "y", "\xff\xfex\xfe", "\xff\xfey\xfe"},
        ReplaceCase{"\xff", "!",
                    "a\xff"
                    "b",
                    "a!b"},
        ReplaceCase{"\xa9", "!", "\xc3\xa9\xa9", "\xc3\xa9!"},
        ReplaceCase{"\xc3", "!", "\xc3\xa9\xc3", "\xc3\xa9!"}));

struct LineEndCase {
  const char* name;
  std::string read;
  std::string written;
};

void PrintTo(const LineEndCase& c, std::ostream* out) { *out << c.name; }

class LineEndTest : public ::testing::TestWithParam<LineEndCase> {};

TEST_P(LineEndTest, EveryLineIsWrittenWithCrLf) {
  const LineEndCase& c = GetParam();
  LineTable table;
  ASSERT_TRUE(table.Split(c.read));
  std::string out;
  table.Rewrite(Matcher("cat"), "dog", &out);
  EXPECT_EQ(out, c.written);
}

INSTANTIATE_TEST_SUITE_P(
    Ends, LineEndTest,
    ::testing::Values(
        LineEndCase{"CrLf", "a cat\r\nb cat\r\n", "a dog\r\nb dog\r\n"},
        LineEndCase{"CrOnly", "a cat\rb cat\r", "a dog\r\nb dog\r\n"},
        LineEndCase{"NoLastEnd", "a cat\r\nb cat", "a dog\r\nb dog\r\n"},
        // A lone LF is part of the line: one line, one replacement.
        LineEndCase{"LfOnly", "a cat\nb cat\n", "a dog\nb cat\n\r\n"},
        LineEndCase{"Empty", "", ""},
        LineEndCase{"EmptyLines", "\r\n\r\ncat\r\n", "\r\n\r\ndog\r\n"},
        LineEndCase{"CrThenLfLine", "x\r\r\ncat", "x\r\n\r\ndog\r\n"},
        // Near misses on one line must not hide a match on the next, and a
        // match never reaches across a line end.
        LineEndCase{"NearMissesThenMatch", "ca ca\r\nxca cat ca\r\nca",
                    "ca ca\r\nxca dog ca\r\nca\r\n"},
        LineEndCase{"NoMatchAcrossLineEnd", "xc\r\nat", "xc\r\nat\r\n"},
        LineEndCase{"NulBytes", std::string("c\0t cat\r\n", 9),
                    std::string("c\0t dog\r\n", 9)}),
    [](const auto& info) { return std::string(info.param.name); });

}  // namespace
