#!/usr/bin/env bash
# Builds everything and runs every test; exits non-zero on any failure.
#   bash scripts/test.sh            the default build and all tests
#   bash scripts/test.sh --tsan     also the engine and emulator tests under ThreadSanitizer
#   bash scripts/test.sh --asan     also every Qt-free test under AddressSanitizer + UBSan
#   bash scripts/test.sh --windows  also the Windows build (MinGW-w64): its Qt-free tests
#                                   and end-to-end checks under Wine, against the Linux
#                                   programs too (scripts/windows-checks.sh)
#   bash scripts/test.sh --no-default --windows
#                                   only the stages asked for, without the default
#                                   build's tests (the Linux programs the Windows checks
#                                   run against are still built)
set -euo pipefail
cd "$(dirname "$0")/.."

default=1
for arg in "$@"; do
  [ "$arg" = --no-default ] && default=0
done

bash scripts/ensure-deps.sh

jobs=$(nproc 2>/dev/null || echo 2)
export XDG_RUNTIME_DIR="${XDG_RUNTIME_DIR:-$(mktemp -d)}"
chmod 700 "$XDG_RUNTIME_DIR"

if [ "$default" = 1 ]; then
  cmake --preset default
  cmake --build --preset default -j "$jobs"
  ctest --preset default -j "$jobs"
fi

for arg in "$@"; do
  case "$arg" in
    --no-default) ;;
    --windows)
      started=$(date +%s)
      bash scripts/ensure-deps.sh --windows
      cmake --preset windows
      cmake --build --preset windows -j "$jobs"
      # The Linux programs the Windows ones are checked against.
      linux_build=${VEXIL_LINUX_BUILD:-build/default}
      if [ ! -x "$linux_build/ctl/vexilctl" ] || [ ! -x "$linux_build/sim/vexil-sim" ] ||
         [ ! -x "$linux_build/stream/vexil-stream-check" ] || [ "$default" = 0 ]; then
        [ -n "${VEXIL_LINUX_BUILD:-}" ] || cmake --preset default
        cmake --build "$linux_build" -j "$jobs" --target vexilctl vexil-sim vexil-stream-check
      fi
      bash scripts/windows-checks.sh build/windows "$linux_build"
      echo "Windows stage: $(( $(date +%s) - started )) s"
      ;;
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
