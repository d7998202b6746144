#!/usr/bin/env bash
# Installs the Debian 12 packages the build, the tests and the program need, if any are
# missing. Uses apt-get as root, or through sudo. tstools gives the stream tests an
# analyser nobody here wrote (tsreport); ffmpeg (ffprobe) is large and optional:
# install it by hand and the same tests use it too.
#   bash scripts/ensure-deps.sh                 what the build and the tests need
#   bash scripts/ensure-deps.sh --fuzz          also clang and its libFuzzer runtime
#   bash scripts/ensure-deps.sh --windows       also the MinGW-w64 cross-compiler, the
#                                               GoogleTest sources, wine64 to run the
#                                               Windows build, and NSIS and zip for its
#                                               installer
#   bash scripts/ensure-deps.sh dpkg-dev ...    also the packages named
set -euo pipefail

packages=(
  cmake g++ make pkg-config
  libgtest-dev
  qt6-base-dev qt6-base-dev-tools libgl1-mesa-dev
  xvfb xauth fonts-wine fonts-dejavu-core
  # The dissector's test decodes with tshark; the desktop entry, the metainfo file and
  # the manual pages are checked with the tools the distribution checks them with.
  tshark appstream desktop-file-utils man-db
  # The stream tests compare with an analyser nobody here wrote (tsreport).
  tstools
  # Capture files (pcap, pcapng) are read through libpcap; the multicast tests make a
  # network namespace of their own with iproute2.
  libpcap-dev iproute2
  # The board watch and the stream check serve metrics through the Prometheus C++ client;
  # the tests let a real Prometheus server scrape them.
  prometheus-cpp-dev prometheus
  # vexilctl setup keeps production records in PostgreSQL through libpq; the tests start
  # a real server of their own from Debian's packages.
  libpq-dev postgresql
)
for arg in "$@"; do
  case "$arg" in
    --fuzz) packages+=(clang libclang-rt-14-dev) ;;
    # wine64 alone (its loader is /usr/lib/wine/wine64): the wine package would add
    # the 32-bit half and its multiarch set-up, which the 64-bit programs do not need.
    --windows) packages+=(g++-mingw-w64-x86-64-posix googletest wine64 nsis zip) ;;
    -*) echo "unknown option: $arg" >&2; exit 2 ;;
    *) packages+=("$arg") ;;
  esac
done

missing=()
for p in "${packages[@]}"; do
  if ! dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed"; then
    missing+=("$p")
  fi
done
[ ${#missing[@]} -eq 0 ] && exit 0

echo "Installing missing packages: ${missing[*]}"
if [ "$(id -u)" -eq 0 ]; then
  as_root=()
elif command -v sudo >/dev/null 2>&1; then
  as_root=(sudo)
else
  echo "error: packages missing (${missing[*]}) and neither root nor sudo is available" >&2
  exit 1
fi
"${as_root[@]}" apt-get update -qq
# tshark's package asks whether ordinary users may capture; answer no instead of asking.
echo "wireshark-common wireshark-common/install-setuid boolean false" |
  "${as_root[@]}" debconf-set-selections
DEBIAN_FRONTEND=noninteractive "${as_root[@]}" apt-get install -y -qq --no-install-recommends "${missing[@]}"
