#include "engine/text_matcher.h"

#include <wctype.h>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <utility>

namespace engine {

namespace {

// Where a character of family begins in UTF-16: the character itself, or
// the high surrogate of one beyond the Basic Multilingual Plane.  *single
// tells whether every one is a single unit.
std::vector<char16_t> FirstUnits(const std::vector<char32_t>& family,
                                 bool* single) {
  std::vector<char16_t> units;
  *single = true;
  for (char32_t c : family) {
    *single &= c < 0x10000;
    const char16_t unit =
        static_cast<char16_t>(c < 0x10000 ? c : 0xD800 + ((c - 0x10000) >> 10));
    if (std::find(units.begin(), units.end(), unit) == units.end()) {
      units.push_back(unit);
    }
  }
  return units;
}

}  // namespace

CaseFolder::CaseFolder() {
  locale_ = ::newlocale(LC_CTYPE_MASK, "C.UTF-8", nullptr);
  if (locale_ == nullptr) locale_ = ::duplocale(LC_GLOBAL_LOCALE);
  for (char32_t c = 0; c < kCached; ++c) cached_[c] = Fold(c);
}

CaseFolder::~CaseFolder() {
  if (locale_ != nullptr) ::freelocale(locale_);
}

std::uint32_t CaseFolder::Fold(char32_t c) const {
  if (locale_ == nullptr) return c;
  const wint_t upper = ::towupper_l(static_cast<wint_t>(c), locale_);
  return static_cast<std::uint32_t>(::towlower_l(upper, locale_));
}

std::vector<char32_t> CaseFolder::CharactersWithKey(std::uint32_t key) const {
  std::vector<char32_t> found;
  for (char32_t c = 0; c < 0x20000; ++c) {
    if (c >= 0xD800 && c <= 0xDFFF) continue;
    if (Key(c) == key) found.push_back(c);
  }
  if (key >= 0x20000 && key <= 0x10FFFF) found.push_back(key);
  return found;
}

KeySearch::KeySearch(std::vector<std::uint32_t> keys)
    : keys_(std::move(keys)), failure_(keys_.size() + 1, 0) {
  std::size_t border = 0;
  for (std::size_t i = 1; i < keys_.size(); ++i) {
    while (border > 0 && keys_[i] != keys_[border]) border = failure_[border];
    if (keys_[i] == keys_[border]) ++border;
    failure_[i + 1] = border;
  }
}

TextMatcher::TextMatcher(std::string_view search_text,
                         const std::vector<std::string>& encodings) {
  const auto* p = reinterpret_cast<const unsigned char*>(search_text.data());
  const auto* end = p + search_text.size();
  for (Utf8Character c; p < end; p += c.length) {
    c = DecodeUtf8(p, end);
    keys_.push_back(folder_.Key(c.code_point));
  }
  search_ = std::make_unique<KeySearch>(keys_);
  first_family_ = folder_.CharactersWithKey(keys_[0]);
  if (keys_.size() > 1) second_family_ = folder_.CharactersWithKey(keys_[1]);
  for (const std::string& encoding : encodings) {
    slots_.emplace(encoding, std::make_unique<Slot>());
  }
}

TextMatcher::~TextMatcher() = default;

const EncodedSearch* TextMatcher::For(std::string_view encoding) const {
  auto found = slots_.find(encoding);
  if (found == slots_.end()) return nullptr;
  Slot& slot = *found->second;
  std::call_once(slot.once, [&] { slot.search = Ready(found->first); });
  return slot.search.get();
}

std::unique_ptr<EncodedSearch> TextMatcher::Ready(
    std::string_view encoding) const {
  using Form = EncodedSearch::Form;
  auto search = std::make_unique<EncodedSearch>();
  if (encoding == "UTF-8") {
    ByteSet first{}, second{};
    for (char32_t c : first_family_) first[Utf8Lead(c)] = true;
    for (char32_t c : second_family_) second[Utf8Lead(c)] = true;
    // Pairs of bytes stand for pairs of characters only while the first
    // character is one byte long.
    bool pairs = !second_family_.empty();
    for (int b = 0x80; b < 256; ++b) pairs &= !first[b];
    search->scanner_ = ByteScanner(first, pairs ? &second : nullptr);
    search->candidates_begin_ = true;
    return search;
  }
  search->iconv_name_ = IconvName(encoding);
  // Both ways, or the encoding is of no use: the new text is written in it.
  auto encoder = IconvConversion::Open(search->iconv_name_, "UTF-8");
  auto decoder = IconvConversion::Open("WCHAR_T", search->iconv_name_);
  if (encoder == nullptr || decoder == nullptr) return nullptr;
  if (encoding == "UTF-16LE" || encoding == "UTF-16BE") {
    search->form_ = encoding == "UTF-16LE" ? Form::kUtf16Le : Form::kUtf16Be;
    bool single_first, single_second;
    const std::vector<char16_t> first =
        FirstUnits(first_family_, &single_first);
    const std::vector<char16_t> second =
        FirstUnits(second_family_, &single_second);
    const bool pairs = single_first && !second_family_.empty();
    search->units_ = UnitScanner(first, pairs ? &second : nullptr,
                                 search->form_ == Form::kUtf16Be);
    search->candidates_begin_ = true;
    return search;
  }
  if (!ReadyBytes(search.get(), *decoder)) {
    ReadyMultiByte(encoding, search.get(), *encoder);
  }
  return search;
}

bool TextMatcher::ReadyBytes(EncodedSearch* search,
                             IconvConversion& decoder) const {
  // An encoding is read a byte at a time when no byte is the first part of
  // a longer character.
  for (int b = 0; b < 256; ++b) {
    const char byte = static_cast<char>(b);
    char32_t out = 0;
    decoder.Reset();
    auto [read, made] = decoder.Convert(std::string_view(&byte, 1),
                                        reinterpret_cast<char*>(&out), 4);
    if (read == 0 && errno == EINVAL) return false;
    if (read == 1 && made == 0) {
      // windows-1255 and windows-1258 hold a letter back in case a mark
      // follows to join it; nothing follows here.
      char* put = reinterpret_cast<char*>(&out);
      std::size_t room = 4;
      ::iconv(decoder.handle(), nullptr, nullptr, &put, &room);
      made = 4 - room;
    }
    search->keys_[b] = made == 4 ? folder_.Key(out) : kRawKey;
  }
  search->form_ = EncodedSearch::Form::kSingleByte;
  ByteSet first{}, second{};
  for (int b = 0; b < 256; ++b) {
    first[b] = search->keys_[b] == keys_[0];
    second[b] = keys_.size() > 1 && search->keys_[b] == keys_[1];
  }
  search->scanner_ = ByteScanner(first, keys_.size() > 1 ? &second : nullptr);
  search->candidates_begin_ = true;
  return true;
}

void TextMatcher::ReadyMultiByte(std::string_view encoding,
                                 EncodedSearch* search,
                                 IconvConversion& encoder) const {
  using Form = EncodedSearch::Form;
  using Kind = MultiByteReader::Kind;
  search->form_ = encoding == "ISO-2022-JP" ? Form::kIso2022 : Form::kMultiByte;
  // Of the encodings browsers know it is known how their characters read
  // (glibc's tables say so, character by character); of a locale's other
  // charset nothing is assumed.
  const bool known = EncodingForLabel(encoding) == encoding;
  search->reading_ = !known                            ? Kind::kUnknown
                     : search->form_ == Form::kIso2022 ? Kind::kIso2022
                     : encoding == "Big5"              ? Kind::kPaired
                                                       : Kind::kSingle;
  ByteSet first{}, second{};
  if (search->form_ == Form::kMultiByte && known) {
    // In these a byte below 0x80 that begins a character is that ASCII
    // character, and every other character begins with a byte above: so a
    // match begins at one of those bytes, and the scanner can say where
    // it may.
    bool ascii_first = true, ascii_second = keys_.size() > 1;
    for (char32_t c : first_family_) {
      if (c < 0x80) first[c] = true;
      ascii_first &= c < 0x80;
    }
    for (int b = 0x80; b < 256 && !ascii_first; ++b) first[b] = true;
    for (char32_t c : second_family_) {
      if (c < 0x80) second[c] = true;
      ascii_second &= c < 0x80;
    }
    search->scanner_ =
        ByteScanner(first, ascii_first && ascii_second ? &second : nullptr);
    search->candidates_begin_ = true;
    return;
  }
  // A line can hold a match only if it holds every byte of some way to
  // write the first character.
  for (char32_t c : first_family_) {
    std::string bytes;
    std::size_t unencodable;
    if (!ConvertUtf8(encoder, EncodeUtf8(c), &bytes, &unencodable)) continue;
    for (unsigned char b : bytes) first[b] = true;
  }
  search->scanner_ = ByteScanner(first, nullptr);
}

}  // namespace engine
