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

// The path without its last three characters, followed by "bac".
// std::nullopt for a path of fewer than three characters.
std::optional<std::string> backupPath(std::string_view documentPath);

// The backup path without its last three characters, followed by typeText
// unchanged.  std::nullopt for a path of fewer than three characters.
std::optional<std::string> restoredPath(std::string_view backupPath,
                                        std::string_view typeText);

}  // namespace engine

#endif  // VANTREL_ENGINE_PATH_RULES_H_
