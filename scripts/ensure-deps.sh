#!/usr/bin/env bash
# Installs the Debian 12 packages the build, the tests and the program need, if any are
# missing. Uses apt-get as root, or through sudo.
#   bash scripts/ensure-deps.sh          what the default, debug, asan and tsan presets need
#   bash scripts/ensure-deps.sh --fuzz   also clang and its libFuzzer runtime (fuzz preset)
set -euo pipefail

packages=(
  cmake g++ make pkg-config
  libgtest-dev
  qt6-base-dev qt6-base-dev-tools libgl1-mesa-dev
  xvfb xauth fonts-wine fonts-dejavu-core
)

for arg in "$@"; do
  case "$arg" in
    --fuzz) packages+=(clang libclang-rt-14-dev) ;;
    *) echo "unknown option: $arg" >&2; exit 2 ;;
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
DEBIAN_FRONTEND=noninteractive "${as_root[@]}" apt-get install -y -qq --no-install-recommends "${missing[@]}"
