// How the planner walks a document: its lines (ended by CR LF, CR or LF,
// in UTF-16 by those code units), the line a byte lies in, the
// ISO-2022-JP escape sequence in effect at a place, and the plan's content
// as it grows.  All of it is the working state of one Plan call, for one
// thread.

#ifndef VANTREL_ENGINE_DOCUMENT_LINES_H_
#define VANTREL_ENGINE_DOCUMENT_LINES_H_

#include <cstddef>
#include <string>
#include <string_view>
#include <vector>

namespace engine {

enum class Ending { kNone, kLf, kCrLf, kCr };

struct Line {
  std::size_t start, end, next;  // content is [start, end)
  Ending ending;
};

// Splits a document into lines, remembering the next CR and LF so that
// each byte is looked at once.
class LineSplitter {
 public:
  LineSplitter(std::string_view body, bool utf16, bool big_endian)
      : body_(body), utf16_(utf16), big_endian_(big_endian) {}

  // The line that begins at start.
  Line At(std::size_t start);
  // Where the line that position lies in begins, given that a line begins
  // at from <= position.
  std::size_t StartOfLine(std::size_t from, std::size_t position) const;

 private:
  std::size_t Next(char byte, std::size_t from, std::size_t* cached);
  unsigned Unit(std::size_t i) const;
  Line At16(std::size_t start) const;

  std::string_view body_;
  bool utf16_, big_endian_;
  bool started_ = false;
  std::size_t next_cr_ = std::string_view::npos;
  std::size_t next_lf_ = std::string_view::npos;
};

// The ISO-2022-JP escape sequence in effect at a place in a document: the
// last one before it.  Places must come in order.
class EscapeTracker {
 public:
  std::string_view Before(std::string_view body, std::size_t position);
  // The escape sequence at at (npos: none), or empty.
  static std::string_view EscapeAt(std::string_view body, std::size_t at);

 private:
  std::size_t scanned_ = 0, last_ = std::string_view::npos;
};

// The plan's content as it grows.  A string that doubles its capacity would
// briefly hold three times a large document's size; instead a close guess
// is reserved, and what overflows it waits in blocks that are joined once.
class Output {
 public:
  explicit Output(std::size_t guess) { main_.reserve(guess); }
  std::size_t size() const { return size_; }
  void Append(std::string_view bytes) {
    size_ += bytes.size();
    if (blocks_.empty() && main_.size() + bytes.size() <= main_.capacity()) {
      main_.append(bytes);
      return;
    }
    AppendToBlocks(bytes);
  }
  void MoveTo(std::string* content);

 private:
  void AppendToBlocks(std::string_view bytes);

  std::string main_;
  std::vector<std::string> blocks_;
  std::size_t size_ = 0;
};

}  // namespace engine

#endif  // VANTREL_ENGINE_DOCUMENT_LINES_H_
