#!/usr/bin/env bash
# Builds the libFuzzer targets (fuzz preset: clang, AddressSanitizer + UBSan) and runs
# each in turn, under nice, starting from its seed corpus in tests/data/fuzz/<target>/.
#   bash scripts/fuzz.sh [seconds] [target...]
# seconds: how long each target runs (default 60); targets: a subset by name (default
# all). VEXIL_FUZZ_RUNS=N stops each target after N inputs instead, if that comes first.
# New inputs go to build/fuzz/corpus/<target>/, crashes to build/fuzz/artifacts/<target>/;
# a crash's input belongs in the seed corpus once its fault is fixed. Exits non-zero
# when any target found a crash.
set -euo pipefail
cd "$(dirname "$0")/.."

seconds="${1:-60}"
shift || true
all=(status_decoder integer_text ini_reader ini_round_trip device_model instruction_text stream_analyser)
targets=("$@")
[ ${#targets[@]} -eq 0 ] && targets=("${all[@]}")

bash scripts/ensure-deps.sh --fuzz
cmake --preset fuzz >/dev/null
nice -n 10 cmake --build --preset fuzz -j "$(nproc 2>/dev/null || echo 2)"

# The receive buffer holds 1500 bytes: the decoders never see more.
max_len_for() {
  case "$1" in
    status_decoder) echo 1500 ;;
    *) echo 4096 ;;
  esac
}

failed=()
summary=()
for t in "${targets[@]}"; do
  fuzzer="build/fuzz/tests/${t}_fuzzer"
  [ -x "$fuzzer" ] || { echo "no such fuzz target: $t" >&2; exit 2; }
  work="build/fuzz/corpus/$t"
  artifacts="build/fuzz/artifacts/$t"
  log="build/fuzz/$t.log"
  mkdir -p "$work" "$artifacts"
  runs=()
  [ -n "${VEXIL_FUZZ_RUNS:-}" ] && runs=(-runs="$VEXIL_FUZZ_RUNS")
  echo "== $t: ${seconds}s"
  status=0
  nice -n 10 "$fuzzer" -max_total_time="$seconds" -max_len="$(max_len_for "$t")" \
    "${runs[@]}" -print_final_stats=1 -artifact_prefix="$artifacts/" \
    "$work" "tests/data/fuzz/$t" >"$log" 2>&1 || status=$?
  execs=$(sed -n 's/^stat::number_of_executed_units: *//p' "$log" | tail -1)
  if [ "$status" -ne 0 ]; then
    failed+=("$t")
    grep -E "ERROR|fuzz rule broken|SUMMARY|Test unit written" "$log" | head -20 || true
    summary+=("$t: FAILED after ${execs:-?} executions (log $log, input in $artifacts/)")
  else
    summary+=("$t: ${execs:-?} executions, no crash")
  fi
done

echo
printf '%s\n' "${summary[@]}"
if [ ${#failed[@]} -ne 0 ]; then
  echo "crashes in: ${failed[*]}" >&2
  exit 1
fi
