// One step of what a page shows in its memo and caption: the unit in which the Query
// operation and the answer decoders hand their results to the main page.
#pragma once

#include <optional>
#include <string>
#include <vector>

namespace vexil {

/// What one step of the Query operation does to the main page.
struct PageUpdate {
  bool clearMemo = false;                    // clear MemoInfo first
  std::vector<std::string> lines;            // then append these lines (8-bit text, Latin-1)
  std::optional<std::string> deviceCaption;  // new caption of LabelD, if it changes
};

}  // namespace vexil
