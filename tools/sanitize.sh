#!/usr/bin/env bash
# Builds the program and every test with a sanitizer and runs the whole suite
# (all but the Windows build, which is no sanitizer build):
#   tools/sanitize.sh address [BUILD_DIR]   AddressSanitizer and UBSan (default build/asan)
#   tools/sanitize.sh thread [BUILD_DIR]    ThreadSanitizer, without the windows (default build/tsan)
# Further arguments after BUILD_DIR go to ctest, e.g. -R FilePairTest.
# A test that cannot run under a sanitizer skips itself with the reason.
set -euo pipefail
src="$(cd "$(dirname "$0")/.." && pwd)"
kind="${1:-}"
case "$kind" in
  address)
    flags="-fsanitize=address,undefined -fno-sanitize-recover=undefined"
    options=()
    ;;
  thread)
    flags="-fsanitize=thread"
    # Qt is not built with ThreadSanitizer: its own threads' work, which the
    # sanitizer cannot see, would read as races of ours.
    options=(-DZEK32_GUI=OFF)
    ;;
  *)
    echo "usage: tools/sanitize.sh address|thread [BUILD_DIR [CTEST_ARGS...]]" >&2
    exit 2
    ;;
esac
build="${2:-$src/build/${kind:0:1}san}"
shift $(($# < 2 ? $# : 2))

launcher=()
command -v ccache >/dev/null && launcher=(-DCMAKE_CXX_COMPILER_LAUNCHER=ccache -DCMAKE_C_COMPILER_LAUNCHER=ccache)
cmake -S "$src" -B "$build" -G Ninja "${launcher[@]}" "${options[@]}" \
  "-DCMAKE_CXX_FLAGS=$flags -fno-omit-frame-pointer" "-DCMAKE_C_FLAGS=$flags -fno-omit-frame-pointer" \
  "-DCMAKE_EXE_LINKER_FLAGS=$flags" "-DCMAKE_SHARED_LINKER_FLAGS=$flags" "-DCMAKE_MODULE_LINKER_FLAGS=$flags" >/dev/null
cmake --build "$build"

# The race shim is preloaded ahead of the sanitizer's runtime on purpose.
export ASAN_OPTIONS="${ASAN_OPTIONS:-verify_asan_link_order=0}"
export UBSAN_OPTIONS="${UBSAN_OPTIONS:-print_stacktrace=1:halt_on_error=1}"
export TSAN_OPTIONS="${TSAN_OPTIONS:-halt_on_error=1:second_deadlock_stack=1}"
ctest --test-dir "$build" --output-on-failure -j2 -E '^windows' "$@"
