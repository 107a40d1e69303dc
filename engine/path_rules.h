// The three text rules from which every file operation of the runs starts:
// where a listed document lives, where its backup goes, and where a backup
// is copied back to.  They work on text alone and never touch the disk.
// Lengths count characters of the path text in the locale's code page
// (LC_CTYPE); bytes that are not valid there count one each.

#ifndef VANTREL_ENGINE_PATH_RULES_H_
#define VANTREL_ENGINE_PATH_RULES_H_

#include <optional>
#include <string>
#include <string_view>

namespace engine {

inline constexpr char kSeparator = '/';

// folder + separator + name, or folder + name when the folder already ends
// in the separator (a root folder).
std::string documentPath(std::string_view folder, std::string_view name,
                         char separator = kSeparator);

// Whether a listed name stays below its folder: a bare name, or a relative
// path such as "products/widget.htm" with "/" between its parts.  An empty
// part ("a//b"), a "." or ".." part, or a leading "/" would lead elsewhere.
bool staysInFolder(std::string_view name, char separator = kSeparator);

// For a document of the original types (.htm, .asp, .hts, .mv, .cfm, in
// any letter case), the path without its last three characters followed by
// "bac" (about.htm: about.bac); for any other, the whole path followed by
// ".bac" (page.html: page.html.bac), so that no two documents of a folder
// share a backup.  std::nullopt for a path of fewer than three characters.
std::optional<std::string> backupPath(std::string_view documentPath);

// The document a backup goes back to as typeText: the backup path without
// its ".bac" when what is left ends in "." and typeText (page.html.bac as
// html: page.html), else without its last three characters, followed by
// typeText unchanged.  std::nullopt for a path of fewer than three
// characters.
std::optional<std::string> restoredPath(std::string_view backupPath,
                                        std::string_view typeText);

}  // namespace engine

#endif  // VANTREL_ENGINE_PATH_RULES_H_
