#!/usr/bin/env bash
# Checks of what `cmake --install` delivers, one check per ctest entry:
#   packaging_test.sh CHECK BUILD_DIR VERSION
# CHECK is layout, desktop, metainfo, manpages or sim-options. Exits 77 (skipped) when
# the checker a check needs is not installed.
set -euo pipefail

check=$1 build=$2 version=$3
skip() { echo "SKIPPED: $*"; exit 77; }
fail() { echo "FAILED: $*" >&2; exit 1; }

prefix=$(mktemp -d)
trap 'rm -rf "$prefix"' EXIT
cmake --install "$build" --prefix "$prefix" >/dev/null

# The desktop entry, the icon and the metainfo file are all named after the one
# AppStream component id; take it from the one desktop entry installed.
entries=("$prefix"/share/applications/*.desktop)
[ ${#entries[@]} -eq 1 ] && [ -f "${entries[0]}" ] || fail "not one desktop entry: ${entries[*]}"
desktop=${entries[0]}
app_id=$(basename "$desktop" .desktop)
metainfo=$prefix/share/metainfo/$app_id.metainfo.xml

case "$check" in
  layout)
    for f in bin/vexil-devp bin/vexil-sim \
        share/applications/$app_id.desktop share/metainfo/$app_id.metainfo.xml \
        share/icons/hicolor/scalable/apps/$app_id.svg \
        share/man/man1/vexil-devp.1.gz share/man/man1/vexil-sim.1.gz \
        share/doc/vexil-devp/copyright share/doc/vexil-devp/changelog.gz \
        share/vexil-devp/wireshark/vexil.lua \
        share/vexil-devp/grafana/vexil-board-watch.json \
        share/vexil-devp/prometheus/vexil.yml share/vexil-devp/prometheus/vexil-alerts.yml; do
      [ -f "$prefix/$f" ] || fail "not installed: $f"
    done
    for f in bin/vexil-devp bin/vexil-sim; do
      [ -x "$prefix/$f" ] || fail "not executable: $f"
    done
    # Nothing but the programs goes to bin/: no test or screenshot program.
    extra=$(ls "$prefix/bin" | grep -v -x -e vexil-devp -e vexil-sim -e vexilctl || true)
    [ -z "$extra" ] || fail "unexpected programs in bin/: $extra"
    # Compressed without a stored name or time, so that rebuilds give the same bytes.
    for f in "$prefix"/share/man/man1/*.gz "$prefix"/share/doc/vexil-devp/changelog.gz; do
      gzip -lv "$f" >/dev/null || fail "not gzip: $f"
      [ "$(od -An -tu1 -j4 -N4 "$f" | tr -d ' \n')" = "0000" ] || fail "time stamp in $f"
    done
    ;;

  desktop)
    command -v desktop-file-validate >/dev/null || skip "desktop-file-validate is not installed"
    desktop-file-validate "$desktop"
    # The entry starts the installed program with no arguments and names the icon.
    grep -qx "Exec=vexil-devp" "$desktop" || fail "Exec= is not the bare program"
    grep -qx "Icon=$app_id" "$desktop" || fail "Icon= is not $app_id"
    # The working directory is left to the launcher (see the install rules).
    ! grep -q "^Path=" "$desktop" || fail "the entry sets Path="
    ;;

  metainfo)
    command -v appstreamcli >/dev/null || skip "appstreamcli is not installed"
    appstreamcli validate --no-net "$metainfo"
    grep -q "<id>$app_id</id>" "$metainfo" || fail "component id is not $app_id"
    grep -q "<launchable type=\"desktop-id\">$app_id.desktop</launchable>" "$metainfo" ||
      fail "launchable does not name the desktop entry"
    grep -q "<release version=\"$version\"" "$metainfo" || fail "no release $version"
    ;;

  manpages)
    command -v man >/dev/null || skip "man is not installed"
    for page in "$prefix"/share/man/man1/*.1.gz; do
      # What lintian runs: any warning from man or groff is a fault of the page.
      warnings=$(LC_ALL=C.UTF-8 MANROFFSEQ='' MANWIDTH=80 \
        man --warnings -E UTF-8 -l -Tutf8 -Z "$page" 2>&1 >/dev/null)
      [ -z "$warnings" ] || fail "$page: $warnings"
    done
    # Every option the emulator's --help lists is in its manual page.
    page=$(gzip -dc "$prefix/share/man/man1/vexil-sim.1.gz" | sed 's/\\-/-/g')
    for option in $("$prefix/bin/vexil-sim" --help | grep -o -e '--[a-z-]*' | sort -u); do
      grep -q -e "$option" <<<"$page" || fail "vexil-sim.1 does not describe $option"
    done
    ;;

  sim-options)
    sim=$prefix/bin/vexil-sim
    [ "$("$sim" --version)" = "vexil-sim $version" ] || fail "--version: $("$sim" --version)"
    # Read the whole text first: grep -q leaves at its first match, and with pipefail
    # the SIGPIPE of a help text still being written failed the check now and then.
    help=$("$sim" --help)
    grep -q -e "--version" <<<"$help" || fail "--help does not list --version"
    # Followed by a value, --version still sets the firmware: the value is taken and
    # the next option is the one refused.
    status=0
    out=$("$sim" --version 1.7 --no-such-option 2>&1) || status=$?
    [ "$status" -eq 2 ] || fail "--version 1.7 --no-such-option exited $status"
    grep -q -e "--no-such-option" <<<"$out" || fail "unexpected refusal: $out"
    status=0
    out=$("$sim" --firmware 1.700 2>&1) || status=$?
    [ "$status" -eq 2 ] || fail "--firmware 1.700 was accepted"
    ;;

  *) fail "unknown check $check" ;;
esac
echo "packaging check $check passed"
