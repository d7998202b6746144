#!/usr/bin/env bash
# The production database's cost, measured from outside vexilctl on a real PostgreSQL
# server (Debian's, default durability: fsync and synchronous commit on):
#  1. 32 boards set up at once with the database log beside the same with the file log,
#     interleaved in one run: the wall time of each, their medians and the ratio;
#  2. 10,000 journal rows flushed after an outage: the time and rows per second.
# Prints the machine's load. Run from the project root after building:
#   bash bench/records_bench.sh [ROUNDS] [BOARDS] [ROWS]
set -euo pipefail
rounds=${1:-15}
boards=${2:-32}
rows=${3:-10000}
build=${BUILD:-build/default}
vexilctl=$(realpath "$build/ctl/vexilctl")
pgbin=$(ls -d /usr/lib/postgresql/*/bin | sort -V | tail -1)
work=$(mktemp -d /tmp/vexil-records-bench-XXXXXX)
chmod 755 "$work"
as_server=()
if [ "$(id -u)" -eq 0 ]; then
  # PostgreSQL does not run as root: the server runs as Debian's postgres user.
  chown postgres "$work"
  as_server=(setpriv --reuid=postgres --regid=postgres --init-groups)
fi
cleanup() {
  "${as_server[@]}" "$pgbin/pg_ctl" -D "$work/data" -m immediate stop >/dev/null 2>&1 || true
  kill $(jobs -p) 2>/dev/null || true
  wait 2>/dev/null || true
  rm -rf "$work"
}
trap cleanup EXIT
free_port() { python3 -c 'import socket;s=socket.socket();s.bind(("127.0.0.1",0));print(s.getsockname()[1])'; }
port=$(free_port)
"${as_server[@]}" "$pgbin/initdb" -D "$work/data" -U bench -A trust -E UTF8 >"$work/initdb.log" 2>&1
"${as_server[@]}" "$pgbin/pg_ctl" -D "$work/data" -l "$work/server.log" -w \
  -o "-c listen_addresses=127.0.0.1 -c port=$port -c unix_socket_directories=$work" start >/dev/null
uri="postgresql://bench@127.0.0.1:$port/postgres"

devices=()
for i in $(seq 1 "$boards"); do
  p=$(free_port)
  "$build/sim/vexil-sim" --port "$p" --serial $((100000 + i)) >/dev/null 2>&1 &
  devices+=(--device "127.0.0.1:$p")
done
sleep 0.5
export XDG_STATE_HOME="$work/state"

millis() { date +%s%N; }
run_us() {  # the wall time of one set-up of every board, in microseconds
  local start end
  start=$(millis)
  "$vexilctl" "${devices[@]}" setup "$@" >/dev/null 2>"$work/err" || { cat "$work/err" >&2; exit 1; }
  end=$(millis)
  echo $(( (end - start) / 1000 ))
}
median() { sort -n | awk '{a[NR]=$1} END {n=NR; print (n%2 ? a[(n+1)/2] : (a[n/2]+a[n/2+1])/2)/1000}'; }

# The schema made once, outside the timing; one warm-up of each.
run_us --log "$uri" >/dev/null
run_us --log "$work/warm.csv" >/dev/null
file_times=() db_times=()
for r in $(seq 1 "$rounds"); do
  file_times+=("$(run_us --log "$work/setup-$r.csv")")
  db_times+=("$(run_us --log "$uri")")
done
file_median=$(printf '%s\n' "${file_times[@]}" | median)
db_median=$(printf '%s\n' "${db_times[@]}" | median)
echo "setup of $boards boards at once, $rounds interleaved rounds each:"
echo "  file log:     median ${file_median} ms  (each: $(printf '%s ' "${file_times[@]}" | awk '{for(i=1;i<=NF;i++) printf "%.1f ", $i/1000}'))"
echo "  database log: median ${db_median} ms  (each: $(printf '%s ' "${db_times[@]}" | awk '{for(i=1;i<=NF;i++) printf "%.1f ", $i/1000}'))"
echo "  database / file: $(awk -v d="$db_median" -v f="$file_median" 'BEGIN {printf "%.2f", d / f}')"
rows_in_db=$("${as_server[@]}" "$pgbin/psql" -h "$work" -p "$port" -U bench -d postgres -Atc "SELECT count(*) FROM vexil_setup")
echo "  rows in the database: $rows_in_db (expected $(( (rounds + 1) * boards )))"

journal="$work/outage.jsonl"
"$build/bench/vexil-journal-fill" "$rows" "$journal"
start=$(millis)
"$vexilctl" log flush --log "$uri" --journal "$journal" >"$work/flush.out"
end=$(millis)
flush_ms=$(( (end - start) / 1000000 ))
echo "flush of $rows journal rows after an outage: ${flush_ms} ms, $(awk -v n="$rows" -v ms="$flush_ms" 'BEGIN {printf "%.0f", n / (ms / 1000)}') rows/s"
echo "  $(cat "$work/flush.out")"
echo "load average: $(cut -d' ' -f1-3 /proc/loadavg); cores: $(nproc)"
