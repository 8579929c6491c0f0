#!/usr/bin/env bash
# Fuzzes the INI reader and the wildcard matcher with libFuzzer (clang, with
# AddressSanitizer and UBSan) for a bounded time each, and keeps every input
# that makes a target crash, hang or leak in tests/fuzz/corpus/<target>/, which
# the normal test build replays (ctest -R fuzz). Not part of CI: run it by hand.
#
#   tests/fuzz/run.sh [SECONDS_PER_TARGET]     (default 120)
#
# Installs clang and libclang-rt-14-dev if they are missing (needs root or sudo).
set -euo pipefail
cd "$(dirname "$0")/../.."
seconds=${1:-120}
out=${FUZZ_BUILD_DIR:-build-fuzz}

missing=()
command -v clang++ >/dev/null || missing+=(clang)
dpkg-query -W -f='${Status}' libclang-rt-14-dev 2>/dev/null | grep -q 'install ok installed' ||
  missing+=(libclang-rt-14-dev)
if [ ${#missing[@]} -gt 0 ]; then
  sudo=""
  [ "$(id -u)" -eq 0 ] || sudo="sudo"
  $sudo apt-get update -qq
  DEBIAN_FRONTEND=noninteractive $sudo apt-get install -y -qq --no-install-recommends "${missing[@]}"
fi

declare -A sources=(
  [ini_reader]="src/platform/linux/ini_text.cpp src/settings/value_rules.cpp"
  [wildcard]="src/platform/wildcard.cpp"
)

status=0
for target in ini_reader wildcard; do
  mkdir -p "$out/$target/work" "$out/$target/artifacts"
  # shellcheck disable=SC2086  # the source list is split on purpose
  clang++ -std=c++20 -g -O1 -fsanitize=fuzzer,address,undefined -fno-sanitize-recover=undefined -Isrc \
    "tests/fuzz/${target}_fuzz.cpp" ${sources[$target]} -o "$out/$target/fuzzer"
  echo "== $target: ${seconds}s"
  # New inputs go to the work corpus; the kept corpus grows only by failures.
  if ! "$out/$target/fuzzer" -max_total_time="$seconds" -timeout=10 -rss_limit_mb=2048 -print_final_stats=1 \
      -artifact_prefix="$out/$target/artifacts/" "$out/$target/work" "tests/fuzz/corpus/$target"; then
    status=1
  fi
  for artifact in "$out/$target/artifacts"/*; do
    [ -e "$artifact" ] || continue
    cp "$artifact" "tests/fuzz/corpus/$target/"
    echo "kept $(basename "$artifact") in tests/fuzz/corpus/$target/"
  done
done
exit $status
