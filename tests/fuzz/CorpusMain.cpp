// Runs a fuzz target's entry point once on each file named on the command line (or on
// every file of a named directory), so that the seed corpus is a test case of every
// build, with any compiler. Exits 0 when every input ran; a broken rule aborts.
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <vector>

#include "tests/fuzz/FuzzSupport.h"

namespace {

bool runFile(const std::filesystem::path& path) {
  std::ifstream in(path, std::ios::binary);
  if (!in) {
    std::fprintf(stderr, "cannot read %s\n", path.string().c_str());
    return false;
  }
  const std::vector<char> bytes{std::istreambuf_iterator<char>(in),
                                std::istreambuf_iterator<char>()};
  // A block of exactly the input's size, as libFuzzer gives it.
  const std::vector<std::uint8_t> input(bytes.begin(), bytes.end());
  LLVMFuzzerTestOneInput(input.data(), input.size());
  return true;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc < 2) {
    std::fprintf(stderr, "usage: %s FILE|DIRECTORY...\n", argv[0]);
    return 2;
  }
  int ran = 0;
  for (int i = 1; i < argc; ++i) {
    const std::filesystem::path path(argv[i]);
    if (std::filesystem::is_directory(path)) {
      for (const auto& entry : std::filesystem::directory_iterator(path)) {
        if (!entry.is_regular_file()) continue;
        if (!runFile(entry.path())) return 1;
        ++ran;
      }
    } else {
      if (!runFile(path)) return 1;
      ++ran;
    }
  }
  std::printf("%d input(s) ran\n", ran);
  return ran > 0 ? 0 : 1;
}
