#include "engine/document_lines.h"

#include <algorithm>
#include <cstring>

#include "engine/text_encoding.h"
#include "engine/text_scanner.h"

namespace engine {

namespace {

constexpr std::size_t kNone = std::string_view::npos;

// CR and LF as UTF-16 code units in either byte order.
const UnitScanner& Breaks16(bool big_endian) {
  static const UnitScanner little({u'\r', u'\n'}, nullptr, false);
  static const UnitScanner big({u'\r', u'\n'}, nullptr, true);
  return big_endian ? big : little;
}

}  // namespace

Line LineSplitter::At(std::size_t start) {
  if (utf16_) return At16(start);
  if (!started_) {
    // Not before: a document without candidates is never split.
    next_cr_ = body_.find('\r', start);
    next_lf_ = body_.find('\n', start);
    started_ = true;
  }
  const std::size_t cr = Next('\r', start, &next_cr_);
  const std::size_t lf = Next('\n', start, &next_lf_);
  if (lf < cr) return {start, lf, lf + 1, Ending::kLf};
  if (cr == kNone) return {start, body_.size(), body_.size(), Ending::kNone};
  if (lf == cr + 1) return {start, cr, cr + 2, Ending::kCrLf};
  return {start, cr, cr + 1, Ending::kCr};
}

std::size_t LineSplitter::StartOfLine(std::size_t from,
                                      std::size_t position) const {
  if (position <= from) return from;
  if (utf16_) {
    const std::size_t last = Breaks16(big_endian_).Last(body_, from, position);
    return last == kNone ? from : last + 2;
  }
  // Past the last CR or LF before position.
  const char* base = body_.data() + from;
  const std::size_t span = position - from;
  const char* cr = static_cast<const char*>(::memrchr(base, '\r', span));
  const char* lf = static_cast<const char*>(::memrchr(base, '\n', span));
  const char* last = std::max(cr, lf);
  return last == nullptr ? from : from + (last - base) + 1;
}

std::size_t LineSplitter::Next(char byte, std::size_t from,
                               std::size_t* cached) {
  if (*cached != kNone && *cached < from) *cached = body_.find(byte, from);
  return *cached;
}

unsigned LineSplitter::Unit(std::size_t i) const {
  const auto a = static_cast<unsigned char>(body_[i]);
  const auto b = static_cast<unsigned char>(body_[i + 1]);
  return big_endian_ ? (a << 8 | b) : (b << 8 | a);
}

Line LineSplitter::At16(std::size_t start) const {
  const std::size_t i = Breaks16(big_endian_).Next(body_, start);
  if (i == kNone) return {start, body_.size(), body_.size(), Ending::kNone};
  if (Unit(i) == 0x0A) return {start, i, i + 2, Ending::kLf};
  if (i + 3 < body_.size() && Unit(i + 2) == 0x0A) {
    return {start, i, i + 4, Ending::kCrLf};
  }
  return {start, i, i + 2, Ending::kCr};
}

std::string_view EscapeTracker::Before(std::string_view body,
                                       std::size_t position) {
  if (position > scanned_) {
    const void* found =
        ::memrchr(body.data() + scanned_, 0x1B, position - scanned_);
    if (found != nullptr) {
      last_ = static_cast<std::size_t>(static_cast<const char*>(found) -
                                       body.data());
    }
    scanned_ = position;
  }
  return EscapeAt(body, last_);
}

std::string_view EscapeTracker::EscapeAt(std::string_view body,
                                         std::size_t at) {
  if (at == kNone) return {};
  return body.substr(at, Iso2022EscapeLength(body.substr(at)));
}

void Output::AppendToBlocks(std::string_view bytes) {
  if (blocks_.empty() ||
      blocks_.back().size() + bytes.size() > blocks_.back().capacity()) {
    blocks_.emplace_back();
    blocks_.back().reserve(std::max<std::size_t>(bytes.size(), 1 << 20));
  }
  blocks_.back().append(bytes);
}

void Output::MoveTo(std::string* content) {
  if (blocks_.empty()) {
    *content = std::move(main_);
    return;
  }
  content->clear();
  content->reserve(size_);
  content->append(main_);
  std::string().swap(main_);
  for (std::string& block : blocks_) {
    content->append(block);
    std::string().swap(block);
  }
}

}  // namespace engine
