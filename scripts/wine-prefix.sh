# Sourced by the scripts that run the Windows build under Wine (scripts/windows-checks.sh,
# bench/setup_wine_bench.sh). Sets `wine` and `wineserver`, makes a fresh Wine prefix in
# the temporary folder `scratch`, starts one persistent wineserver for every program
# after it, and on exit stops the processes listed in `pids`, the server and the folder.
# Debian 12's wine64 package has its loader in /usr/lib/wine; the wine package adds
# /usr/bin/wine64 or wine.
wine=$(command -v wine64 || true)
[ -z "$wine" ] && [ -x /usr/lib/wine/wine64 ] && wine=/usr/lib/wine/wine64
[ -z "$wine" ] && wine=$(command -v wine || true)
[ -n "$wine" ] || { echo "error: no wine64 (bash scripts/ensure-deps.sh --windows)" >&2; exit 1; }
wineserver=$(command -v wineserver || true)
[ -z "$wineserver" ] && wineserver=$(dirname "$wine")/wineserver

scratch=$(mktemp -d)
export WINEPREFIX=$scratch/prefix WINEDEBUG=-all WINEDLLOVERRIDES="mscoree,mshtml="
mkdir -p "$WINEPREFIX"
pids=()
cleanup() {
  for p in "${pids[@]}"; do kill "$p" 2>/dev/null || true; done
  "$wineserver" -k 2>/dev/null || true
  rm -rf "$scratch"
}
trap cleanup EXIT
# The server first, made persistent, so that wineboot and every program after use it.
"$wineserver" -p || true
"$wine" wineboot --init >/dev/null 2>&1 || true
