#!/usr/bin/env bash
# The production set-up of 32 emulated boards (Linux vexil-sim on loopback), run by the
# Linux vexilctl and by vexilctl.exe under Wine, one after the other in one run: the
# wall time of each, and whether both wrote the same log lines.
#   bash bench/setup_wine_bench.sh [WINDOWS_BUILD [LINUX_BUILD [BOARDS [ROUNDS]]]]
set -euo pipefail
cd "$(dirname "$0")/.."
win_build=$(realpath "${1:-build/windows}")
linux_build=$(realpath "${2:-build/default}")
boards=${3:-32}
rounds=${4:-3}

source scripts/wine-prefix.sh

base=47400
args=()
for i in $(seq 1 "$boards"); do
  p=$((base + i))
  "$linux_build/sim/vexil-sim" --port "$p" --type 7163 >/dev/null 2>&1 &
  pids+=($!)
  args+=(--device "127.0.0.1:$p")
done
sleep 1
# One warm-up run each, so that neither pays for a cold cache.
"$linux_build/ctl/vexilctl" "${args[@]}" identify >/dev/null
"$wine" "$win_build/ctl/vexilctl.exe" "${args[@]}" identify >/dev/null

echo "load before: $(cut -d' ' -f1-3 /proc/loadavg)"
printf '%-6s %-22s %10s %6s\n' round program "wall (s)" exit
for r in $(seq 1 "$rounds"); do
  for kind in linux wine; do
    log=$scratch/$kind-$r.csv
    start=$(date +%s.%N)
    rc=0
    if [ "$kind" = linux ]; then
      "$linux_build/ctl/vexilctl" "${args[@]}" setup --log "$log" >/dev/null 2>&1 || rc=$?
    else
      "$wine" "$win_build/ctl/vexilctl.exe" "${args[@]}" setup --log "$log" >/dev/null 2>&1 || rc=$?
    fi
    end=$(date +%s.%N)
    printf '%-6s %-22s %10.3f %6s\n' "$r" "$([ $kind = linux ] && echo vexilctl || echo 'vexilctl.exe (Wine)')" \
      "$(echo "$end - $start" | bc)" "$rc"
  done
  # Both logs hold one line per board after the header, with the same results.
  a=$(tail -n +2 "$scratch/linux-$r.csv" | cut -d, -f2- | sort | sed 's/"[0-9T:.Z-]*"//g' | md5sum)
  b=$(tail -n +2 "$scratch/wine-$r.csv" | cut -d, -f2- | sort | sed 's/"[0-9T:.Z-]*"//g' | md5sum)
  [ "$(tail -n +2 "$scratch/wine-$r.csv" | wc -l)" -eq "$boards" ] || echo "round $r: the Windows log has $(wc -l <"$scratch/wine-$r.csv") lines"
  [ "$a" = "$b" ] || echo "round $r: the logs differ"
done
echo "load after: $(cut -d' ' -f1-3 /proc/loadavg)"
