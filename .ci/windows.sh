#!/usr/bin/env bash
# Cross-compiles storlook and its tests for Windows with mingw-w64, runs the
# tests under wine, and checks the zip that a Windows user unpacks.
set -euo pipefail
cd "$(dirname "$0")/.."

bash .ci/need.sh g++-mingw-w64-x86-64 wine64 googletest mandoc

cmake -S . -B build-win -DCMAKE_TOOLCHAIN_FILE=cmake/mingw-w64.cmake \
  -DSTORLOOK_TESTS=ON -DSTORLOOK_GTEST_SOURCE=/usr/src/googletest
cmake --build build-win -j2

# A wine server left holding ctest's output pipe makes every test slow or
# hangs ctest: start it, and the prefix, apart from ctest's streams.
export WINEDEBUG=-all
unset DISPLAY
# wine64's own programs, wherever the package puts them, else from the PATH.
find_tool() {
  local f
  for f in $(dpkg -L wine64 2>/dev/null | grep "/$1\$"); do
    [ -f "$f" ] && [ -x "$f" ] && { echo "$f"; return; }
  done
  command -v "$1"
}
wine=$(find_tool wine64)
wineserver=$(find_tool wineserver64)
# The server and the services that wineboot starts then stay up, away from
# ctest's pipes. The server needs the prefix folder; wineboot fills it.
mkdir -p "${WINEPREFIX:-$HOME/.wine}"
"$wineserver" -p </dev/null >/dev/null 2>&1
"$wine" wineboot -i </dev/null >/dev/null 2>&1
status=0
ctest --test-dir build-win --timeout 240 --output-on-failure || status=$?
"$wineserver" -k </dev/null >/dev/null 2>&1 || true
((status == 0)) || exit "$status"

# The zip: the program, which needs no DLL beyond the system's, its README,
# licence and news, and the manual as a web page.
dlls=$(x86_64-w64-mingw32-objdump -p build-win/storlook.exe | sed -n 's/.*DLL Name: //p')
for dll in $dlls; do
  case ${dll,,} in
  kernel32.dll | msvcrt.dll | user32.dll | advapi32.dll | ws2_32.dll) ;;
  *) echo "storlook.exe needs $dll"; exit 1 ;;
  esac
done
(cd build-win && rm -f storlook-*.zip && cpack -G ZIP >/dev/null)
zip=$(ls build-win/storlook-*.zip)
listing=$(cmake -E tar tf "$zip" | sed 's,^[^/]*/,,')
for f in storlook.exe README.md LICENSE.txt NEWS.md storlook.html; do
  grep -qx "$f" <<<"$listing" || { echo "$zip: missing $f"; exit 1; }
done
echo "windows zip: $(basename "$zip") holds $(echo $listing)"
