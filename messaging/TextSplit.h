// Cutting a text at a separator, the one way the command lines do it.
#pragma once

#include <string_view>
#include <vector>

namespace vexil {

/// The parts of `text` between the `separator`s, empty parts kept: "a,,b" gives "a",
/// "", "b"; "" gives one empty part. The parts view `text`.
inline std::vector<std::string_view> splitText(std::string_view text, char separator) {
  std::vector<std::string_view> parts;
  std::size_t from = 0;
  for (;;) {
    const std::size_t at = text.find(separator, from);
    parts.push_back(text.substr(from, at == std::string_view::npos ? at : at - from));
    if (at == std::string_view::npos) return parts;
    from = at + 1;
  }
}

}  // namespace vexil
