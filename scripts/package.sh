#!/usr/bin/env bash
# Builds the Debian package build/package/vexil-devp_<version>_<arch>.deb and checks it
# with lintian:
#   bash scripts/package.sh
# or, with --windows, the download for Windows users (see package_windows below):
#   bash scripts/package.sh --windows
# Installs what it needs when missing (dpkg-dev for dpkg-shlibdeps, which works out the
# package's dependencies; lintian), configures the "package" preset (Release, no tests,
# installed under /usr) and runs CPack. Install the result with
#   sudo apt-get install ./build/package/vexil-devp_1.00_amd64.deb
set -euo pipefail
cd "$(dirname "$0")/.."

# The command-line tools for Windows: build/windows-package/vexil-devp-<version>-windows-x64.zip
# (vexilctl.exe, vexil-sim.exe, vexil-stream-check.exe, README, licence and the manual
# pages as text, all with CRLF line ends) and, beside it, an installer made with NSIS
# that puts the same files in Program Files.
package_windows() {
  bash scripts/ensure-deps.sh --windows
  jobs=$(nproc 2>/dev/null || echo 2)
  # A build folder of its own, without tests, so that the test build keeps its settings.
  cmake --preset windows -B build/windows-release -DVEXIL_BUILD_TESTS=OFF
  cmake --build build/windows-release -j "$jobs" --target vexilctl vexil-sim vexil-stream-check
  version=$(sed -n 's/^project(VexilDevP VERSION \([0-9.]*\).*/\1/p' CMakeLists.txt)
  out=build/windows-package
  stage=$out/vexil-devp-$version-windows-x64
  rm -rf "$out"
  mkdir -p "$stage/doc"
  cp build/windows-release/ctl/vexilctl.exe build/windows-release/sim/vexil-sim.exe \
     build/windows-release/stream/vexil-stream-check.exe "$stage/"
  x86_64-w64-mingw32-strip "$stage"/*.exe
  crlf() { sed 's/$/\r/' "$1" >"$2"; }
  crlf README.md "$stage/README.md"
  crlf packaging/copyright "$stage/LICENSE.txt"
  for page in vexilctl vexil-sim; do
    MANWIDTH=80 man -l -P cat "packaging/$page.1" 2>/dev/null | col -bx >"$out/$page.txt"
    crlf "$out/$page.txt" "$stage/doc/$page.txt"
  done
  cat >"$out/READ-ME-FIRST.txt" <<EOT
Vexil Development Platform $version: the command-line tools for Windows

vexilctl.exe            every operation of the window from the command line
vexil-sim.exe           the emulated board, for training and rehearsal
vexil-stream-check.exe  the stream check (TR 101 290)

They need nothing else installed. Open a Command Prompt in this folder and run
  vexilctl --help
vexilctl reads VexilDevP.ini from the working folder when no --device is given.
The manual pages are in doc\, the whole README in README.md.
EOT
  crlf "$out/READ-ME-FIRST.txt" "$stage/READ-ME-FIRST.txt"
  zip=$PWD/$out/vexil-devp-$version-windows-x64.zip
  (cd "$out" && rm -f "$zip" && zip -qr -X "$zip" "$(basename "$stage")")
  echo "package.sh: built $zip"
  unzip -l "$zip"

  # The installer: Program Files\Vexil Development Platform with an uninstaller in
  # Apps & features. It leaves the PATH alone: NSIS reads at most 1024 characters of a
  # registry value, and writing a longer PATH back cut short would break the machine.
  cat >"$out/installer.nsi" <<EOT
Unicode true
Name "Vexil Development Platform $version (command-line tools)"
OutFile "vexil-devp-$version-windows-x64-setup.exe"
InstallDir "\$PROGRAMFILES64\Vexil Development Platform"
RequestExecutionLevel admin
Page directory
Page instfiles
UninstPage uninstConfirm
UninstPage instfiles
Section
  SetOutPath "\$INSTDIR"
  File /r "$(basename "$stage")\*.*"
  WriteUninstaller "\$INSTDIR\uninstall.exe"
  WriteRegStr HKLM "Software\Microsoft\Windows\CurrentVersion\Uninstall\VexilDevP" "DisplayName" "Vexil Development Platform (command-line tools)"
  WriteRegStr HKLM "Software\Microsoft\Windows\CurrentVersion\Uninstall\VexilDevP" "DisplayVersion" "$version"
  WriteRegStr HKLM "Software\Microsoft\Windows\CurrentVersion\Uninstall\VexilDevP" "UninstallString" "\$INSTDIR\uninstall.exe"
SectionEnd
Section "Uninstall"
  RMDir /r "\$INSTDIR"
  DeleteRegKey HKLM "Software\Microsoft\Windows\CurrentVersion\Uninstall\VexilDevP"
SectionEnd
EOT
  (cd "$out" && makensis -V2 installer.nsi)
  echo "package.sh: built $out/vexil-devp-$version-windows-x64-setup.exe"
}

if [ "${1:-}" = --windows ]; then
  package_windows
  exit 0
fi

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
