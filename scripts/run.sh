#!/usr/bin/env bash
# Runs the Vexil Development Platform against the emulated board:
#   bash scripts/run.sh            (needs a display; without one: xvfb-run -a bash scripts/run.sh)
# Installs missing Debian packages, builds with the default preset, starts vexil-sim on a
# free loopback port, points the settings file of the working directory build/run/ at it
# (device address 127.0.0.1, device port = the emulator's port, the "Manufacturer Setup"
# page shown) and starts vexil-devp there. The emulator stops when the program ends.
set -euo pipefail
cd "$(dirname "$0")/.."
root=$(pwd)

bash scripts/ensure-deps.sh

if [ -z "${DISPLAY:-}" ] && [ -z "${WAYLAND_DISPLAY:-}" ]; then
  cat >&2 <<'MSG'
run.sh: no display found (DISPLAY and WAYLAND_DISPLAY are empty).
The program opens a window, so it needs one. Run it under a virtual display:

    xvfb-run -a bash scripts/run.sh

or from a desktop session or with X forwarding (ssh -X).
MSG
  exit 1
fi

if [ -z "${XDG_RUNTIME_DIR:-}" ]; then
  XDG_RUNTIME_DIR=$(mktemp -d)
  export XDG_RUNTIME_DIR
fi

jobs=$(nproc 2>/dev/null || echo 2)
cmake --preset default
cmake --build --preset default -j "$jobs" --target vexil-devp vexil-sim

build="$root/build/default"
workdir="$root/build/run"
mkdir -p "$workdir"
sim_log="$workdir/vexil-sim.log"
host_port=56789  # the program's own port (MyPort default); the emulator must not take it

sim_pid=""
stop_emulator() {
  if [ -n "$sim_pid" ] && kill -0 "$sim_pid" 2>/dev/null; then
    kill "$sim_pid" 2>/dev/null || true
    wait "$sim_pid" 2>/dev/null || true
  fi
  sim_pid=""
}
trap stop_emulator EXIT
trap 'exit 130' INT TERM

# Starts the emulator on a port the system picks and sets device_port from its first
# line; empty when it did not start.
start_emulator() {
  device_port=""
  : >"$sim_log"
  "$build/sim/vexil-sim" --bind 127.0.0.1 --port 0 >"$sim_log" 2>&1 &
  sim_pid=$!
  for _ in $(seq 1 100); do
    if grep -q "listening on" "$sim_log"; then
      device_port=$(sed -n 's/.*listening on 127\.0\.0\.1:\([0-9]*\).*/\1/p' "$sim_log" | head -n 1)
      return 0
    fi
    kill -0 "$sim_pid" 2>/dev/null || break
    sleep 0.05
  done
  echo "run.sh: the emulator did not start:" >&2
  cat "$sim_log" >&2
}

device_port=""
for _ in 1 2 3; do
  start_emulator
  [ -n "$device_port" ] && [ "$device_port" != "$host_port" ] && break
  stop_emulator
  device_port=""
done
if [ -z "$device_port" ]; then
  echo "run.sh: could not start the emulator on a free loopback port" >&2
  exit 1
fi

# Sets key=value in [section] of an INI file, keeping every other line and the file's
# line endings; names are matched without regard to case, as the program reads them.
ini_set() {
  local file=$1 section=$2 key=$3 value=$4
  [ -f "$file" ] || printf '' >"$file"
  awk -v section="$section" -v key="$key" -v value="$value" '
    BEGIN { eol = "\r\n"; first = 1; insec = 0; done = 0 }
    {
      line = $0
      if (first) { if (line !~ /\r$/ && NR == 1 && length(line) > 0) eol = "\n"; first = 0 }
      sub(/\r$/, "", line)
      if (line ~ /^[ \t]*\[.*\][ \t]*$/) {
        if (insec && !done) { printf "%s=%s%s", key, value, eol; done = 1 }
        name = line; gsub(/^[ \t]*\[[ \t]*|[ \t]*\][ \t]*$/, "", name)
        insec = (tolower(name) == tolower(section))
      } else if (insec && !done) {
        k = line; sub(/=.*/, "", k); gsub(/^[ \t]+|[ \t]+$/, "", k)
        if (index(line, "=") > 0 && tolower(k) == tolower(key)) {
          printf "%s=%s%s", key, value, eol; done = 1; next
        }
      }
      printf "%s%s", line, eol
    }
    END {
      if (!done) {
        if (!insec) printf "[%s]%s", section, eol
        printf "%s=%s%s", key, value, eol
      }
    }' "$file" >"$file.tmp"
  mv "$file.tmp" "$file"
}

ini="$workdir/VexilDevP.ini"
ini_set "$ini" Settings DevicePort "$device_port"
ini_set "$ini" Main IPBase "127.0.0."
ini_set "$ini" Main IPExt 1
ini_set "$ini" Main IPText "127.0.0.1"
ini_set "$ini" MFSetup Show 1

echo "run.sh: emulator on 127.0.0.1:$device_port (log: $sim_log); settings: $ini"
cd "$workdir"
status=0
"$build/app/vexil-devp" || status=$?
exit "$status"
