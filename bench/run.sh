#!/usr/bin/env bash
# Times zek32 --batch against the tools users would otherwise reach for (cmp,
# diff -rq) and against the read limit (cat SRC TGT >/dev/null), on data sets
# generated here, the same bytes on every run:
#
#   A  one identical pair of 1 GiB files                      cmp, cat, and warm
#      a plain loop of 1 MiB reads and memcmp (read_limit --pair)
#   B  20,000 files of 1-64 KiB in 200 directories, 1% altered diff -rq,
#      also ours with --report (its cost)
#   C  one identical pair of 4 GiB + 1 byte (needs ~8.1 GB)    cmp, cat
#   D  a chain of 500 nested directories, one file in each    diff -rq
#      and chains of 500, 5,000 and 30,000, ours alone: time per level
#   E  set A with the target's first byte changed             cmp
#   W  set B compared in the window (Compare pressed under     zek32 --batch
#      Xvfb by bench/window_run.cpp), from the press to the verdict
#   A, B also with a manifest: the run with --write-manifest against the slower
#      of the run without and sha256sum over the source files; the check of
#      the target against it (--manifest) against sha256sum -c (set A) or,
#      cold, against the run (set B)
#   M  a million lines in the window: 102 pairs of 10,000       zek32 --batch
#      bytes differing in every byte, each position reported;
#      also peak memory and the times of Ctrl+A and Ctrl+C
#   F  200,000 empty files in one directory, both sides      diff -rq
#   T  1,000,000 empty files, 1,000 to a directory           diff -rq
#   S  set B with its target on a simulated spinning disk     diff -rq, and
#      (cold only, as root; FUSE 3)                  the disk read in physical order
#
# Each command is warmed up once with the page cache warm, then run RUNS times,
# interleaved (ours, peer, ours, peer, ...); the table gives the medians and the
# ratio ours/peer from the same run. Every run of ours must exit as expected and
# print exactly the expected lines, or the script fails. Peak resident memory of
# ours comes from /usr/bin/time -v, for B also with 3,000 files.
#
# With COLD=1 (as root) the page cache is dropped before every timed command,
# as a backup disk that has not been read since it was mounted; sets A, B and D
# run, beside the read limit of the disk (every file read once, 16 readers at a
# time, bench/read_limit.cpp) and, for B, zek32 --from-disk.
#
#   bench/run.sh [SETS]        SETS: letters to run, default ABCDEWMFT (ABDS cold)
#   RUNS=15 bench/run.sh AB    more runs (default 9, cold 3)
#   COLD=1 bench/run.sh        the page cache cold
#   ZEK32_GUI=OFF bench/run.sh a build without the windows
#
# It builds the release binary in build-bench/ and keeps its data under one
# temporary directory ($TMPDIR or /tmp), removed at the end however it ends.
set -euo pipefail
export LC_ALL=C

ROOT=$(cd "$(dirname "$0")/.." && pwd)
COLD=${COLD:-0}
if [[ $COLD == 1 ]]; then
  if [[ $(id -u) -ne 0 || ! -w /proc/sys/vm/drop_caches ]]; then
    echo "bench: COLD=1 needs root, to drop the page cache; skipped"
    exit 0
  fi
  SETS=${1:-ABDS}
  SETS=${SETS//[CEWMFT]/}
  RUNS=${RUNS:-3}
else
  SETS=${1:-ABCDEWMFT}
  SETS=${SETS//S/}
  RUNS=${RUNS:-9}
fi
BUILD=${BUILD:-$ROOT/build-bench}
GUI=${ZEK32_GUI:-ON}
BLOCK=20480

die() {
  echo "bench: $*" >&2
  exit 1
}

[[ $SETS =~ ^[A-EWMFTS]+$ ]] || die "SETS must be letters of ABCDEWMFTS, not '$SETS'"
MIN_RUNS=$([[ $COLD == 1 ]] && echo 3 || echo 5)
[[ $RUNS =~ ^[0-9]+$ && $RUNS -ge $MIN_RUNS ]] || die "RUNS must be $MIN_RUNS or more"

if [[ ! -x /usr/bin/time ]]; then
  echo "Installing the package time (for /usr/bin/time -v)"
  sudo=""
  [[ $(id -u) -eq 0 ]] || sudo="sudo"
  $sudo apt-get install -y -qq time >/dev/null || die "cannot install the package time"
fi
for tool in cmake ninja g++ cmp diff cat jq; do
  command -v "$tool" >/dev/null || die "$tool is missing (tools/setup.sh installs the build tools)"
done

WORK=$(mktemp -d "${TMPDIR:-/tmp}/zek32-bench.XXXXXX")
XVFB_PID=""
DISK_LOOP=""
# The simulated disk (set S) is unmounted before its image is removed.
cleanup() {
  [[ -z $XVFB_PID ]] || kill "$XVFB_PID"
  if [[ -n $DISK_LOOP ]]; then
    umount "$WORK/S/tgt" 2>/dev/null || true
    losetup -d "$DISK_LOOP" 2>/dev/null || true
    fusermount3 -u "$WORK/S/image" 2>/dev/null || umount "$WORK/S/image" 2>/dev/null || true
  fi
  rm -rf "$WORK"
}
trap cleanup EXIT
export XDG_CONFIG_HOME=$WORK/config  # never the user's own settings
mkdir -p "$XDG_CONFIG_HOME"

echo "Building the release binary in $BUILD (windows: $GUI)"
cmake -S "$ROOT" -B "$BUILD" -G Ninja -DCMAKE_BUILD_TYPE=Release -DZEK32_GUI="$GUI" -DZEK32_TESTS=OFF >/dev/null
cmake --build "$BUILD" --target zek32 >/dev/null
ZEK=$BUILD/zek32
g++ -O2 -std=c++20 -o "$WORK/make_sets" "$ROOT/bench/make_sets.cpp"
MAKE_SETS=$WORK/make_sets
g++ -O2 -std=c++20 -pthread -o "$WORK/read_limit" "$ROOT/bench/read_limit.cpp"
READ_LIMIT=$WORK/read_limit

# Batch mode must not start the window system: with no display and the X11
# platform forced, a Qt GUI application would abort.
mkdir -p "$WORK/gui/src" "$WORK/gui/tgt"
echo same >"$WORK/gui/src/a"
cp -p "$WORK/gui/src/a" "$WORK/gui/tgt/a"
out=$(env -u DISPLAY -u WAYLAND_DISPLAY QT_QPA_PLATFORM=xcb QT_DEBUG_PLUGINS=1 \
  "$ZEK" --batch "$WORK/gui/src/*.*" "$WORK/gui/tgt/" 2>"$WORK/gui/err") ||
  die "batch mode failed without a display: $(cat "$WORK/gui/err")"
[[ $out == $'running...\nfinished.\nFiles total: 1\nNo differences found' && ! -s $WORK/gui/err ]] ||
  die "batch mode touched the window system: $out $(cat "$WORK/gui/err")"
rm -rf "$WORK/gui"

median() { sort -g | awk '{v[NR] = $1} END {print (NR % 2) ? v[(NR + 1) / 2] : (v[NR / 2] + v[NR / 2 + 1]) / 2}'; }

# check_ours DIR EXPECTED_CODE CODE: the run's exit code and lines must be the
# expected ones (in any order: the directory search gives no order).
check_ours() {
  local dir=$1 want=$2 got=$3
  [[ $got -eq $want ]] || die "ours exited with $got instead of $want on $dir"
  if ! cmp -s <(sort "$dir/out.txt") <(sort "$dir/expected.txt"); then
    diff <(sort "$dir/expected.txt") <(sort "$dir/out.txt") | head -5 >&2
    die "ours printed other lines than expected on $dir"
  fi
}

# peak_kb DIR EXPECTED_CODE: peak resident memory of one checked run of ours, in KiB.
peak_kb() {
  local dir=$1 code=0
  /usr/bin/time -v -o "$dir/time.txt" "$ZEK" --batch "$dir/src/*.*" "$dir/tgt/" >"$dir/out.txt" || code=$?
  check_ours "$dir" "$2" "$code"
  awk -F': ' '/Maximum resident set size/ {print $2}' "$dir/time.txt"
}

# Written back first, so that no write-back of the new set runs during the timing.
warm() {
  sync
  find "$1" -type f -exec cat {} + >/dev/null
}

# Before each timed command: nothing of the sets in the page cache when cold.
before_timing() {
  if [[ $COLD == 1 ]]; then
    sync
    echo 3 >/proc/sys/vm/drop_caches
  fi
}

RESULTS=$WORK/results.txt
: >"$RESULTS"

# bench_set NAME DIR EXPECTED_CODE [PEER_LABEL PEER_COMMAND PEER_CODE GOAL]...
# Runs ours and the peers interleaved, RUNS times each; one result line per
# peer. GOAL is the largest ratio ours/peer that meets the goal, or "-"; a goal
# of "/G" is met when peer/ours is at most G (a variant of ours as the peer).
bench_set() {
  local name=$1 dir=$2 want=$3
  shift 3
  local -a labels=() peers=() peer_codes=() goals=()
  while (($#)); do
    labels+=("$1")
    peers+=("$2")
    peer_codes+=("$3")
    goals+=("$4")
    shift 4
  done
  warm "$dir"
  local code=0 i k t0 t1
  "$ZEK" --batch "$dir/src/*.*" "$dir/tgt/" >"$dir/out.txt" || code=$?
  check_ours "$dir" "$want" "$code"
  for k in "${!peers[@]}"; do
    code=0
    eval "${peers[$k]}" >/dev/null 2>&1 || code=$?
    [[ $code -eq ${peer_codes[$k]} ]] || die "'${peers[$k]}' exited with $code on set $name"
    : >"$dir/peer$k.times"
  done
  : >"$dir/ours.times"
  for ((i = 0; i < RUNS; i++)); do
    code=0
    before_timing
    t0=$EPOCHREALTIME
    "$ZEK" --batch "$dir/src/*.*" "$dir/tgt/" >"$dir/out.txt" || code=$?
    t1=$EPOCHREALTIME
    check_ours "$dir" "$want" "$code"
    awk -v a="$t0" -v b="$t1" 'BEGIN {printf "%.6f\n", b - a}' >>"$dir/ours.times"
    for k in "${!peers[@]}"; do
      before_timing
      t0=$EPOCHREALTIME
      eval "${peers[$k]}" >/dev/null 2>&1 || true
      t1=$EPOCHREALTIME
      awk -v a="$t0" -v b="$t1" 'BEGIN {printf "%.6f\n", b - a}' >>"$dir/peer$k.times"
    done
  done
  local ours peer peak
  ours=$(median <"$dir/ours.times")
  peak=$(peak_kb "$dir" "$want")
  for k in "${!peers[@]}"; do
    peer=$(median <"$dir/peer$k.times")
    echo "$name|${labels[$k]}|$ours|$peer|${goals[$k]}|$peak" >>"$RESULTS"
  done
}

# manifest_set NAME DIR EXPECTED_CODE: the run with a manifest against the
# slower of the run without one and sha256sum over the source files, and the
# check of the target against that manifest against sha256sum -c (warm) or
# the run (cold), interleaved as bench_set does; the first round warms up.
manifest_set() {
  local name=$1 dir=$2 want=$3 i k code t0 t1
  local sums=$WORK/$name.sha256
  local -a labels=(plain write sums check peer)
  warm "$dir"
  for k in "${labels[@]}"; do : >"$dir/$k.times"; done
  for ((i = 0; i <= RUNS; i++)); do
    for k in "${labels[@]}"; do
      code=0
      before_timing
      t0=$EPOCHREALTIME
      case $k in
        plain) "$ZEK" --batch "$dir/src/*.*" "$dir/tgt/" >"$dir/out.txt" || code=$? ;;
        write) "$ZEK" --batch --write-manifest "$sums" "$dir/src/*.*" "$dir/tgt/" >"$dir/out.txt" || code=$? ;;
        sums) (cd "$dir/src" && find . -type f -print0 | xargs -0 sha256sum >/dev/null) ;;
        check) "$ZEK" --batch --manifest "$sums" "$dir/tgt/" >"$dir/check.txt" || code=$? ;;
        peer) if [[ $COLD == 1 ]]; then
          "$ZEK" --batch "$dir/src/*.*" "$dir/tgt/" >/dev/null || true
        else
          (cd "$dir/tgt" && sha256sum --quiet -c "$sums") || code=$?
        fi ;;
      esac
      t1=$EPOCHREALTIME
      case $k in
        plain | write) [[ $code -eq $want ]] || die "ours ($k) exited with $code instead of $want on $dir" ;;
        check | peer) [[ $code -eq 0 ]] || die "the check ($k) exited with $code on $dir" ;;
      esac
      ((i == 0)) || awk -v a="$t0" -v b="$t1" 'BEGIN {printf "%.6f\n", b - a}' >>"$dir/$k.times"
    done
  done
  local recorded
  recorded=$(awk '/^# end: / {print $3}' "$sums")
  [[ $recorded -eq $(grep -c '^#= ' "$sums") && $recorded -gt 0 ]] || die "set $name: the manifest is not whole"
  local plain write shasum slower check peer
  plain=$(median <"$dir/plain.times")
  write=$(median <"$dir/write.times")
  shasum=$(median <"$dir/sums.times")
  check=$(median <"$dir/check.times")
  peer=$(median <"$dir/peer.times")
  slower=$(awk -v a="$plain" -v b="$shasum" 'BEGIN {print (a + 0 > b + 0 ? a : b)}')
  echo "Set $name, manifest: run $plain s, with --write-manifest $write s, sha256sum $shasum s; check $check s, peer $peer s ($recorded files)"
  echo "$name|ours \`--write-manifest\` vs the slower of ours and \`sha256sum\`|$write|$slower|1.2|-" >>"$RESULTS"
  if [[ $COLD == 1 ]]; then
    echo "$name|ours \`--manifest\` (the check) vs the run|$check|$peer|1.0|-" >>"$RESULTS"
  else
    echo "$name|ours \`--manifest\` (the check) vs \`sha256sum -c\`|$check|$peer|1.2|-" >>"$RESULTS"
  fi
  rm -f "$sums"
}

# need_space MIB: true when the temporary directory has that much free space.
need_space() { (($(df -Pk "$WORK" | awk 'NR == 2 {print $4}') >= $1 * 1024)); }

# Bytes that one run of ours reads from files named NAME (opened by whole path or
# relative to a directory), as strace sees them.
bytes_read() {
  local dir=$1 name=$2
  strace -e trace=openat,read -o "$dir/strace.txt" "$ZEK" --batch "$dir/src/*.*" "$dir/tgt/" >/dev/null || true
  awk -v name="/$name\"" -v bare="\"$name\"" '
    /^openat\(/ && (index($0, name) || index($0, bare)) && $NF ~ /^[0-9]+$/ {fd[$NF] = 1}
    /^read\(/ {split(substr($0, 6), a, ","); if ((a[1] in fd) && $NF ~ /^[0-9]+$/) sum += $NF}
    END {print sum + 0}' "$dir/strace.txt"
}

pair_set() {  # pair_set DIR SIZE
  "$MAKE_SETS" pair "$1" "$2"
  printf 'running...\nfinished.\nFiles total: 1\nNo differences found\n' >"$1/expected.txt"
}

if [[ $SETS == *A* || $SETS == *E* ]]; then
  need_space 2200 || die "set A needs 2.2 GB free in $WORK"
  A=$WORK/A
  pair_set "$A" $((1 << 30))
  if [[ $SETS == *A* ]]; then
    echo "Set A: two identical files of 1 GiB"
    if [[ $COLD == 1 ]]; then
      bench_set A "$A" 0 \
        '`cmp`' "cmp $A/src/big.bin $A/tgt/big.bin" 0 - \
        '`cat` (reading both files)' "cat $A/src/big.bin $A/tgt/big.bin" 0 1.0
    else
      bench_set A "$A" 0 \
        '`cmp`' "cmp $A/src/big.bin $A/tgt/big.bin" 0 - \
        '`cat` (reading both files)' "cat $A/src/big.bin $A/tgt/big.bin" 0 1.5 \
        'loop of 1 MiB reads and memcmp' "$READ_LIMIT --pair $A/src/big.bin $A/tgt/big.bin" 0 1.05
    fi
    manifest_set A "$A" 0
  fi
  if [[ $SETS == *E* ]]; then
    echo "Set E: set A with the target's first byte changed"
    "$MAKE_SETS" flip "$A"
    printf 'File %s and %s do not match.\nrunning...\nfinished.\nFiles total: 1\nFiles with differences: 1\nDifferences found.\n' \
      "$A/src/big.bin" "$A/tgt/big.bin" >"$A/expected.txt"
    bench_set E "$A" 1 '`cmp`' "cmp $A/src/big.bin $A/tgt/big.bin" 1 -
    if command -v strace >/dev/null; then
      read_bytes=$(bytes_read "$A" big.bin)
      echo "Set E: ours read $read_bytes bytes from the two files ($((read_bytes / BLOCK)) blocks of $BLOCK)"
      ((read_bytes > 0)) || die "set E: no read of the two files was seen, so nothing was counted"
      ((read_bytes <= 2 * 4 * BLOCK)) || die "set E read more than a few blocks"
    else
      echo "Set E: strace is missing, so the bytes read are not counted"
    fi
  fi
  rm -rf "$A"
fi

if [[ $SETS == *B* ]]; then
  need_space 1700 || die "set B needs 1.7 GB free in $WORK"
  B=$WORK/B
  echo "Set B: 20,000 files in 200 directories, 1% altered"
  "$MAKE_SETS" tree "$B" 20000
  if [[ $COLD == 1 ]]; then
    bench_set B "$B" 1 '`diff -rq`' "diff -rq $B/src $B/tgt" 1 0.45 \
      'read limit, 16 readers' "$READ_LIMIT 16 $B/src $B/tgt" 0 1.25 \
      'ours `--from-disk`' "$ZEK --batch --from-disk '$B/src/*.*' $B/tgt/" 1 /1.2
  else
    # The JSON Lines report may cost at most 15 % over the same run without it.
    bench_set B "$B" 1 '`diff -rq`' "diff -rq $B/src $B/tgt" 1 0.8 \
      'ours `--report`' "$ZEK --batch --report $WORK/report.jsonl '$B/src/*.*' $B/tgt/" 1 /1.15
    jq -e -s 'length == 20002 and .[-1].type == "end"' "$WORK/report.jsonl" >/dev/null ||
      die "set B: the report does not hold a record for each of its 20,000 files"
  fi
  manifest_set B "$B" 1
  rm -rf "$B"
  echo "Set B with 3,000 files: memory must not grow with the number of files"
  "$MAKE_SETS" tree "$B" 3000
  warm "$B"
  peak=$(peak_kb "$B" 1)
  echo "B 3,000 files|-|-|-|-|$peak" >>"$RESULTS"
  rm -rf "$B"
fi

# Set S: set B's target on a simulated spinning disk (bench/spinning_disk.cpp,
# 8 ms across the disk, 150 MB/s, one request at a time) through a loop device
# with direct I/O and ext4, the source on this machine's own disk.
if [[ $SETS == *S* ]]; then
  if ! pkg-config --exists fuse3 || [[ ! -e /dev/fuse ]] || ! command -v mkfs.ext4 >/dev/null; then
    echo "Set S: skipped, it needs FUSE 3 (libfuse3-dev, /dev/fuse), losetup and mkfs.ext4"
  else
    need_space 2500 || die "set S needs 2.5 GB free in $WORK"
    S=$WORK/S
    echo "Set S: set B with its target on a simulated spinning disk"
    # shellcheck disable=SC2046  # pkg-config's flags are words
    g++ -O2 -std=c++20 -o "$WORK/spinning_disk" "$ROOT/bench/spinning_disk.cpp" $(pkg-config --cflags --libs fuse3)
    "$MAKE_SETS" tree "$S" 20000
    mv "$S/tgt" "$S/copy"
    mkdir "$S/tgt" "$S/image"
    truncate -s 2G "$S/disk.img"
    "$WORK/spinning_disk" "$S/disk.img" "$S/image" 8 150 2>"$S/disk.log" &
    for _ in $(seq 50); do [[ -e $S/image/disk.img ]] && break; sleep 0.1; done
    DISK_LOOP=$(losetup -f --show --direct-io=on "$S/image/disk.img") || die "set S: no loop device"
    # As the kernel sets up a USB hard disk: rotational, mq-deadline.
    echo 1 >"/sys/block/${DISK_LOOP#/dev/}/queue/rotational"
    echo mq-deadline >"/sys/block/${DISK_LOOP#/dev/}/queue/scheduler" 2>/dev/null || true
    mkfs.ext4 -q -F -E lazy_itable_init=0,lazy_journal_init=0 "$DISK_LOOP"
    mount "$DISK_LOOP" "$S/tgt"
    rmdir "$S/tgt/lost+found"
    cp -a "$S/copy/." "$S/tgt/"
    rm -rf "$S/copy"
    bench_set S "$S" 1 '`diff -rq`' "diff -rq $S/src $S/tgt" 1 0.5 \
      'the disk in physical order' "$READ_LIMIT --physical $S/tgt" 0 1.3
  fi
fi

if [[ $SETS == *C* ]]; then
  available_kb=$(awk '/MemAvailable/ {print $2}' /proc/meminfo)
  if ! need_space 8300; then
    echo "Set C: skipped, it needs 8.1 GB free in $WORK"
  elif ((available_kb < 10 * 1024 * 1024)); then
    echo "Set C: skipped, 8 GiB cannot stay in the page cache with $((available_kb / 1024)) MiB available"
  else
    echo "Set C: two identical files of 4 GiB + 1 byte"
    C=$WORK/C
    pair_set "$C" $(((1 << 32) + 1))
    bench_set C "$C" 0 '`cmp`' "cmp $C/src/big.bin $C/tgt/big.bin" 0 - \
      '`cat`' "cat $C/src/big.bin $C/tgt/big.bin" 0 1.5
    rm -rf "$C"
  fi
fi

if [[ $SETS == *D* ]]; then
  echo "Set D: a chain of 500 nested directories"
  D=$WORK/D
  "$MAKE_SETS" chain "$D" 500
  bench_set D "$D" 0 '`diff -rq`' "diff -rq $D/src $D/tgt" 0 "$([[ $COLD == 1 ]] && echo - || echo 1.0)"
  rm -rf "$D"
  # Deeper chains, ours alone (diff -rq does not reach their ends), page cache
  # warm: the time per level must stay flat as the depth grows.
  for depth in 500 5000 30000; do
    "$MAKE_SETS" chain "$D" "$depth"
    sync
    : >"$D/ours.times"
    for ((i = 0; i <= RUNS; i++)); do
      code=0
      t0=$EPOCHREALTIME
      "$ZEK" --batch "$D/src/*.*" "$D/tgt/" >"$D/out.txt" || code=$?
      t1=$EPOCHREALTIME
      check_ours "$D" 0 "$code"
      # The first run warms the cache.
      ((i == 0)) || awk -v a="$t0" -v b="$t1" 'BEGIN {printf "%.6f\n", b - a}' >>"$D/ours.times"
    done
    awk -v t="$(median <"$D/ours.times")" -v n="$depth" -v kb="$(peak_kb "$D" 0)" 'BEGIN {
      printf "Set D, a chain of %d directories: %.3f s, %.1f us per level, peak RSS %.1f MB\n", n, t, t / n * 1e6, kb * 1024 / 1e6
    }'
    rm -rf "$D"
  done
fi

# Sets F and T: empty files, as the walk is what they time; made once, small on disk.
if [[ $SETS == *F* ]]; then
  echo "Set F: 200,000 empty files in one directory"
  F=$WORK/F
  "$MAKE_SETS" flat "$F" 200000
  bench_set F "$F" 0 '`diff -rq`' "diff -rq $F/src $F/tgt" 0 0.8
  rm -rf "$F"
fi

if [[ $SETS == *T* ]]; then
  echo "Set T: 1,000,000 empty files in a tree, 1,000 to a directory"
  T=$WORK/T
  "$MAKE_SETS" wide "$T" 1000000
  bench_set T "$T" 0 '`diff -rq`' "diff -rq $T/src $T/tgt" 0 0.5
  rm -rf "$T"
fi

start_xvfb() {
  cmake --build "$BUILD" --target window_run >/dev/null
  rm -f "$WORK/display"
  # -displayfd picks a free display and writes its number once the server is ready.
  Xvfb -displayfd 3 -screen 0 1280x1024x24 -nolisten tcp 3>"$WORK/display" 2>"$WORK/xvfb.log" &
  XVFB_PID=$!
  for ((i = 0; i < 100; i++)); do
    [[ -s $WORK/display ]] && break
    sleep 0.1
  done
  [[ -s $WORK/display ]] || die "Xvfb did not start: $(cat "$WORK/xvfb.log")"
}

stop_xvfb() {
  kill "$XVFB_PID"
  wait "$XVFB_PID" 2>/dev/null || true
  XVFB_PID=""
}

# window_seconds DIR: one run through the window; prints the seconds from the
# press of Compare to the painted verdict.
window_seconds() {
  local dir=$1
  DISPLAY=:$(cat "$WORK/display") QT_QPA_PLATFORM=xcb "$BUILD/window_run" "$dir/src/*.*" "$dir/tgt/" \
    >"$dir/out.txt" 2>"$dir/err.txt" || die "window_run failed: $(cat "$dir/err.txt")"
  check_ours "$dir" 0 0
  awk '$1 == "seconds" {print $2}' "$dir/err.txt"
}

if [[ $SETS == *W* ]]; then
  if [[ $GUI != ON ]]; then
    echo "Set W: skipped, this build has no windows"
  elif ! command -v Xvfb >/dev/null; then
    echo "Set W: skipped, Xvfb is missing (apt-get install xvfb)"
  else
    need_space 1700 || die "set W needs 1.7 GB free in $WORK"
    echo "Set W: set B compared in the window under Xvfb, against the batch run"
    start_xvfb
    W=$WORK/W
    "$MAKE_SETS" tree "$W" 20000
    warm "$W"
    window_seconds "$W" >/dev/null
    "$ZEK" --batch "$W/src/*.*" "$W/tgt/" >/dev/null || true
    : >"$W/window.times"
    : >"$W/batch.times"
    for ((i = 0; i < RUNS; i++)); do
      window_seconds "$W" >>"$W/window.times"
      code=0
      t0=$EPOCHREALTIME
      "$ZEK" --batch "$W/src/*.*" "$W/tgt/" >"$W/out.txt" || code=$?
      t1=$EPOCHREALTIME
      check_ours "$W" 1 "$code"
      awk -v a="$t0" -v b="$t1" 'BEGIN {printf "%.6f\n", b - a}' >>"$W/batch.times"
    done
    echo "W|ours in the window vs \`zek32 --batch\`|$(median <"$W/window.times")|$(median <"$W/batch.times")|1.15|-" >>"$RESULTS"
    stop_xvfb
    rm -rf "$W"
  fi
fi

if [[ $SETS == *M* ]]; then
  if [[ $GUI != ON ]]; then
    echo "Set M: skipped, this build has no windows"
  elif ! command -v Xvfb >/dev/null; then
    echo "Set M: skipped, Xvfb is missing (apt-get install xvfb)"
  else
    echo "Set M: a million lines in the window under Xvfb, against the batch run"
    start_xvfb
    M=$WORK/M
    mkdir -p "$M/src" "$M/tgt"
    for ((i = 0; i < 102; i++)); do
      head -c 10000 /dev/zero >"$M/src/f$i"
      head -c 10000 /dev/zero | tr '\0' '\377' >"$M/tgt/f$i"
      touch -d @1700000000 "$M/src/f$i" "$M/tgt/f$i"
    done
    : >"$M/window.times"
    : >"$M/batch.times"
    : >"$M/select.times"
    for ((i = 0; i <= RUNS; i++)); do
      DISPLAY=:$(cat "$WORK/display") QT_QPA_PLATFORM=xcb \
        "$BUILD/window_run" --differ-at "$M/src/*.*" "$M/tgt/" >"$M/window.txt" 2>"$M/err.txt" ||
        die "window_run failed: $(cat "$M/err.txt")"
      code=0
      /usr/bin/time -v -o "$M/batch.mem" "$ZEK" --batch -o MsgDifferAt=1 -o StopAfterBytes=10000 \
        "$M/src/*.*" "$M/tgt/" >"$M/batch.txt" || code=$?
      [[ $code -eq 1 ]] || die "ours exited with $code instead of 1 on $M"
      cmp -s "$M/window.txt" "$M/batch.txt" || die "the window showed other lines than batch mode printed on $M"
      # The first round warms the cache.
      ((i == 0)) && continue
      awk '$1 == "seconds" {print $2}' "$M/err.txt" >>"$M/window.times"
      awk '$1 == "select_all" {s = $2} $1 == "copy" {c = $2} END {print s + c}' "$M/err.txt" >>"$M/select.times"
      awk -F': ' '/Elapsed \(wall clock\)/ {n = split($2, p, ":"); print p[n] + (n > 1 ? p[n - 1] * 60 : 0)}' \
        "$M/batch.mem" >>"$M/batch.times"
    done
    lines=$(wc -l <"$M/batch.txt")
    # The window's peak up to Ctrl+C; a paste into another program puts the copied text together once more.
    window_kb=$(awk '$1 == "peak_kb" {print $2}' "$M/err.txt")
    batch_kb=$(awk -F': ' '/Maximum resident set size/ {print $2}' "$M/batch.mem")
    echo "M|$lines lines in the window vs \`zek32 --batch\`|$(median <"$M/window.times")|$(median <"$M/batch.times")|1.5|-" >>"$RESULTS"
    awk -v w="$window_kb" -v b="$batch_kb" -v s="$(median <"$M/select.times")" -v n="$lines" 'BEGIN {
      d = (w - b) * 1024 / 1e6
      printf "Set M, %d lines: peak RSS %.1f MB in the window, %.1f MB in batch mode, %.1f MB more (goal: under 200 MB: %s);", n, w * 1024 / 1e6, b * 1024 / 1e6, d, d < 200 ? "met" : "NOT met"
      printf " Ctrl+A and Ctrl+C %.3f s (goal: within 2 s: %s)\n", s, s <= 2 ? "met" : "NOT met"
    }'
    stop_xvfb
    rm -rf "$M"
  fi
fi

echo
echo "$(nproc) cores, $(awk -F': ' '/model name/ {print $2; exit}' /proc/cpuinfo); medians of $RUNS runs, page cache $([[ $COLD == 1 ]] && echo "dropped before every run" || echo warm)"
echo
echo "| Set | Peer | Ours (s) | Peer (s) | Ours / peer | Goal | Ours' peak RSS |"
echo "|---|---|---|---|---|---|---|"
while IFS='|' read -r set peer ours peerTime goal peak; do
  awk -v set="$set" -v peer="$peer" -v ours="$ours" -v p="$peerTime" -v goal="$goal" -v peak="$peak" 'BEGIN {
    mb = peak == "-" ? "" : sprintf("%.1f MB%s", peak * 1024 / 1e6, peak * 1024 < 20e6 ? "" : " (goal: under 20 MB)")
    if (peer == "-") { printf "| %s | | | | | | %s |\n", set, mb; exit }
    ratio = ours / p
    if (substr(goal, 1, 1) == "/") {
      limit = substr(goal, 2) + 0
      verdict = sprintf("peer / ours %.2f <= %s: %s", p / ours, limit, p / ours <= limit ? "met" : "NOT met")
    } else {
      verdict = goal == "-" ? "" : sprintf("<= %s: %s", goal, ratio <= goal + 0 ? "met" : "NOT met")
    }
    printf "| %s | %s | %.3f | %.3f | %.2f | %s | %s |\n", set, peer, ours, p, ratio, verdict, mb
  }'
done <"$RESULTS"
