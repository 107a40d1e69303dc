#include "engine/text_encoding.h"

#include <langinfo.h>

#include <cctype>
#include <cstring>
#include <optional>
#include <utility>
#include <vector>

namespace engine {

namespace {

struct KnownEncoding {
  const char* name;    // WHATWG
  const char* iconv;   // what glibc calls it
  const char* labels;  // separated by single spaces
};

// Where WHATWG decodes with a superset of an encoding (GBK with gb18030,
// Shift_JIS as Windows does, EUC-KR with the Windows extension), glibc's
// superset is named, so that pages in the wild convert.
constexpr KnownEncoding kEncodings[] = {
    {"UTF-8", "UTF-8",
     "unicode-1-1-utf-8 unicode11utf8 unicode20utf8 utf-8 utf8 "
     "x-unicode20utf8"},
    {"IBM866", "IBM866", "866 cp866 csibm866 ibm866"},
    {"ISO-8859-2", "ISO-8859-2",
     "csisolatin2 iso-8859-2 iso-ir-101 iso8859-2 iso88592 iso_8859-2 "
     "iso_8859-2:1987 l2 latin2"},
    {"ISO-8859-3", "ISO-8859-3",
     "csisolatin3 iso-8859-3 iso-ir-109 iso8859-3 iso88593 iso_8859-3 "
     "iso_8859-3:1988 l3 latin3"},
    {"ISO-8859-4", "ISO-8859-4",
     "csisolatin4 iso-8859-4 iso-ir-110 iso8859-4 iso88594 iso_8859-4 "
     "iso_8859-4:1988 l4 latin4"},
    {"ISO-8859-5", "ISO-8859-5",
     "csisolatincyrillic cyrillic iso-8859-5 iso-ir-144 iso8859-5 iso88595 "
     "iso_8859-5 iso_8859-5:1988"},
    {"ISO-8859-6", "ISO-8859-6",
     "arabic asmo-708 csiso88596e csiso88596i csisolatinarabic ecma-114 "
     "iso-8859-6 iso-8859-6-e iso-8859-6-i iso-ir-127 iso8859-6 iso88596 "
     "iso_8859-6 iso_8859-6:1987"},
    {"ISO-8859-7", "ISO-8859-7",
     "csisolatingreek ecma-118 elot_928 greek greek8 iso-8859-7 iso-ir-126 "
     "iso8859-7 iso88597 iso_8859-7 iso_8859-7:1987 sun_eu_greek"},
    {"ISO-8859-8", "ISO-8859-8",
     "csiso88598e csisolatinhebrew hebrew iso-8859-8 iso-8859-8-e "
     "iso-ir-138 iso8859-8 iso88598 iso_8859-8 iso_8859-8:1988 visual"},
    {"ISO-8859-8-I", "ISO-8859-8", "csiso88598i iso-8859-8-i logical"},
    {"ISO-8859-10", "ISO-8859-10",
     "csisolatin6 iso-8859-10 iso-ir-157 iso8859-10 iso885910 l6 latin6"},
    {"ISO-8859-13", "ISO-8859-13", "iso-8859-13 iso8859-13 iso885913"},
    {"ISO-8859-14", "ISO-8859-14", "iso-8859-14 iso8859-14 iso885914"},
    {"ISO-8859-15", "ISO-8859-15",
     "csisolatin9 iso-8859-15 iso8859-15 iso885915 iso_8859-15 l9"},
    {"ISO-8859-16", "ISO-8859-16", "iso-8859-16"},
    {"KOI8-R", "KOI8-R", "cskoi8r koi koi8 koi8-r koi8_r"},
    {"KOI8-U", "KOI8-U", "koi8-ru koi8-u"},
    {"macintosh", "MACINTOSH", "csmacintosh mac macintosh x-mac-roman"},
    {"windows-874", "CP874",
     "dos-874 iso-8859-11 iso8859-11 iso885911 tis-620 windows-874"},
    {"windows-1250", "CP1250", "cp1250 windows-1250 x-cp1250"},
    {"windows-1251", "CP1251", "cp1251 windows-1251 x-cp1251"},
    {"windows-1252", "CP1252",
     "ansi_x3.4-1968 ascii cp1252 cp819 csisolatin1 ibm819 iso-8859-1 "
     "iso-ir-100 iso8859-1 iso88591 iso_8859-1 iso_8859-1:1987 l1 latin1 "
     "us-ascii windows-1252 x-cp1252"},
    {"windows-1253", "CP1253", "cp1253 windows-1253 x-cp1253"},
    {"windows-1254", "CP1254",
     "cp1254 csisolatin5 iso-8859-9 iso-ir-148 iso8859-9 iso88599 "
     "iso_8859-9 iso_8859-9:1989 l5 latin5 windows-1254 x-cp1254"},
    {"windows-1255", "CP1255", "cp1255 windows-1255 x-cp1255"},
    {"windows-1256", "CP1256", "cp1256 windows-1256 x-cp1256"},
    {"windows-1257", "CP1257", "cp1257 windows-1257 x-cp1257"},
    {"windows-1258", "CP1258", "cp1258 windows-1258 x-cp1258"},
    {"x-mac-cyrillic", "MAC-CYRILLIC", "x-mac-cyrillic x-mac-ukrainian"},
    {"GBK", "GB18030",
     "chinese csgb2312 csiso58gb231280 gb2312 gb_2312 gb_2312-80 gbk "
     "iso-ir-58 x-gbk"},
    {"gb18030", "GB18030", "gb18030"},
    {"Big5", "BIG5-HKSCS", "big5 big5-hkscs cn-big5 csbig5 x-x-big5"},
    {"EUC-JP", "EUC-JP", "cseucpkdfmtjapanese euc-jp x-euc-jp"},
    {"ISO-2022-JP", "ISO-2022-JP", "csiso2022jp iso-2022-jp"},
    {"Shift_JIS", "CP932",
     "csshiftjis ms932 ms_kanji shift-jis shift_jis sjis windows-31j "
     "x-sjis"},
    {"EUC-KR", "CP949",
     "cseuckr csksc56011987 euc-kr iso-ir-149 korean ks_c_5601-1987 "
     "ks_c_5601-1989 ksc5601 ksc_5601 windows-949"},
    {"UTF-16BE", "UTF-16BE", "unicodefffe utf-16be"},
    {"UTF-16LE", "UTF-16LE",
     "csunicode iso-10646-ucs-2 ucs-2 unicode unicodefeff utf-16 utf-16le"},
    {"x-user-defined", "CP1252", "x-user-defined"},
};

bool IsHtmlSpace(unsigned char c) {
  return c == 0x09 || c == 0x0A || c == 0x0C || c == 0x0D || c == 0x20;
}

unsigned char AsciiLower(unsigned char c) {
  return c >= 'A' && c <= 'Z' ? static_cast<unsigned char>(c + 0x20) : c;
}

bool StartsWithIgnoringCase(std::string_view text, std::size_t at,
                            std::string_view prefix) {
  if (text.size() - at < prefix.size()) return false;
  for (std::size_t i = 0; i < prefix.size(); ++i) {
    if (AsciiLower(text[at + i]) != prefix[i]) return false;
  }
  return true;
}

// The encoding named by the charset=... inside a content attribute's value.
std::string_view EncodingFromContent(std::string_view s) {
  std::size_t position = 0;
  for (;;) {
    while (position < s.size() &&
           !StartsWithIgnoringCase(s, position, "charset")) {
      ++position;
    }
    if (position >= s.size()) return {};
    position += 7;
    while (position < s.size() && IsHtmlSpace(s[position])) ++position;
    if (position < s.size() && s[position] == '=') break;
  }
  ++position;
  while (position < s.size() && IsHtmlSpace(s[position])) ++position;
  if (position >= s.size()) return {};
  const char quote = s[position];
  if (quote == '"' || quote == '\'') {
    const std::size_t close = s.find(quote, position + 1);
    if (close == std::string_view::npos) return {};
    return EncodingForLabel(s.substr(position + 1, close - position - 1));
  }
  std::size_t stop = position;
  while (stop < s.size() && !IsHtmlSpace(s[stop]) && s[stop] != ';') ++stop;
  return EncodingForLabel(s.substr(position, stop - position));
}

struct Attribute {
  std::string name, value;
};

// Reads the attribute at *position of an HTML tag; nullopt at the tag's
// end or the end of the bytes.
std::optional<Attribute> NextAttribute(std::string_view b, std::size_t* p) {
  std::size_t& i = *p;
  while (i < b.size() && (IsHtmlSpace(b[i]) || b[i] == '/')) ++i;
  if (i >= b.size() || b[i] == '>') return std::nullopt;
  Attribute attribute;
  for (;; ++i) {
    if (i >= b.size()) return std::nullopt;
    const unsigned char c = b[i];
    if (c == '=' && !attribute.name.empty()) break;
    if (IsHtmlSpace(c)) {
      while (i < b.size() && IsHtmlSpace(b[i])) ++i;
      if (i >= b.size()) return std::nullopt;
      if (b[i] != '=') return attribute;
      break;
    }
    if (c == '/' || c == '>') return attribute;
    attribute.name += static_cast<char>(AsciiLower(c));
  }
  ++i;  // the '='
  while (i < b.size() && IsHtmlSpace(b[i])) ++i;
  if (i >= b.size()) return std::nullopt;
  if (b[i] == '"' || b[i] == '\'') {
    const char quote = b[i];
    for (++i; i < b.size(); ++i) {
      if (b[i] == quote) {
        ++i;
        return attribute;
      }
      attribute.value += static_cast<char>(AsciiLower(b[i]));
    }
    return std::nullopt;
  }
  if (b[i] == '>') return attribute;
  for (; i < b.size(); ++i) {
    if (IsHtmlSpace(b[i]) || b[i] == '>') return attribute;
    attribute.value += static_cast<char>(AsciiLower(b[i]));
  }
  return std::nullopt;
}

// What one <meta> element declares, or empty; *p starts after "<meta" and
// its following space or slash.
std::string_view MetaEncoding(std::string_view b, std::size_t* p,
                              const EncodingUsable& usable) {
  std::vector<std::string> seen;
  bool got_pragma = false;
  std::optional<bool> need_pragma;
  std::optional<std::string_view> charset;  // empty: a failed label
  while (auto attribute = NextAttribute(b, p)) {
    if (*p >= b.size()) return {};  // the document ends inside the tag
    bool repeated = false;
    for (const std::string& name : seen) repeated |= name == attribute->name;
    if (repeated) continue;
    seen.push_back(attribute->name);
    if (attribute->name == "http-equiv") {
      got_pragma |= attribute->value == "content-type";
    } else if (attribute->name == "content") {
      std::string_view found = EncodingFromContent(attribute->value);
      if (!found.empty() && !charset) {
        charset = found;
        need_pragma = true;
      }
    } else if (attribute->name == "charset" && !charset) {
      charset = EncodingForLabel(attribute->value);
      need_pragma = false;
    }
  }
  if (*p >= b.size() || !need_pragma || (*need_pragma && !got_pragma) ||
      !charset || charset->empty()) {
    return {};
  }
  std::string_view name = *charset;
  if (name == "UTF-16LE" || name == "UTF-16BE") name = "UTF-8";
  if (name == "x-user-defined") name = "windows-1252";
  return usable(name) ? name : std::string_view();
}

// Whether a "<meta" comes after from, before any "<body": most documents
// that declare nothing in their first bytes declare nothing at all, and a
// glance for the two tags costs far less than a prescan of the whole.
bool MetaBeforeBody(std::string_view b, std::size_t from) {
  for (std::size_t i = from; i < b.size(); ++i) {
    const void* found = std::memchr(b.data() + i, '<', b.size() - i);
    if (found == nullptr) return false;
    i = static_cast<std::size_t>(static_cast<const char*>(found) - b.data());
    if (StartsWithIgnoringCase(b, i, "<meta")) return true;
    if (StartsWithIgnoringCase(b, i, "<body")) return false;
  }
  return false;
}

}  // namespace

std::string_view EncodingForLabel(std::string_view label) {
  while (!label.empty() && IsHtmlSpace(label.front())) label.remove_prefix(1);
  while (!label.empty() && IsHtmlSpace(label.back())) label.remove_suffix(1);
  if (label.empty()) return {};
  std::string lower(label);
  for (char& c : lower) c = static_cast<char>(AsciiLower(c));
  for (const KnownEncoding& known : kEncodings) {
    std::string_view labels = known.labels;
    while (!labels.empty()) {
      const std::size_t space = labels.find(' ');
      if (labels.substr(0, space) == lower) return known.name;
      if (space == std::string_view::npos) break;
      labels.remove_prefix(space + 1);
    }
  }
  return {};
}

std::string IconvName(std::string_view name) {
  for (const KnownEncoding& known : kEncodings) {
    if (name == known.name) return known.iconv;
  }
  return std::string(name);
}

std::string_view PrescanForEncoding(std::string_view b,
                                    const EncodingUsable& usable,
                                    bool until_body) {
  for (std::size_t i = 0; i < b.size(); ++i) {
    if (b[i] != '<') continue;
    if (b.compare(i, 4, "<!--") == 0) {
      // "<!-->" ends where it begins: the dashes may be shared.
      const std::size_t end = b.find("-->", i + 2);
      if (end == std::string_view::npos) return {};
      i = end + 2;
    } else if (StartsWithIgnoringCase(b, i, "<meta") && i + 5 < b.size() &&
               (IsHtmlSpace(b[i + 5]) || b[i + 5] == '/')) {
      std::size_t position = i + 6;
      std::string_view found = MetaEncoding(b, &position, usable);
      if (!found.empty()) return found;
      i = position;
    } else if (i + 1 < b.size() &&
               (std::isalpha(static_cast<unsigned char>(b[i + 1])) ||
                (b[i + 1] == '/' && i + 2 < b.size() &&
                 std::isalpha(static_cast<unsigned char>(b[i + 2]))))) {
      std::size_t position = i + 1;
      while (position < b.size() && !IsHtmlSpace(b[position]) &&
             b[position] != '>') {
        ++position;
      }
      if (until_body && position - i == 5 &&
          StartsWithIgnoringCase(b, i, "<body")) {
        return {};
      }
      while (NextAttribute(b, &position)) {
      }
      i = position;
    } else if (i + 1 < b.size() &&
               (b[i + 1] == '!' || b[i + 1] == '/' || b[i + 1] == '?')) {
      const std::size_t end = b.find('>', i + 1);
      if (end == std::string_view::npos) return {};
      i = end;
    }
  }
  return {};
}

SniffedEncoding SniffEncoding(std::string_view document,
                              const EncodingUsable& usable) {
  if (document.starts_with("\xEF\xBB\xBF")) return {"UTF-8", 3};
  if (document.starts_with("\xFF\xFE")) return {"UTF-16LE", 2};
  if (document.starts_with("\xFE\xFF")) return {"UTF-16BE", 2};
  std::string_view declared =
      PrescanForEncoding(document.substr(0, 1024), usable);
  if (declared.empty() && MetaBeforeBody(document, 1024)) {
    declared = PrescanForEncoding(document, usable, /*until_body=*/true);
  }
  if (!declared.empty()) return {std::string(declared), 0};
  if (IsValidUtf8(document)) return {"UTF-8", 0};
  // Pages saved by the user's other programs are most likely in the code
  // page of the user's locale.
  std::string name = LocaleEncoding();
  if (!name.empty() && usable(name)) return {std::move(name), 0};
  return {"windows-1252", 0};
}

std::string LocaleEncoding() {
  const char* codeset = ::nl_langinfo(CODESET);
  if (codeset == nullptr || std::strcmp(codeset, "UTF-8") == 0 ||
      std::strcmp(codeset, "ANSI_X3.4-1968") == 0) {
    return {};
  }
  std::string_view known = EncodingForLabel(codeset);
  std::string name = known.empty() ? std::string(codeset) : std::string(known);
  if (name == "UTF-8" || name.starts_with("UTF-16")) return {};
  return name;
}

std::vector<std::string> SniffableEncodings() {
  std::vector<std::string> names;
  for (const KnownEncoding& known : kEncodings) names.push_back(known.name);
  std::string locale = LocaleEncoding();
  if (!locale.empty()) names.push_back(std::move(locale));
  return names;
}

}  // namespace engine
