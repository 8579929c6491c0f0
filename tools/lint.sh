#!/usr/bin/env bash
# Fails on a formatting or tidy error in src/, tests/ and bench/.
#   tools/lint.sh [BUILD_DIR]   (default: build; configured here for its compile commands)
# Needs clang-format and clang-tidy (tools/setup.sh --dev installs them).
set -euo pipefail
src="$(cd "$(dirname "$0")/.." && pwd)"
build="${1:-$src/build}"
cd "$src"
git ls-files 'src/*.cpp' 'src/*.h' 'src/*.c' 'tests/*.cpp' 'tests/*.h' 'tests/*.c' 'bench/*.cpp' |
  xargs clang-format --dry-run -Werror
cmake -S "$src" -B "$build" -DCMAKE_EXPORT_COMPILE_COMMANDS=ON >/dev/null
python3 -c 'import json, sys
for e in json.load(open(sys.argv[1])):
    if "/src/platform/win32/" not in e["file"] and "_autogen/" not in e["file"]: print(e["file"])' \
  "$build/compile_commands.json" | xargs -P2 -n4 clang-tidy -p "$build" --quiet
