#include "engine/text_finder.h"

#include <algorithm>
#include <new>

namespace engine {

namespace {

constexpr std::size_t kNone = std::string_view::npos;
// Characters between two questions to StopPoll.
constexpr std::size_t kPollEvery = 4096;
// Characters read in one iconv call: few after a jump, since the search
// may soon find that the candidate begins no match, more while it goes on.
constexpr std::size_t kLongestRun = 1024;

// Bytes after which a character of Shift_JIS, EUC-JP, EUC-KR, gb18030 or
// Big5 always begins: below 0x80 a byte is an ASCII character or the last
// of a longer one, except that gb18030's four-byte characters have a digit
// second.
bool EndsCharacter(unsigned char byte) {
  return byte < 0x80 && (byte < '0' || byte > '9');
}

}  // namespace

LineFinder::LineFinder(const TextMatcher& matcher, const EncodedSearch& search,
                       StopPoll& stop)
    : matcher_(matcher),
      search_(search),
      stop_(stop),
      starts_(matcher.keys_.size()) {}

LineFinder::~LineFinder() = default;

template <typename Decode>
std::optional<TextMatch> LineFinder::Scan(std::string_view text,
                                          std::size_t from, Decode decode) {
  const KeySearch& keys = *matcher_.search_;
  const std::size_t count = keys.size();
  const bool jump = search_.candidates_begin_matches();
  std::size_t state = 0, fed = 0, since_poll = 0;
  for (std::size_t position = from; position < text.size();) {
    // With nothing matched so far, a match can only begin at a candidate.
    if (state == 0 && jump) {
      position = search_.NextCandidate(text, position);
      if (position == kNone) break;
    }
    if (++since_poll == kPollEvery) {
      since_poll = 0;
      if (stop_.Due(kPollEvery)) return std::nullopt;
    }
    std::uint32_t key;
    const std::size_t length = decode(position, &key);
    starts_[fed++ % count] = position;
    if (keys.Step(key, &state)) {
      const std::size_t start = starts_[(fed - count) % count];
      return TextMatch{start, position + length - start};
    }
    position += length;
  }
  return std::nullopt;
}

std::optional<TextMatch> LineFinder::Find(std::string_view text,
                                          std::size_t line_start,
                                          std::size_t from,
                                          std::string_view escape) {
  using Form = EncodedSearch::Form;
  const CaseFolder& folder = matcher_.folder_;
  const auto* p = reinterpret_cast<const unsigned char*>(text.data());
  const auto* end = p + text.size();
  switch (search_.form_) {
    case Form::kUtf8:
      return Scan(text, from, [&](std::size_t i, std::uint32_t* key) {
        const Utf8Character c = DecodeUtf8(p + i, end);
        *key = c.valid ? folder.Key(c.code_point) : kRawKey;
        return c.length;
      });
    case Form::kSingleByte:
      return Scan(text, from, [&](std::size_t i, std::uint32_t* key) {
        *key = search_.keys_[p[i]];
        return std::size_t{1};
      });
    case Form::kUtf16Le:
    case Form::kUtf16Be: {
      const bool big = search_.form_ == Form::kUtf16Be;
      auto unit = [&](std::size_t i) -> char32_t {
        return big ? (p[i] << 8 | p[i + 1]) : (p[i + 1] << 8 | p[i]);
      };
      return Scan(text, from, [&](std::size_t i, std::uint32_t* key) {
        *key = kRawKey;
        if (i + 2 > text.size()) return text.size() - i;
        const char32_t u = unit(i);
        if (u >= 0xD800 && u <= 0xDBFF && i + 4 <= text.size()) {
          const char32_t low = unit(i + 2);
          if (low >= 0xDC00 && low <= 0xDFFF) {
            *key = folder.Key(0x10000 + ((u - 0xD800) << 10) + (low - 0xDC00));
            return std::size_t{4};
          }
        }
        if (u < 0xD800 || u > 0xDFFF) *key = folder.Key(u);
        return std::size_t{2};
      });
    }
    case Form::kMultiByte:
    case Form::kIso2022:
      break;
  }
  return FindMultiByte(text, line_start, from, escape);
}

std::optional<TextMatch> LineFinder::FindMultiByte(std::string_view text,
                                                   std::size_t line_start,
                                                   std::size_t from,
                                                   std::string_view escape) {
  if (reader_ == nullptr) {
    decoder_ = IconvConversion::Open("WCHAR_T", search_.iconv_name_);
    // It opened when the search was readied: only memory can be short.
    if (decoder_ == nullptr) throw std::bad_alloc();
    reader_ = std::make_unique<MultiByteReader>(*decoder_, search_.reading_);
    run_.resize(kLongestRun);
  }
  MultiByteReader& reader = *reader_;
  const KeySearch& keys = *matcher_.search_;
  const CaseFolder& folder = matcher_.folder_;
  // Characters of most of these encodings can be told from the middle of a
  // line only after a byte that ends one; where the scanner's candidates
  // can't be trusted to begin matches, every line is read from its start.
  const bool jump = search_.candidates_begin_matches();
  reader.Start(text, line_start, escape);
  marks_.assign(1, Mark{line_start, 0});
  // A first run as long as the search text, for a match that begins where
  // the run does.
  const std::size_t first_run = std::min(keys.size(), kLongestRun);
  std::size_t state = 0, read = 0, room = first_run;
  for (std::size_t next = from;;) {
    if (jump && state == 0) {
      const std::size_t candidate = search_.NextCandidate(text, next);
      if (candidate == kNone) return std::nullopt;
      if (candidate > reader.position()) {
        std::size_t resume = reader.position();
        for (std::size_t i = candidate; i > resume; --i) {
          if (EndsCharacter(text[i - 1])) {
            resume = i;
            break;
          }
        }
        reader.Start(text, resume, {});
        reader.SkipTo(candidate);
        // No match begins before the candidate, nor in what was skipped.
        marks_.clear();
        room = first_run;
      }
    }
    if (stop_.Due(room)) return std::nullopt;
    const std::size_t start = reader.position();
    const std::size_t got = reader.Read(run_.data(), room);
    if (got == 0) return std::nullopt;
    if (jump) {
      marks_.push_back({start, read});
      // Marks that no match yet to be found begins after.
      while (marks_.size() > 1 && marks_[1].index + keys.size() <= read + 1) {
        marks_.erase(marks_.begin());
      }
    }
    for (std::size_t i = 0; i < got; ++i) {
      const char32_t c = run_[i];
      if (!keys.Step(c == kUndecodable ? kRawKey : folder.Key(c), &state)) {
        continue;
      }
      // When the match is the whole of a full run, the run's ends are its
      // own; else they are found again (a run that stopped short may also
      // have passed escape sequences after its last character).
      if (i + 1 != keys.size() || i + 1 != room || got != room) {
        return Between(text, escape, read + i + 1 - keys.size(), read + i);
      }
      const std::size_t begin = PastEscapes(text, start);
      if (search_.iso2022()) reader.PassTrailingEscapes();
      return TextMatch{begin, reader.position() - begin};
    }
    read += got;
    next = reader.position();
    room = std::min(room * 2, kLongestRun);
  }
}

std::size_t LineFinder::PastEscapes(std::string_view text,
                                    std::size_t position) const {
  while (search_.iso2022() && position < text.size()) {
    const std::size_t length = Iso2022EscapeLength(text.substr(position));
    if (length == 0) break;
    position += length;
  }
  return position;
}

TextMatch LineFinder::Between(std::string_view text, std::string_view escape,
                              std::size_t first, std::size_t last) {
  MultiByteReader& reader = *reader_;
  // Where the index-th character read since the marks begins: read again
  // from the last mark before it, in the state reading had there.
  auto place = [&](std::size_t index) {
    const Mark* mark = &marks_.front();
    for (const Mark& later : marks_) {
      if (later.index <= index) mark = &later;
    }
    // Only ISO-2022-JP has a shift state, and it reads lines whole.
    reader.Start(text, mark->position, escape);
    reader.Skip(index - mark->index);
    return reader.position();
  };
  const std::size_t begin = PastEscapes(text, place(first));
  place(last + 1);
  // A match that ends a line takes ISO-2022-JP's escape back to ASCII with
  // it, and the new text, written from ASCII, needs no shift after it.
  if (search_.iso2022()) reader.PassTrailingEscapes();
  return TextMatch{begin, reader.position() - begin};
}

}  // namespace engine
