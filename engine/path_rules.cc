#include "engine/path_rules.h"

#include "engine/locale_text.h"

namespace engine {

namespace {

constexpr std::size_t kReplacedCharacters = 3;

std::optional<std::string> ReplaceLastCharacters(std::string_view path,
                                                 std::string_view with) {
  std::optional<std::size_t> keep =
      BytesBeforeLastCharacters(path, kReplacedCharacters);
  if (!keep) return std::nullopt;
  std::string result(path.substr(0, *keep));
  result += with;
  return result;
}

}  // namespace

std::string documentPath(std::string_view folder, std::string_view name,
                         char separator) {
  std::string joined;
  joined.reserve(folder.size() + 1 + name.size());
  joined += folder;
  joined += separator;
  joined += name;
  const char doubled[] = {separator, separator, '\0'};
  if (joined.find(doubled) == std::string::npos) return joined;
  // A root folder already ends in the separator.
  std::string direct(folder);
  direct += name;
  return direct;
}

std::optional<std::string> backupPath(std::string_view documentPath) {
  return ReplaceLastCharacters(documentPath, "bac");
}

std::optional<std::string> restoredPath(std::string_view backupPath,
                                        std::string_view typeText) {
  return ReplaceLastCharacters(backupPath, typeText);
}

}  // namespace engine
