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
# The tree's own sources that the build compiles (no generated ones), but the
# Windows layer, which this compiler cannot take.
python3 -c 'import json, sys
root = sys.argv[2] + "/"
for e in json.load(open(sys.argv[1])):
    f = e["file"]
    if f.startswith(root) and f[len(root):].split("/")[0] in ("src", "tests", "bench") and "/win32/" not in f: print(f)' \
  "$build/compile_commands.json" "$src" | sort -u | xargs -P2 -n4 clang-tidy -p "$build" --quiet
