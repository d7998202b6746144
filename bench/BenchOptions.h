// The benchmarks' one command-line rule: "--name VALUE" pairs, read as numbers.
#pragma once

#include <cstdlib>
#include <cstring>

namespace vexil::bench {

/// The number after `name` on the command line, or `fallback` when it is absent.
inline long optionValue(int argc, char** argv, const char* name, long fallback) {
  for (int i = 1; i + 1 < argc; ++i)
    if (std::strcmp(argv[i], name) == 0) return std::atol(argv[i + 1]);
  return fallback;
}

}  // namespace vexil::bench
