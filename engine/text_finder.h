// The search of one document's lines with a readied TextMatcher: where
// finding keeps what changes as it goes (a decoder and its shift state,
// where the last characters began), so that the matcher itself never
// changes and can serve many threads.  A finder is made for each document
// and belongs to the thread that plans it.
//
// Finding can be long (a line of many megabytes), so it asks the run, now
// and then, whether it should give up.

#ifndef VANTREL_ENGINE_TEXT_FINDER_H_
#define VANTREL_ENGINE_TEXT_FINDER_H_

#include <cstddef>
#include <functional>
#include <memory>
#include <optional>
#include <string_view>
#include <vector>

#include "engine/text_decoder.h"
#include "engine/text_matcher.h"

namespace engine {

// Asks a run's stop request once every so many units of work (bytes or
// characters), so that asking costs nothing next to the work.
class StopPoll {
 public:
  // stop may be empty: then nothing is ever asked.
  explicit StopPoll(const std::function<bool()>& stop)
      : stop_(stop ? &stop : nullptr) {}

  // Counts work units done; true once the run has asked to stop.
  bool Due(std::size_t work) {
    if (stop_ == nullptr || stopped_) return stopped_;
    done_ += work;
    if (done_ < kEvery) return false;
    done_ = 0;
    stopped_ = (*stop_)();
    return stopped_;
  }
  bool stopped() const { return stopped_; }

 private:
  static constexpr std::size_t kEvery = 1 << 16;
  const std::function<bool()>* stop_;
  std::size_t done_ = 0;
  bool stopped_ = false;
};

class LineFinder {
 public:
  // matcher and search (one of matcher's) must outlive the finder.
  LineFinder(const TextMatcher& matcher, const EncodedSearch& search,
             StopPoll& stop);
  ~LineFinder();

  // The first match in text that begins at or after from, where text ends
  // at the end of a line that begins at line_start.  For ISO-2022-JP,
  // escape is the escape sequence in effect at line_start.  nullopt also
  // when the run asked to stop (stopped() then says so).  May throw
  // std::bad_alloc.
  std::optional<TextMatch> Find(std::string_view text, std::size_t line_start,
                                std::size_t from, std::string_view escape);
  bool stopped() const { return stop_.stopped(); }

 private:
  // A place where a character begins and the number of characters read
  // before it: reading can start again there.
  struct Mark {
    std::size_t position, index;
  };

  template <typename Decode>
  std::optional<TextMatch> Scan(std::string_view text, std::size_t from,
                                Decode decode);
  std::optional<TextMatch> FindMultiByte(std::string_view text,
                                         std::size_t line_start,
                                         std::size_t from,
                                         std::string_view escape);
  // position, or past the ISO-2022-JP escape sequences there, which are
  // no part of the character after them.
  std::size_t PastEscapes(std::string_view text, std::size_t position) const;
  // The bytes of the characters first to last read since the marks.
  TextMatch Between(std::string_view text, std::string_view escape,
                    std::size_t first, std::size_t last);

  const TextMatcher& matcher_;
  const EncodedSearch& search_;
  StopPoll& stop_;
  // Where each of the last keys characters began.
  std::vector<std::size_t> starts_;
  std::unique_ptr<IconvConversion> decoder_;  // opened when first needed
  std::unique_ptr<MultiByteReader> reader_;
  std::vector<char32_t> run_;
  std::vector<Mark> marks_;
};

}  // namespace engine

#endif  // VANTREL_ENGINE_TEXT_FINDER_H_
