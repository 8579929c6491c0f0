#!/usr/bin/env bash
# Builds zek32.exe and its tests with mingw-w64 and runs the tests under Wine,
# in a Wine prefix of its own whose drives C: and D: are temporary directories.
#   tools/windows-tests.sh [BUILD_DIR]      (default: build/win)
# Exit 77 (a skipped test to CTest) where mingw-w64 or Wine is missing.
set -euo pipefail
src="$(cd "$(dirname "$0")/.." && pwd)"
build="${1:-$src/build/win}"

skip() { echo "SKIPPED: $*" >&2; exit 77; }
command -v x86_64-w64-mingw32-g++-posix >/dev/null || skip "no mingw-w64 (Debian: g++-mingw-w64-x86-64)"
command -v wine >/dev/null || skip "no Wine (Debian: wine wine64)"
[ -d /usr/src/googletest ] || skip "no GoogleTest sources (Debian: googletest)"

launcher=()
command -v ccache >/dev/null && launcher=(-DCMAKE_CXX_COMPILER_LAUNCHER=ccache)
start=$SECONDS
cmake -S "$src" -B "$build" -G Ninja -DCMAKE_TOOLCHAIN_FILE="$src/cmake/mingw-w64.cmake" "${launcher[@]}" >/dev/null
cmake --build "$build"
echo "cross build: $((SECONDS - start)) s"

scratch="$(mktemp -d "${TMPDIR:-/tmp}/zek32-wine-XXXXXX")"
export WINEPREFIX="$scratch/prefix" WINEDEBUG=-all WINEDLLOVERRIDES="mscoree,mshtml=" WINEARCH=win64
# Wine takes its time zone from TZ; the DOS time cases need UTC, as a test
# must not change the Windows one.
export TZ=UTC
cleanup() {
  wineserver -k >/dev/null 2>&1 || true
  rm -rf "$scratch"
}
trap cleanup EXIT

start=$SECONDS
wineboot -i >/dev/null 2>&1
# C: is the prefix's own drive_c below the scratch directory; D: is mapped there too.
mkdir -p "$scratch/d"
ln -sfn "$scratch/d" "$WINEPREFIX/dosdevices/d:"
echo "Wine prefix: $((SECONDS - start)) s"

ctest --test-dir "$build" --output-on-failure
