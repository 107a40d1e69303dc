#include "engine/text_decoder.h"

#include <algorithm>
#include <cerrno>
#include <cstring>

namespace engine {

namespace {

// Big5's characters that read as two code points end in a mark of this
// block (no other encoding browsers know has any such character); a run
// that holds one is read again a character at a time.
bool HoldsCombiningMark(const char32_t* code_points, std::size_t count) {
  for (std::size_t i = 0; i < count; ++i) {
    if (code_points[i] >= 0x300 && code_points[i] <= 0x36F) return true;
  }
  return false;
}

}  // namespace

void MultiByteReader::Start(std::string_view text, std::size_t position,
                            std::string_view escape) {
  text_ = text;
  position_ = position;
  // The other decoders keep no state between characters.
  if (iso2022_ || paired_) decoder_.Reset();
  if (!escape.empty()) {
    char ignored[8];
    decoder_.Convert(escape, ignored, sizeof ignored);
  }
}

std::size_t MultiByteReader::Convert(char32_t* out, std::size_t room,
                                     std::size_t limit) {
  char* in = const_cast<char*>(text_.data()) + position_;
  std::size_t left = limit - position_;
  char* put = reinterpret_cast<char*>(out);
  std::size_t space = room * sizeof(char32_t);
  const std::size_t result =
      ::iconv(decoder_.handle(), &in, &left, &put, &space);
  error_ = result == static_cast<std::size_t>(-1) ? errno : 0;
  position_ = limit - left;
  return static_cast<std::size_t>(put - reinterpret_cast<char*>(out)) /
         sizeof(char32_t);
}

std::size_t MultiByteReader::Read(char32_t* out, std::size_t room) {
  if (each_) return ReadEach(out, room, text_.size());
  std::size_t count = 0;
  while (count < room && position_ < text_.size()) {
    std::size_t limit = text_.size();
    if (iso2022_) {
      // Escape sequences are taken one at a time, never inside a run:
      // glibc reads one it doesn't know (ESC ( Z) as characters, and here
      // every escape sequence is none.
      if (text_[position_] == '\x1B') {
        count += ReadEach(out + count, 1, position_ + 1);
        continue;
      }
      const void* escape = std::memchr(text_.data() + position_, '\x1B',
                                       text_.size() - position_);
      if (escape != nullptr) {
        limit = static_cast<std::size_t>(static_cast<const char*>(escape) -
                                         text_.data());
      }
    }
    const std::size_t start = position_;
    const std::size_t made = Convert(out + count, room - count, limit);
    // A character that reads as two code points either came whole, its
    // second code point a mark, or glibc held that back for want of room.
    if (paired_ && (HoldsCombiningMark(out + count, made) ||
                    (error_ == E2BIG && HeldBack()))) {
      const std::size_t stop = position_;
      position_ = start;
      count += ReadEach(out + count, room - count, stop);
      continue;
    }
    count += made;
    if (error_ == 0 || (error_ == E2BIG && made > 0)) continue;
    // Stuck: a byte that begins no character (a character cut by an
    // escape sequence is none), or one too wide for the place left.
    PassStuck(out + count);
    ++count;
  }
  return count;
}

std::size_t MultiByteReader::ReadEach(char32_t* out, std::size_t room,
                                      std::size_t limit) {
  std::size_t count = 0;
  while (count < room && position_ < limit) {
    if (iso2022_ && text_[position_] == '\x1B') {
      const std::size_t length = Iso2022EscapeLength(text_.substr(position_));
      if (length != 0) {
        char ignored[8];
        decoder_.Convert(text_.substr(position_, length), ignored,
                         sizeof ignored);
        position_ += length;
        continue;
      }
    }
    const std::size_t start = position_;
    const std::size_t made = Convert(out + count, 1, text_.size());
    if (position_ > start) {
      // A character that read as two code points, the second held back,
      // is one unit too.
      if (made == 0 || (paired_ && HeldBack())) out[count] = kUndecodable;
      ++count;
    } else {
      PassStuck(out + count++);
    }
  }
  return count;
}

void MultiByteReader::PassStuck(char32_t* out) {
  if (error_ == E2BIG) {
    // A character that reads as two code points is passed over whole.
    const std::size_t start = position_;
    char32_t wide[2];
    Convert(wide, 2, text_.size());
    if (position_ == start) ++position_;
  } else {
    ++position_;
  }
  *out = kUndecodable;
}

void MultiByteReader::Skip(std::size_t count) {
  char32_t ignored[256];
  while (count > 0) {
    const std::size_t read = Read(ignored, std::min(count, std::size(ignored)));
    if (read == 0) return;
    count -= read;
  }
}

void MultiByteReader::PassTrailingEscapes() {
  const std::size_t start = position_;
  char32_t next;
  if (Convert(&next, 1, text_.size()) != 0 || error_ == E2BIG) {
    position_ = start;
  }
}

bool MultiByteReader::HeldBack() {
  char32_t held;
  char* put = reinterpret_cast<char*>(&held);
  std::size_t room = sizeof held;
  ::iconv(decoder_.handle(), nullptr, nullptr, &put, &room);
  return room == 0;
}

void MultiByteReader::SkipTo(std::size_t target) {
  char32_t ignored[256];
  while (position_ < target) {
    Convert(ignored, std::size(ignored), target);
    if (position_ >= target || error_ == E2BIG) continue;
    if (error_ == EINVAL) {
      // A character that runs past target, read against the whole text.
      Read(ignored, 1);
    } else {
      ++position_;  // a byte that begins no character
    }
  }
  if (paired_) HeldBack();  // what a character cut by a run's end left
}

}  // namespace engine
