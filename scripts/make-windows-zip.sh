#!/usr/bin/env bash
# Builds the Windows ZIP (VeskProgramManager-<version>-windows.zip) with CPack
# from both cross builds: the DLL and vesk-host.exe of each width, built here
# in build-mingw64 and build-mingw32 (configured first if needed), packed
# into build-windows-zip/. Prints the ZIP's path.
#   scripts/make-windows-zip.sh
set -euo pipefail
cd "$(dirname "$0")/.."
for preset in mingw64 mingw32; do
  [ -f "build-$preset/CMakeCache.txt" ] || cmake --preset "$preset" >/dev/null
  cmake --build "build-$preset" -j2 --target VeskProgramManager vesk-host >/dev/null
done
cmake -S packaging/windows -B build-windows-zip -DVESK_X64_BUILD="$PWD/build-mingw64" \
  -DVESK_X86_BUILD="$PWD/build-mingw32" >/dev/null
rm -f build-windows-zip/VeskProgramManager-*-windows.zip
(cd build-windows-zip && cpack -G ZIP >/dev/null)
ls "$PWD"/build-windows-zip/VeskProgramManager-*-windows.zip
