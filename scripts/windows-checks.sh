#!/usr/bin/env bash
# The Windows build's tests under Wine: its Qt-free test programs (ctest, through the
# preset's Wine emulator), then end-to-end checks of vexil-sim.exe, vexilctl.exe and
# vexil-stream-check.exe against each other and against the Linux build, on loopback.
# Frames, exit codes and JSON must be the Linux build's.
#   bash scripts/windows-checks.sh [--end-to-end-only] [WINDOWS_BUILD [LINUX_BUILD]]
# (defaults build/windows and build/default; LINUX_BUILD needs vexilctl, vexil-sim and
# vexil-stream-check).
set -euo pipefail
cd "$(dirname "$0")/.."
run_tests=1
if [ "${1:-}" = --end-to-end-only ]; then
  run_tests=0
  shift
fi
win_build=$(realpath "${1:-build/windows}")
linux_build=$(realpath "${2:-build/default}")

# A fresh Wine prefix of our own, one wineserver kept for every run.
started=$(date +%s)
source scripts/wine-prefix.sh
echo "Wine prefix ready in $(( $(date +%s) - started )) s ($wine)"

ctl=$win_build/ctl/vexilctl.exe
sim=$win_build/sim/vexil-sim.exe
check=$win_build/stream/vexil-stream-check.exe
lctl=$linux_build/ctl/vexilctl
lsim=$linux_build/sim/vexil-sim
for f in "$ctl" "$sim" "$check" "$lctl" "$lsim"; do
  [ -x "$f" ] || { echo "error: $f missing" >&2; exit 1; }
done

# ---- The test programs ---------------------------------------------------------------
if [ "$run_tests" = 1 ]; then
  echo "== Test programs under Wine"
  # A program that hangs is stopped after two minutes and run once more: one hang in
  # a long series under heavy load is reported by ctest, two fail the stage.
  ctest --test-dir "$win_build" -j "$(nproc 2>/dev/null || echo 2)" --output-on-failure --timeout 120 \
    --repeat until-pass:2
fi

# ---- End-to-end checks ---------------------------------------------------------------
echo "== End-to-end checks"
passed=0
failed=0
failures=()
pass() { passed=$((passed + 1)); echo "  ok    $1"; }
fail() { failed=$((failed + 1)); failures+=("$1"); echo "  FAIL  $1${2:+: $2}"; }
# expect NAME WANT GOT: the two strings must be equal.
expect() {
  if [ "$2" == "$3" ]; then pass "$1"; else fail "$1" "wanted [$2], got [$3]"; fi
}
# Runs a Windows program; its output with CRLF line ends made LF (the console's ends).
w() { "$wine" "$@" | tr -d '\r'; return "${PIPESTATUS[0]}"; }
# UDP ports on loopback, from a range apart from the test programs' ones:
# take_port VAR sets VAR to the next one.
next_port=47100
take_port() { next_port=$((next_port + 1)); printf -v "$1" '%s' "$next_port"; }

# Starts an emulator (Windows or Linux) in the background on PORT; waits until it listens.
declare -A sim_pid
start_sim() {
  local kind=$1 p=$2 log=$scratch/sim-$2.log
  shift 2
  if [ "$kind" = win ]; then
    "$wine" "$sim" --port "$p" "$@" >"$log" 2>&1 &
  else
    "$lsim" --port "$p" "$@" >"$log" 2>&1 &
  fi
  pids+=($!)
  sim_pid[$p]=$!
  for _ in $(seq 100); do
    grep -q "listening" "$log" 2>/dev/null && return 0
    sleep 0.1
  done
  echo "emulator on $p did not start: $(cat "$log")" >&2
  return 1
}
# Stops the emulator on port P with SIGINT (Wine hands it to the program as Ctrl+C);
# its exit status goes to $stopped_with.
stop_sim() {
  kill -INT "${sim_pid[$1]}"
  stopped_with=0
  wait "${sim_pid[$1]}" || stopped_with=$?
}
# JSON or text with every number made N: the emulated boards' rates wander.
shape() { sed -E 's/[0-9]+/N/g'; }

# Versions and usage errors.
expect "vexil-sim --version" "$("$lsim" --version)" "$(w "$sim" --version)"
expect "vexilctl --version" "$("$lctl" --version)" "$(w "$ctl" --version)"
set +e
w "$ctl" --no-such-option >/dev/null 2>&1; rc_w=$?
"$lctl" --no-such-option >/dev/null 2>&1; rc_l=$?
expect "vexilctl usage error exit code" "$rc_l" "$rc_w"
w "$sim" --port 99999 >/dev/null 2>&1; rc_w=$?
"$lsim" --port 99999 >/dev/null 2>&1; rc_l=$?
expect "vexil-sim usage error exit code" "$rc_l" "$rc_w"
set -e
expect "vexil-sim --seed takes 4294967295" "0" "$(w "$sim" --seed 4294967295 --help >/dev/null 2>&1; echo $?)"
help_text=$(w "$ctl" --help 2>&1 || true)
if grep -q 'Windows' <<<"$help_text"; then pass "vexilctl --help shows the Windows examples"; else fail "vexilctl --help shows the Windows examples"; fi

# Each pairing of programs gives the same JSON as Linux against Linux.
take_port wp; take_port lp
start_sim win "$wp"
start_sim linux "$lp"
# identify is compared as it is; status with its numbers made N, since the boards'
# input rates and buffer fills wander from one answer to the next.
for cmd in identify status; do
  filter=cat
  [ "$cmd" = status ] && filter=shape
  want=$("$lctl" --device 127.0.0.1:"$lp" --json "$cmd" | sed "s/$lp/PORT/g" | $filter)
  for pair in "win-win:$ctl:$wp" "win-linux:$ctl:$lp" "linux-win:$lctl:$wp"; do
    IFS=: read -r name prog p <<<"$pair"
    if [ "${prog##*.}" = exe ]; then got=$(w "$prog" --device 127.0.0.1:"$p" --json "$cmd"); else got=$("$prog" --device 127.0.0.1:"$p" --json "$cmd"); fi
    got=$(sed "s/$p/PORT/g" <<<"$got" | $filter)
    expect "$cmd JSON, vexilctl/vexil-sim $name" "$want" "$got"
  done
done
want=$("$lctl" --device 127.0.0.1:"$lp" status | sed "s/$lp/PORT/" | shape)
got=$(w "$ctl" --device 127.0.0.1:"$wp" status | sed "s/$wp/PORT/" | shape)
expect "status text, Windows against Windows" "$want" "$got"

# Settings written by the Windows program are read back the same by both.
w "$ctl" --device 127.0.0.1:"$wp" set serial 424242 >/dev/null
"$lctl" --device 127.0.0.1:"$lp" set serial 424242 >/dev/null
expect "set serial, then identify from Linux" \
  "$("$lctl" --device 127.0.0.1:"$lp" --json identify | sed "s/:$lp/:PORT/g; s/Port: $lp/Port: PORT/")" \
  "$("$lctl" --device 127.0.0.1:"$wp" --json identify | sed "s/:$wp/:PORT/g; s/Port: $wp/Port: PORT/")"

# A Latin-1 user text: typed in UTF-8, kept by the board in Latin-1, shown on the
# console in UTF-8, not as mojibake. Boards that keep their text show it after setup.
take_port wt; take_port lt
start_sim win "$wt" --refuse-user-text --user-text "Café Süd"
start_sim linux "$lt" --refuse-user-text --user-text "Café Süd"
text_w=$(w "$ctl" --device 127.0.0.1:"$wt" setup 2>/dev/null | grep -a 'User Text' || true)
text_wl=$(w "$ctl" --device 127.0.0.1:"$lt" setup 2>/dev/null | grep -a 'User Text' || true)
text_lw=$("$lctl" --device 127.0.0.1:"$wt" setup 2>/dev/null | grep -a 'User Text' || true)
if grep -q 'User Text: Café Süd' <<<"$text_w"; then pass "Latin-1 user text reads Café Süd"; else fail "Latin-1 user text reads Café Süd" "$text_w"; fi
expect "Latin-1 user text: vexilctl.exe against the Linux emulator" "$text_w" "$text_wl"
expect "Latin-1 user text: vexilctl against vexil-sim.exe" "$text_w" "$text_lw"

# No answer: the same exit code and message.
take_port silent
set +e
w "$ctl" --device 127.0.0.1:"$silent" --timeout 300 --json identify >"$scratch/silent-w.json" 2>/dev/null; rc_w=$?
"$lctl" --device 127.0.0.1:"$silent" --timeout 300 --json identify >"$scratch/silent-l.json" 2>/dev/null; rc_l=$?
set -e
expect "no answer: exit code" "$rc_l" "$rc_w"
expect "no answer: JSON" "$(sed "s/:$silent/:PORT/g" "$scratch/silent-l.json")" "$(sed "s/:$silent/:PORT/g" "$scratch/silent-w.json")"

# The settings file as a Windows user keeps it: VexilDevP.ini with CRLF in the working
# folder names the board.
inidir=$scratch/ini
mkdir -p "$inidir"
printf '[Settings]\r\nMyPort=0\r\nDevicePort=%s\r\n[Main]\r\nIPBase=127.0.0.\r\nIPExt=1\r\n' "$wp" >"$inidir/VexilDevP.ini"
got=$(cd "$inidir" && w "$ctl" --json identify | sed "s/:$wp/:PORT/g; s/Port: $wp/Port: PORT/")
want=$("$lctl" --device 127.0.0.1:"$wp" --json identify | sed "s/:$wp/:PORT/g; s/Port: $wp/Port: PORT/")
expect "VexilDevP.ini (CRLF) beside the working folder names the board" "$want" "$got"

# watch: a timed run, then one stopped by Ctrl+C.
set +e
w "$ctl" --device 127.0.0.1:"$wp" --json watch --interval 0.2 --duration 1 >"$scratch/watch-w.json" 2>"$scratch/watch-w.err"; rc_w=$?
"$lctl" --device 127.0.0.1:"$lp" --json watch --interval 0.2 --duration 1 >"$scratch/watch-l.json" 2>/dev/null; rc_l=$?
set -e
expect "watch --duration: exit code" "$rc_l" "$rc_w"
keys() { grep -o '"[a-z_]*":' "$1" | sort -u | tr -d '\n'; }
expect "watch --duration: JSON fields" "$(keys "$scratch/watch-l.json")" "$(keys "$scratch/watch-w.json")"
"$wine" "$ctl" --device 127.0.0.1:"$wp" watch --interval 0.2 >"$scratch/watch-int.out" 2>"$scratch/watch-int.err" &
watcher=$!
sleep 2
kill -INT "$watcher"
rc_w=0
wait "$watcher" || rc_w=$?
if grep -q "stopped by signal 2" "$scratch/watch-int.err" && [ "$rc_w" -eq 0 ]; then
  pass "Ctrl+C stops watch cleanly (exit 0, summary printed)"
else
  fail "Ctrl+C stops watch cleanly" "exit $rc_w: $(tr -d '\r' <"$scratch/watch-int.err" | tail -2)"
fi
if grep -qi "polls" "$scratch/watch-int.out"; then pass "watch summary after Ctrl+C"; else fail "watch summary after Ctrl+C" "$(head -3 "$scratch/watch-int.out")"; fi

# Features the Windows build goes without: refused plainly, exit 2.
set +e
w "$ctl" --device 127.0.0.1:"$wp" watch --duration 1 --metrics 0 >/dev/null 2>"$scratch/metrics.err"; rc=$?
set -e
if [ "$rc" -eq 2 ] && grep -q "Prometheus" "$scratch/metrics.err"; then pass "watch --metrics refused (exit 2)"; else fail "watch --metrics refused" "exit $rc"; fi
set +e
w "$ctl" --device 127.0.0.1:"$wp" setup --log postgresql://u@127.0.0.1/db >/dev/null 2>"$scratch/pg.err"; rc=$?
set -e
if [ "$rc" -eq 2 ] && grep -q "libpq" "$scratch/pg.err"; then pass "setup --log postgresql:// refused (exit 2)"; else fail "setup --log postgresql:// refused" "exit $rc"; fi

# setup with a file log: the CSV as Linux writes it, and two runs appending at once
# lose no line.
(cd "$scratch" && w "$ctl" --device 127.0.0.1:"$wp" setup --log setup.csv >/dev/null 2>&1) || true
(cd "$scratch" && "$lctl" --device 127.0.0.1:"$lp" setup --log setup-l.csv >/dev/null 2>&1) || true
expect "setup --log: CSV header as on Linux" "$(head -1 "$scratch/setup-l.csv")" "$(head -1 "$scratch/setup.csv")"
(cd "$scratch" && w "$ctl" --device 127.0.0.1:"$wp" setup --log shared.csv >shared-1.out 2>&1 &
 cd "$scratch" && w "$ctl" --device 127.0.0.1:"$lp" setup --log shared.csv >shared-2.out 2>&1; wait) || true
lines=$(wc -l <"$scratch/shared.csv" 2>/dev/null || echo 0)
if [ "$lines" -eq 3 ]; then
  pass "two setups appending to one log: header and two lines"
else
  fail "two setups appending to one log" "$lines lines: $(cat "$scratch/shared.csv" "$scratch"/shared-*.out | tr '\n' '|')"
fi

# Streams: the Windows emulator sends a TS the Windows stream check receives; the
# socket drops are "not reported", never 0; a .ts file gives the Linux build's JSON.
take_port ts_port
take_port ts_sim
start_sim win "$ts_sim" --dynamics
w "$ctl" --device 127.0.0.1:"$ts_sim" send-ts --source 1 --dest 127.0.0.1:"$ts_port" >/dev/null 2>&1 || true
set +e
w "$check" --address 127.0.0.1 --port "$ts_port" --seconds 3 --json --record "$scratch/live.ts" >"$scratch/live.json" 2>"$scratch/live.err"; rc=$?
set -e
if grep -q '"socket_drops": null' "$scratch/live.json"; then pass "live check: socket drops null in JSON"; else fail "live check: socket drops null" "$(grep socket_drops "$scratch/live.json" || tail -2 "$scratch/live.err")"; fi
if grep -q '"packets": [1-9]' "$scratch/live.json"; then pass "live check: packets arrived (exit $rc)"; else fail "live check: packets arrived" "exit $rc"; fi
# The verdict of a one-second check may be a failure on a loaded machine: only the text
# is looked at, from a file, so that neither the exit status nor grep closing the pipe
# early decides.
w "$check" --address 127.0.0.1 --port "$ts_port" --seconds 1 >"$scratch/live.txt" 2>/dev/null || true
if grep -q "not reported by this system" "$scratch/live.txt"; then
  pass "live check text: drops not reported by this system"
else
  fail "live check text: drops not reported" "$(grep -i drops "$scratch/live.txt" || tail -2 "$scratch/live.txt")"
fi
if [ -s "$scratch/live.ts" ]; then
  set +e
  "$linux_build/stream/vexil-stream-check" --file "$scratch/live.ts" --json >"$scratch/file-l.json" 2>/dev/null; rc_l=$?
  w "$check" --file "$scratch/live.ts" --json >"$scratch/file-w.json" 2>/dev/null; rc_w=$?
  set -e
  expect "file check: exit code" "$rc_l" "$rc_w"
  expect "file check: JSON" "$(grep -v '"file"\|"path"' "$scratch/file-l.json")" "$(grep -v '"file"\|"path"' "$scratch/file-w.json")"
else
  fail "file check" "nothing recorded"
fi
printf '\xd4\xc3\xb2\xa1\x02\x00\x04\x00' >"$scratch/capture.pcap"
set +e
w "$check" --file "$scratch/capture.pcap" >/dev/null 2>"$scratch/pcap.err"; rc=$?
set -e
if [ "$rc" -eq 2 ] && grep -q libpcap "$scratch/pcap.err"; then pass "pcap capture refused (exit 2)"; else fail "pcap capture refused" "exit $rc"; fi

# Ctrl+C stops the emulators cleanly.
for p in "$wp" "$ts_sim" "$wt"; do
  stop_sim "$p"
  if [ "$stopped_with" -eq 0 ] && grep -q "stopped after" "$scratch/sim-$p.log"; then
    pass "Ctrl+C stops vexil-sim.exe on $p"
  else
    fail "Ctrl+C stops vexil-sim.exe on $p" "exit $stopped_with: $(tail -1 "$scratch/sim-$p.log")"
  fi
done
stop_sim "$lp"
stop_sim "$lt"

echo "End-to-end checks: $passed passed, $failed failed"
for f in "${failures[@]}"; do echo "  failed: $f"; done
echo "Windows checks took $(( $(date +%s) - started )) s"
[ "$failed" -eq 0 ]
