// A Selection is what a file list hands to a run: its entries in display
// order, each a bare file name (no folder part) with a selected flag.  A run
// reads it by position, 0 to size() - 1.  A file list holds at most
// kMaxSelectionEntries entries; the runs refuse a longer Selection.

#ifndef VANTREL_ENGINE_SELECTION_H_
#define VANTREL_ENGINE_SELECTION_H_

#include <cstddef>
#include <string>
#include <vector>

namespace engine {

struct Entry {
  std::string name;
  bool selected = false;
};

using Selection = std::vector<Entry>;

// Counts and positions of a file list are 16-bit signed numbers.
inline constexpr std::size_t kMaxSelectionEntries = 32767;

}  // namespace engine

#endif  // VANTREL_ENGINE_SELECTION_H_
