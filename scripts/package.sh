#!/usr/bin/env bash
# Builds the Debian package build/package/vexil-devp_<version>_<arch>.deb and checks it
# with lintian:
#   bash scripts/package.sh
# Installs what it needs when missing (dpkg-dev for dpkg-shlibdeps, which works out the
# package's dependencies; lintian), configures the "package" preset (Release, no tests,
# installed under /usr) and runs CPack. Install the result with
#   sudo apt-get install ./build/package/vexil-devp_1.00_amd64.deb
set -euo pipefail
cd "$(dirname "$0")/.."

bash scripts/ensure-deps.sh dpkg-dev lintian

jobs=$(nproc 2>/dev/null || echo 2)
cmake --preset package
cmake --build --preset package -j "$jobs"
rm -f build/package/*.deb
cpack --preset package

deb=$(ls build/package/*.deb)
echo "package.sh: built $deb"
dpkg-deb --info "$deb" | sed -n '/Package:/,$p'

# Errors fail the build; the warnings kept on purpose are listed in the README.
lintian --fail-on error "$deb"
echo "package.sh: lintian found no errors"
