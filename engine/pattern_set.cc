#include "engine/pattern_set.h"

#define PCRE2_CODE_UNIT_WIDTH 8
#include <locale.h>
#include <pcre2.h>
#include <wctype.h>

#include <algorithm>
#include <cctype>

#include "engine/text_encoding.h"

namespace engine {

namespace {

// Enough to find a match any sane pattern finds on any sane line, and to
// give up on a pattern that backtracks without end within a second.
constexpr uint32_t kMatchLimit = 5'000'000;
constexpr uint32_t kDepthLimit = 100'000;
constexpr std::size_t kJitStack = 1 << 20;
constexpr uint32_t kOvectorPairs = 256;

// A part of a new text: literal text, a group's text, or a change of
// letter case for what follows (\U, \L, \E).
struct Piece {
  enum Kind { kText, kGroup, kUpper, kLower, kAsIs } kind;
  std::string text;
  uint32_t group = 0;
};

std::string ErrorText(int error) {
  PCRE2_UCHAR buffer[256];
  const int length = pcre2_get_error_message(error, buffer, sizeof buffer);
  return length < 0 ? "error " + std::to_string(error)
                    : std::string(reinterpret_cast<char*>(buffer), length);
}

// Characters (not bytes) before offset, counted from 1 for the one there.
std::size_t CharacterAt(std::string_view text, std::size_t offset) {
  std::size_t characters = 1;
  for (std::size_t i = 0; i < offset && i < text.size(); ++i) {
    if ((static_cast<unsigned char>(text[i]) & 0xC0) != 0x80) ++characters;
  }
  return characters;
}

// A text matched literally: every ASCII character that is not a letter or
// digit gets a backslash, which PCRE2 reads as "this character itself".
std::string Quote(std::string_view text) {
  std::string quoted;
  for (char c : text) {
    const auto byte = static_cast<unsigned char>(c);
    if (byte < 0x80 && !std::isalnum(byte)) quoted.push_back('\\');
    quoted.push_back(c);
  }
  return quoted;
}

locale_t CaseLocale() {
  static const locale_t locale =
      ::newlocale(LC_CTYPE_MASK, "C.UTF-8", static_cast<locale_t>(nullptr));
  return locale;
}

void AppendCased(std::string_view text, Piece::Kind mode, std::string* out) {
  const locale_t locale = CaseLocale();
  if (mode == Piece::kAsIs || locale == static_cast<locale_t>(nullptr)) {
    out->append(text);
    return;
  }
  const auto* p = reinterpret_cast<const unsigned char*>(text.data());
  const auto* end = p + text.size();
  while (p < end) {
    const Utf8Character c = DecodeUtf8(p, end);
    const auto wide = static_cast<wint_t>(c.code_point);
    const wint_t cased = mode == Piece::kUpper ? ::towupper_l(wide, locale)
                                               : ::towlower_l(wide, locale);
    out->append(EncodeUtf8(static_cast<char32_t>(cased)));
    p += c.length;
  }
}

}  // namespace

struct PatternSet::Compiled {
  pcre2_code* code = nullptr;
  std::vector<Piece> pieces;
  // A literal search text, its ASCII letters in lower case when letter case
  // is ignored; empty for a pattern, or a text with other characters.
  std::string literal;
  bool caseless = false;
  ~Compiled() { pcre2_code_free(code); }
};

class PatternSet::Scratch {
 public:
  Scratch()
      : data_(pcre2_match_data_create(kOvectorPairs, nullptr)),
        context_(pcre2_match_context_create(nullptr)),
        stack_(pcre2_jit_stack_create(32 * 1024, kJitStack, nullptr)) {
    if (data_ == nullptr || context_ == nullptr) throw std::bad_alloc();
    pcre2_set_match_limit(context_, kMatchLimit);
    pcre2_set_depth_limit(context_, kDepthLimit);
    if (stack_ != nullptr) pcre2_jit_stack_assign(context_, nullptr, stack_);
  }
  ~Scratch() {
    pcre2_match_data_free(data_);
    pcre2_match_context_free(context_);
    pcre2_jit_stack_free(stack_);
  }
  Scratch(const Scratch&) = delete;
  Scratch& operator=(const Scratch&) = delete;

  pcre2_match_data* data() { return data_; }
  pcre2_match_context* context() { return context_; }

 private:
  pcre2_match_data* data_;
  pcre2_match_context* context_;
  pcre2_jit_stack* stack_;
};

namespace {

// Reads a new text with $0...$99, ${name}, $$ and \U, \L, \E into pieces;
// false with *problem set when it names a group code lacks.
bool ParseTemplate(std::string_view text, const pcre2_code* code,
                   std::vector<Piece>* pieces, std::string* problem) {
  uint32_t groups = 0;
  pcre2_pattern_info(code, PCRE2_INFO_CAPTURECOUNT, &groups);
  auto literal = [pieces](std::string_view part) {
    if (pieces->empty() || pieces->back().kind != Piece::kText) {
      pieces->push_back({Piece::kText, "", 0});
    }
    pieces->back().text.append(part);
  };
  auto group = [&](uint32_t number, std::string_view as_written) {
    if (number > groups) {
      *problem = "The new text refers to group " + std::string(as_written) +
                 ", but the regular expression has " + std::to_string(groups) +
                 (groups == 1 ? " group." : " groups.");
      return false;
    }
    pieces->push_back({Piece::kGroup, "", number});
    return true;
  };
  for (std::size_t i = 0; i < text.size(); ++i) {
    const char c = text[i];
    const char next = i + 1 < text.size() ? text[i + 1] : '\0';
    if (c == '\\' && (next == 'U' || next == 'L' || next == 'E')) {
      pieces->push_back({next == 'U'   ? Piece::kUpper
                         : next == 'L' ? Piece::kLower
                                       : Piece::kAsIs,
                         "", 0});
      ++i;
    } else if (c == '\\' && (next == '\\' || next == '$')) {
      literal(std::string_view(&next, 1));
      ++i;
    } else if (c == '$' && next == '$') {
      literal("$");
      ++i;
    } else if (c == '$' && std::isdigit(static_cast<unsigned char>(next))) {
      std::size_t end = i + 2;
      if (end < text.size() &&
          std::isdigit(static_cast<unsigned char>(text[end]))) {
        ++end;
      }
      const std::string digits(text.substr(i + 1, end - i - 1));
      if (!group(static_cast<uint32_t>(std::stoul(digits)), digits)) {
        return false;
      }
      i = end - 1;
    } else if (c == '$' && next == '{') {
      const std::size_t close = text.find('}', i + 2);
      const std::string name(text.substr(
          i + 2, close == std::string_view::npos ? 0 : close - i - 2));
      if (close == std::string_view::npos || name.empty()) {
        *problem = "The new text has \"${\" without a group's name and \"}\".";
        return false;
      }
      int number = -1;
      if (std::isdigit(static_cast<unsigned char>(name[0]))) {
        number = name.find_first_not_of("0123456789") == std::string::npos
                     ? std::stoi(name.substr(0, 3))
                     : -1;
      } else {
        number = pcre2_substring_number_from_name(
            code, reinterpret_cast<PCRE2_SPTR>(name.c_str()));
      }
      if (number < 0) {
        *problem = "The new text refers to the group \"" + name +
                   "\", which the regular expression does not have.";
        return false;
      }
      if (!group(static_cast<uint32_t>(number), name)) return false;
      i = close;
    } else if (c == '$') {
      *problem =
          "The new text has a \"$\" that is not followed by a group's number, "
          "{name} or another \"$\"; write $$ for a dollar sign.";
      return false;
    } else {
      literal(std::string_view(&c, 1));
    }
  }
  return true;
}

}  // namespace

PatternSet::~PatternSet() = default;

std::unique_ptr<PatternSet> PatternSet::Compile(const ReplaceRules& rules,
                                                std::string* problem) {
  std::unique_ptr<PatternSet> set(new PatternSet());
  set->every_ = rules.every_occurrence;
  const uint32_t options =
      PCRE2_UTF | PCRE2_UCP | (rules.match_case ? 0 : PCRE2_CASELESS);
  for (std::size_t k = 0; k < rules.pairs.size(); ++k) {
    const ReplacePair& pair = rules.pairs[k];
    // In a list, every message names the pair's line.
    const std::string where =
        rules.pairs.size() > 1
            ? " on line " + std::to_string(k + 1) + " of the list"
            : "";
    const std::string pattern = rules.regex ? pair.search : Quote(pair.search);
    auto compiled = std::make_unique<Compiled>();
    int error = 0;
    PCRE2_SIZE offset = 0;
    compiled->code =
        pcre2_compile(reinterpret_cast<PCRE2_SPTR>(pattern.data()),
                      pattern.size(), options, &error, &offset, nullptr);
    if (compiled->code == nullptr) {
      *problem = "The regular expression" + where +
                 " is not valid: " + ErrorText(error) + " at character " +
                 std::to_string(CharacterAt(pattern, offset)) + ".";
      return nullptr;
    }
    uint32_t shortest = 0;
    pcre2_pattern_info(compiled->code, PCRE2_INFO_MINLENGTH, &shortest);
    if (shortest == 0) {
      *problem = "The regular expression" + where +
                 " can match an empty text, and would put the new text "
                 "between every two characters. Make it match at least one "
                 "character.";
      return nullptr;
    }
    if (rules.regex) {
      std::string why;
      if (!ParseTemplate(pair.replacement, compiled->code, &compiled->pieces,
                         &why)) {
        *problem = where.empty() ? why
                                 : why.substr(0, why.size() - 1) + " (line " +
                                       std::to_string(k + 1) + " of the list).";
        return nullptr;
      }
    } else {
      compiled->pieces.push_back({Piece::kText, pair.replacement, 0});
      const bool ascii = std::all_of(
          pair.search.begin(), pair.search.end(),
          [](char c) { return static_cast<unsigned char>(c) < 0x80; });
      if (ascii) {
        compiled->literal = pair.search;
        compiled->caseless = !rules.match_case;
        if (compiled->caseless) FoldAscii(pair.search, &compiled->literal);
      }
    }
    if (rules.whole_words) {
      // Its groups keep their numbers: look-arounds capture nothing.
      const std::string word =
          "(?<![\\p{L}\\p{N}_])(?:" + pattern + ")(?![\\p{L}\\p{N}_])";
      pcre2_code_free(compiled->code);
      compiled->code =
          pcre2_compile(reinterpret_cast<PCRE2_SPTR>(word.data()), word.size(),
                        options, &error, &offset, nullptr);
      if (compiled->code == nullptr) {
        *problem = "The regular expression" + where +
                   " can't be used for whole words: " + ErrorText(error) + ".";
        return nullptr;
      }
    }
    // Without the JIT (a kernel that forbids it) PCRE2 interprets.
    pcre2_jit_compile(compiled->code, PCRE2_JIT_COMPLETE);
    set->pairs_.push_back(std::move(compiled));
  }
  set->MakeScreen(rules);
  return set;
}

void PatternSet::FoldAscii(std::string_view line, std::string* folded) {
  folded->assign(line);
  for (char& c : *folded) {
    if (static_cast<unsigned char>(c) >= 0x80) {
      folded->clear();
      return;
    }
    if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
  }
}

bool PatternSet::MayMatch(std::size_t pair, std::string_view line,
                          const std::string& folded) const {
  const Compiled& compiled = *pairs_[pair];
  if (compiled.literal.empty()) return true;
  if (!compiled.caseless) {
    return line.find(compiled.literal) != std::string_view::npos;
  }
  // Beyond ASCII, letters fold into ASCII ones (the Kelvin sign into k):
  // only an all-ASCII line can be ruled out so.
  return folded.size() != line.size() ||
         folded.find(compiled.literal) != std::string::npos;
}

void PatternSet::MakeScreen(const ReplaceRules& rules) {
  // A pattern's own search is what the screen would repeat, no faster
  // (a class such as \d with Unicode properties is read character by
  // character): only lists of literal texts are screened.
  if (rules.regex) return;
  std::string pattern;
  for (const ReplacePair& pair : rules.pairs) {
    pattern += (pattern.empty() ? "" : "|") + Quote(pair.search);
  }
  pcre2_compile_context* context = pcre2_compile_context_create(nullptr);
  if (context == nullptr) return;
  // Lines end at CR, LF or CR LF, as the planner splits them, so that ^
  // and $ find every line's start and end.
  pcre2_set_newline(context, PCRE2_NEWLINE_ANYCRLF);
  int error = 0;
  PCRE2_SIZE offset = 0;
  auto screen = std::make_unique<Compiled>();
  screen->code = pcre2_compile(reinterpret_cast<PCRE2_SPTR>(pattern.data()),
                               pattern.size(),
                               PCRE2_UTF | PCRE2_UCP | PCRE2_MULTILINE |
                                   (rules.match_case ? 0 : PCRE2_CASELESS),
                               &error, &offset, context);
  pcre2_compile_context_free(context);
  if (screen->code == nullptr) return;
  pcre2_jit_compile(screen->code, PCRE2_JIT_COMPLETE);
  screen_ = std::move(screen);
}

bool PatternSet::Screen(std::string_view text, std::size_t start,
                        Scratch& scratch, std::size_t* at) const {
  const int found = pcre2_match(
      screen_->code, reinterpret_cast<PCRE2_SPTR>(text.data()), text.size(),
      start, PCRE2_NO_UTF_CHECK, scratch.data(), scratch.context());
  if (found == PCRE2_ERROR_NOMATCH) {
    *at = std::string_view::npos;
    return true;
  }
  if (found < 0) return false;
  *at = pcre2_get_ovector_pointer(scratch.data())[0];
  return true;
}

PatternSet::ScratchPtr PatternSet::NewScratch() const {
  return ScratchPtr(new Scratch());
}

void PatternSet::ScratchDeleter::operator()(Scratch* scratch) const {
  delete scratch;
}

bool PatternSet::FindEdits(std::size_t pair, std::string_view line,
                           Scratch& scratch, std::vector<Edit>* edits) const {
  edits->clear();
  const Compiled& compiled = *pairs_[pair];
  const auto* subject = reinterpret_cast<PCRE2_SPTR>(line.data());
  for (std::size_t start = 0; start < line.size();) {
    const int found =
        pcre2_match(compiled.code, subject, line.size(), start,
                    PCRE2_NO_UTF_CHECK, scratch.data(), scratch.context());
    if (found == PCRE2_ERROR_NOMATCH) return true;
    if (found < 0) return false;  // the limits, or no memory for its work
    const PCRE2_SIZE* groups = pcre2_get_ovector_pointer(scratch.data());
    const std::size_t begin = groups[0], end = groups[1];
    if (end <= begin) {
      // Only \K can make a match end before it begins: pass it by.
      start = begin + 1;
      while (start < line.size() &&
             (static_cast<unsigned char>(line[start]) & 0xC0) == 0x80) {
        ++start;
      }
      continue;
    }
    Edit& edit = edits->emplace_back();
    edit.begin = begin;
    edit.end = end;
    Piece::Kind mode = Piece::kAsIs;
    const uint32_t set =
        found == 0 ? kOvectorPairs : static_cast<uint32_t>(found);
    for (const Piece& piece : compiled.pieces) {
      switch (piece.kind) {
        case Piece::kText:
          AppendCased(piece.text, mode, &edit.text);
          break;
        case Piece::kGroup:
          if (piece.group < set && groups[2 * piece.group] != PCRE2_UNSET) {
            AppendCased(line.substr(groups[2 * piece.group],
                                    groups[2 * piece.group + 1] -
                                        groups[2 * piece.group]),
                        mode, &edit.text);
          }
          break;
        default:
          mode = piece.kind;
      }
    }
    if (!every_) return true;
    start = end;
  }
  return true;
}

}  // namespace engine
