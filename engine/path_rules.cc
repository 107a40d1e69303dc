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

bool EndsWithIgnoringAsciiCase(std::string_view text, std::string_view end) {
  if (text.size() < end.size()) return false;
  text.remove_prefix(text.size() - end.size());
  for (std::size_t i = 0; i < end.size(); ++i) {
    const auto lower = [](char c) {
      return c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c;
    };
    if (lower(text[i]) != lower(end[i])) return false;
  }
  return true;
}

bool HasOriginalType(std::string_view path) {
  for (const char* type : {".htm", ".asp", ".hts", ".mv", ".cfm"}) {
    if (EndsWithIgnoringAsciiCase(path, type)) return true;
  }
  return false;
}

}  // namespace

std::string documentPath(std::string_view folder, std::string_view name,
                         char separator) {
  std::string joined;
  joined.reserve(folder.size() + 1 + name.size());
  joined += folder;
  // A root folder already ends in the separator.  A doubled separator
  // elsewhere in the folder is the folder's own business: joining directly
  // there would name a file outside the folder.
  if (folder.empty() || folder.back() != separator) joined += separator;
  joined += name;
  return joined;
}

bool staysInFolder(std::string_view name, char separator) {
  if (name.empty()) return false;
  for (;;) {
    const std::size_t end = name.find(separator);
    const std::string_view part = name.substr(0, end);
    if (part.empty() || part == "." || part == "..") return false;
    if (end == std::string_view::npos) return true;
    name.remove_prefix(end + 1);
  }
}

std::optional<std::string> backupPath(std::string_view documentPath) {
  if (HasOriginalType(documentPath)) {
    return ReplaceLastCharacters(documentPath, "bac");
  }
  if (!BytesBeforeLastCharacters(documentPath, kReplacedCharacters)) {
    return std::nullopt;
  }
  return std::string(documentPath) + ".bac";
}

std::optional<std::string> restoredPath(std::string_view backupPath,
                                        std::string_view typeText) {
  if (!typeText.empty() && EndsWithIgnoringAsciiCase(backupPath, ".bac")) {
    const std::string_view stem = backupPath.substr(0, backupPath.size() - 4);
    if (stem.size() > typeText.size() &&
        EndsWithIgnoringAsciiCase(stem, typeText) &&
        stem[stem.size() - typeText.size() - 1] == '.') {
      return std::string(stem);
    }
  }
  return ReplaceLastCharacters(backupPath, typeText);
}

}  // namespace engine
