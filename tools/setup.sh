#!/usr/bin/env bash
# Installs the Debian packages that building and testing ZEK32 need, and only
# those that are missing. Safe to run again.
set -euo pipefail

# file and dpkg-dev (dpkg-shlibdeps): cpack reads the packages' dependencies with them.
# python3 and jq: the report tests read the JSON Lines report with them.
packages=(cmake ninja-build g++ pkg-config qt6-base-dev libgtest-dev libssl-dev fuse3 libfuse3-dev file dpkg-dev python3 jq)
# The Windows build and its tests under Wine; without them those tests are
# skipped, so a failed install of these stops nothing.
optional=(g++-mingw-w64-x86-64 googletest wine wine64)
# tools/setup.sh --dev: also the format and tidy checks of tools/lint.sh.
[ "${1:-}" = "--dev" ] && packages+=(clang-format clang-tidy)

missing_of() {
  for p in "$@"; do
    dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q 'install ok installed' || echo "$p"
  done
}
mapfile -t missing < <(missing_of "${packages[@]}")
mapfile -t missing_optional < <(missing_of "${optional[@]}")
[ ${#missing[@]} -eq 0 ] && [ ${#missing_optional[@]} -eq 0 ] && exit 0

sudo=""
[ "$(id -u)" -eq 0 ] || sudo="sudo"
$sudo apt-get update -qq
install() { DEBIAN_FRONTEND=noninteractive $sudo apt-get install -y -qq --no-install-recommends "$@"; }
if [ ${#missing[@]} -gt 0 ]; then
  echo "Installing: ${missing[*]}"
  install "${missing[@]}"
fi
if [ ${#missing_optional[@]} -gt 0 ]; then
  echo "Installing for the Windows build: ${missing_optional[*]}"
  install "${missing_optional[@]}" || echo "Could not install ${missing_optional[*]}: the Windows tests will be skipped" >&2
fi
