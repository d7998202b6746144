// What every fuzz target shares: the check that stops the run on a broken rule, and the
// splitting of one input into the several texts a target needs. The same target runs
// under libFuzzer (fuzz preset) and, through CorpusMain.cpp, as a plain program over
// its seed corpus in every build.
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <string_view>
#include <vector>

namespace vexil::fuzz {

/// Stops the program when `holds` is false, naming the rule. An abort is what both
/// libFuzzer (which keeps the input as a crash) and ctest (a failed case) see.
inline void require(bool holds, const char* rule) {
  if (holds) return;
  std::fprintf(stderr, "fuzz rule broken: %s\n", rule);
  std::abort();
}

/// The input as 8-bit text.
inline std::string_view asText(const std::uint8_t* data, std::size_t size) {
  return {reinterpret_cast<const char*>(data), size};
}

/// Splits `text` at every `separator` into at most `maxParts` parts; the last part keeps
/// any further separators. Missing parts are empty, so the result always has
/// `maxParts` entries.
inline std::vector<std::string> splitParts(std::string_view text, char separator,
                                           std::size_t maxParts) {
  std::vector<std::string> parts;
  while (parts.size() + 1 < maxParts) {
    const auto at = text.find(separator);
    if (at == std::string_view::npos) break;
    parts.emplace_back(text.substr(0, at));
    text.remove_prefix(at + 1);
  }
  parts.emplace_back(text);
  parts.resize(maxParts);
  return parts;
}

}  // namespace vexil::fuzz

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size);
