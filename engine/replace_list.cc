#include "engine/replace_list.h"

#include "engine/text_encoding.h"

namespace engine {

namespace {

// Reads the escapes of one field; false on a backslash that starts none.
bool Unescape(std::string_view field, std::string* out) {
  out->clear();
  for (std::size_t i = 0; i < field.size(); ++i) {
    if (field[i] != '\\') {
      out->push_back(field[i]);
      continue;
    }
    if (++i == field.size()) return false;
    switch (field[i]) {
      case 't':
        out->push_back('\t');
        break;
      case 'n':
        out->push_back('\n');
        break;
      case '\\':
        out->push_back('\\');
        break;
      default:
        return false;
    }
  }
  return true;
}

void Escape(std::string_view text, std::string* out) {
  for (char c : text) {
    if (c == '\t') {
      out->append("\\t");
    } else if (c == '\n') {
      out->append("\\n");
    } else if (c == '\\') {
      out->append("\\\\");
    } else {
      out->push_back(c);
    }
  }
}

}  // namespace

bool ParseReplaceList(std::string_view text, std::vector<ReplacePair>* pairs,
                      std::string* problem) {
  pairs->clear();
  if (text.starts_with("\xEF\xBB\xBF")) text.remove_prefix(3);
  std::size_t number = 0;
  while (!text.empty()) {
    ++number;
    const std::size_t end = text.find('\n');
    std::string_view line = text.substr(0, end);
    text.remove_prefix(end == std::string_view::npos ? text.size() : end + 1);
    if (line.ends_with('\r')) line.remove_suffix(1);
    const std::string at = "Line " + std::to_string(number) + " of the list";
    if (!IsValidUtf8(line)) {
      *problem = at + " is not UTF-8 text.";
      return false;
    }
    const std::size_t tab = line.find('\t');
    if (tab == std::string_view::npos) {
      *problem =
          at + " has no tab between the text to replace and the new text.";
      return false;
    }
    ReplacePair pair;
    if (!Unescape(line.substr(0, tab), &pair.search) ||
        !Unescape(line.substr(tab + 1), &pair.replacement)) {
      *problem = at +
                 " has a backslash that is not \\t, \\n or \\\\; write a "
                 "backslash as \\\\.";
      return false;
    }
    if (pair.search.empty()) {
      *problem = at + " has no text to replace.";
      return false;
    }
    pairs->push_back(std::move(pair));
  }
  if (pairs->empty()) {
    *problem = "The list holds no replacements.";
    return false;
  }
  return true;
}

std::string FormatReplaceList(const std::vector<ReplacePair>& pairs) {
  std::string out;
  for (const ReplacePair& pair : pairs) {
    Escape(pair.search, &out);
    out.push_back('\t');
    Escape(pair.replacement, &out);
    out.push_back('\n');
  }
  return out;
}

std::string DescribeRules(const ReplaceRules& rules) {
  std::string words;
  for (const ReplacePair& pair : rules.pairs) {
    if (!words.empty()) words += "; then ";
    words +=
        "replace \"" + pair.search + "\" with \"" + pair.replacement + "\"";
  }
  std::string options;
  auto add = [&options](bool on, const char* name) {
    if (on) options += (options.empty() ? "" : ", ") + std::string(name);
  };
  add(rules.match_case, "match case");
  add(rules.whole_words, "whole words");
  add(rules.every_occurrence, "every occurrence");
  add(rules.regex, "regular expression");
  return options.empty() ? words : words + " (" + options + ")";
}

}  // namespace engine
