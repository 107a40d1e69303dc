#include "engine/path_rules.h"

#include <gtest/gtest.h>

namespace {

using engine::backupPath;
using engine::documentPath;
using engine::restoredPath;

struct PathCase {
  const char* folder;
  const char* name;
  char separator;
  const char* document;
  const char* backup;
  const char* restored;  // with the type below
  const char* type;
};

void PrintTo(const PathCase& c, std::ostream* out) {
  *out << c.folder << " + " << c.name;
}

class PathRulesTest : public ::testing::TestWithParam<PathCase> {};

TEST_P(PathRulesTest, DocumentBackupAndRestoredPaths) {
  const PathCase& c = GetParam();
  const std::string document = documentPath(c.folder, c.name, c.separator);
  EXPECT_EQ(document, c.document);
  EXPECT_EQ(backupPath(document), std::optional<std::string>(c.backup));
  EXPECT_EQ(restoredPath(c.backup, c.type),
            std::optional<std::string>(c.restored));
}

INSTANTIATE_TEST_SUITE_P(
    DriveLetters, PathRulesTest,
    ::testing::Values(
        PathCase{"C:\\web", "index.htm", '\\', "C:\\web\\index.htm",
                 "C:\\web\\index.bac", "C:\\web\\index.HTM", "HTM"},
        PathCase{"C:\\", "index.htm", '\\', "C:\\index.htm", "C:\\index.bac",
                 "C:\\index.HTM", "HTM"},
        // Other types keep their whole name, and come back as it.
        PathCase{"C:\\web", "page.html", '\\', "C:\\web\\page.html",
                 "C:\\web\\page.html.bac", "C:\\web\\page.html", "HTML"},
        PathCase{"C:\\web", "page.html", '\\', "C:\\web\\page.html",
                 "C:\\web\\page.html.bac", "C:\\web\\page.html.HTM", "HTM"},
        PathCase{"C:\\web", "INDEX.PHP", '\\', "C:\\web\\INDEX.PHP",
                 "C:\\web\\INDEX.PHP.bac", "C:\\web\\INDEX.PHP", "php"},
        PathCase{"C:\\web", "x.mv", '\\', "C:\\web\\x.mv", "C:\\web\\xbac",
                 "C:\\web\\xMV", "MV"},
        PathCase{"C:\\web", "default.asp", '\\', "C:\\web\\default.asp",
                 "C:\\web\\default.bac", "C:\\web\\default.HTM", "HTM"},
        // A doubled separator inside the folder never makes a direct join,
        // which would name a file outside the folder.
        PathCase{"\\\\server\\web", "a.htm", '\\', "\\\\server\\web\\a.htm",
                 "\\\\server\\web\\a.bac", "\\\\server\\web\\a.htm", "htm"},
        PathCase{"C:\\web", "ab", '\\', "C:\\web\\ab", "C:\\web\\ab.bac",
                 "C:\\web\\ab.HTM", "HTM"}));

INSTANTIATE_TEST_SUITE_P(
    Slashes, PathRulesTest,
    ::testing::Values(
        PathCase{"/srv/web", "index.htm", '/', "/srv/web/index.htm",
                 "/srv/web/index.bac", "/srv/web/index.HTM", "HTM"},
        PathCase{"/", "a.htm", '/', "/a.htm", "/a.bac", "/a.ASP", "ASP"},
        PathCase{"/srv/web", "about.htm", '/', "/srv/web/about.htm",
                 "/srv/web/about.bac", "/srv/web/about.html", "html"},
        PathCase{"/srv/web", "about.htm", '/', "/srv/web/about.htm",
                 "/srv/web/about.bac", "/srv/web/about.", ""},
        PathCase{"/srv//web", "a.htm", '/', "/srv//web/a.htm",
                 "/srv//web/a.bac", "/srv//web/a.MV", "MV"},
        // A type is any text, in any script.
        PathCase{"/w", "a.H\xc3\xa9", '/', "/w/a.H\xc3\xa9",
                 "/w/a.H\xc3\xa9.bac", "/w/a.H\xc3\xa9.MV", "MV"},
        PathCase{"/w", "x.ASP", '/', "/w/x.ASP", "/w/x.bac", "/w/x.\xc3\xa9",
                 "\xc3\xa9"}));

TEST(PathRulesTest, RefusesPathsShorterThanThreeCharacters) {
  for (const char* path : {"", "a", "ab", "\xc3\xa9\xc3\xa9"}) {
    EXPECT_EQ(backupPath(path), std::nullopt) << path;
    EXPECT_EQ(restoredPath(path, "HTM"), std::nullopt) << path;
  }
  EXPECT_EQ(backupPath("abc"), std::optional<std::string>("abc.bac"));
  EXPECT_EQ(backupPath("a.mv"), std::optional<std::string>("abac"));
  EXPECT_EQ(restoredPath("bac", "MV"), std::optional<std::string>("MV"));
}

TEST(PathRulesTest, ListedNamesStayInTheirFolder) {
  for (const char* name :
       {"a.htm", "products/widget.htm", "a/b/c.htm", "..a.htm", "a..htm"}) {
    EXPECT_TRUE(engine::staysInFolder(name)) << name;
  }
  for (const char* name : {"", "/etc/passwd", "../a.htm", "a/../../b.htm",
                           "a//b.htm", "./a.htm", "a/", "a/./b.htm"}) {
    EXPECT_FALSE(engine::staysInFolder(name)) << name;
  }
}

}  // namespace
