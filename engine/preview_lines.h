// How a preview shows a document's changed lines: the bytes of each line,
// before and after, in the document's own encoding, turned into UTF-8 text
// with the highlighted part found again in it.  What does not decode shows
// as U+FFFD.  Most lines are already their own UTF-8 text (valid UTF-8, or
// ASCII in an encoding that keeps ASCII as it is) and are only copied.

#ifndef VANTREL_ENGINE_PREVIEW_LINES_H_
#define VANTREL_ENGINE_PREVIEW_LINES_H_

#include <cstddef>
#include <functional>
#include <map>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "engine/preview.h"
#include "engine/update_check.h"

namespace engine {

class DisplayDecoder;

// Not thread-safe; keeps one converter per encoding it has met.
class PreviewLineDecoder {
 public:
  PreviewLineDecoder();
  ~PreviewLineDecoder();
  PreviewLineDecoder(const PreviewLineDecoder&) = delete;
  PreviewLineDecoder& operator=(const PreviewLineDecoder&) = delete;

  // Appends to *lines the changed lines of checked (the first
  // kMostChangedLinesKept), whose plan was made with its changed lines
  // kept.  May throw std::bad_alloc.
  void AddLines(const CheckedDocument& checked,
                std::vector<PreviewLine>* lines);
  // Sets *text to bytes, a whole document in encoding, as UTF-8.
  void DecodeDocument(const std::string& encoding, std::string_view bytes,
                      std::string* text);

 private:
  DisplayDecoder& DecoderFor(const std::string& encoding);

  std::map<std::string, std::unique_ptr<DisplayDecoder>, std::less<>> decoders_;
};

// The lines that differ between two contents of one document (before and
// after a recorded run, say), as a preview shows them: UTF-8, without line
// ends, each pair's differing part marked.  Lines pair by number when both
// have as many; otherwise the lines they share at the start and the end are
// passed over and the rest pair in order.
std::vector<PreviewLine> LinesBetween(const std::string& encoding,
                                      std::string_view before,
                                      std::string_view after);

}  // namespace engine

#endif  // VANTREL_ENGINE_PREVIEW_LINES_H_
