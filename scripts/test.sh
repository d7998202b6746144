#!/usr/bin/env bash
# Builds everything and runs every test; exits non-zero on any failure.
#   bash scripts/test.sh            the default build and all tests
#   bash scripts/test.sh --tsan     also the engine and emulator tests under ThreadSanitizer
#   bash scripts/test.sh --asan     also every Qt-free test under AddressSanitizer + UBSan
set -euo pipefail
cd "$(dirname "$0")/.."

bash scripts/ensure-deps.sh

jobs=$(nproc 2>/dev/null || echo 2)
export XDG_RUNTIME_DIR="${XDG_RUNTIME_DIR:-$(mktemp -d)}"
chmod 700 "$XDG_RUNTIME_DIR"

cmake --preset default
cmake --build --preset default -j "$jobs"
ctest --preset default -j "$jobs"

for arg in "$@"; do
  case "$arg" in
    --tsan)
      cmake --preset tsan
      cmake --build --preset tsan -j "$jobs"
      ctest --preset tsan -j "$jobs"
      ;;
    --asan)
      cmake --preset asan -DVEXIL_BUILD_GUI=OFF -DVEXIL_BUILD_BENCH=OFF
      cmake --build --preset asan -j "$jobs"
      ctest --preset asan -j "$jobs"
      ;;
    *) echo "unknown option: $arg" >&2; exit 2 ;;
  esac
done
echo "All tests passed."
