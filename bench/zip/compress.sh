#!/bin/bash
# Compression benchmark: builds a corpus (mixed real files from /usr/share and
# /usr/lib, many small files, optionally one large file), compresses each part
# with zip -6, zip -9, 7z (zip format, default level, one thread), 7z
# multi-threaded at levels 6 and 9 (`7z a -tzip -mmt=on -mx=N`), bsdtar (zip
# by suffix) and with our engine through `arkzip add` at levels 6 and 9, and
# prints the times, CPU time, the most threads each tool ran at once
# (sampled), archive sizes, peak memory and the ratios against zip and
# against the fastest peer at the same level. Every archive is checked with
# `unzip -tq`.
#
# Usage: bench/zip/compress.sh [--arkzip PATH] [--work DIR] [--mixed-mb N]
#                              [--small-count N] [--big-mb N] [--keep]
# Defaults: build/bin/arkzip, a fresh folder under /tmp, 200 MB mixed,
# 100000 small files, no large file (--big-mb 1024 adds a 1 GB one).
set -euo pipefail

here=$(cd "$(dirname "$0")" && pwd)
arkzip="$here/../../build/bin/arkzip"
work=""
mixed_mb=200
small_count=100000
big_mb=0
keep=0
while [ $# -gt 0 ]; do
  case "$1" in
    --arkzip) arkzip=$2; shift 2 ;;
    --work) work=$2; shift 2 ;;
    --mixed-mb) mixed_mb=$2; shift 2 ;;
    --small-count) small_count=$2; shift 2 ;;
    --big-mb) big_mb=$2; shift 2 ;;
    --keep) keep=1; shift ;;
    *) echo "unknown option $1" >&2; exit 2 ;;
  esac
done
arkzip=$(readlink -f "$arkzip")
[ -x "$arkzip" ] || { echo "arkzip not found at $arkzip (build it, or pass --arkzip)" >&2; exit 2; }
[ -n "$work" ] || work=$(mktemp -d /tmp/arkzip-bench.XXXXXX)
mkdir -p "$work"
work=$(readlink -f "$work")
[ "$keep" = 1 ] || trap 'rm -rf "$work"' EXIT
cd "$work"

# --- corpus -----------------------------------------------------------------
if [ ! -d mixed ]; then
  echo "building corpus in $work ..." >&2
  mkdir -p mixed
  # Regular, readable files of at most 32 MB, in a stable order, until the
  # wanted total is reached; copied with their relative paths.
  limit=$((mixed_mb * 1024 * 1024))
  find /usr/share /usr/lib -xdev -type f -readable -size -32M -printf '%s %p\n' 2>/dev/null |
    sort -k2 | awk -v limit="$limit" '{ if (total + $1 > limit) exit; total += $1; print substr($0, index($0, " ") + 1) }' |
    tar -cf - -T - 2>/dev/null | tar -xf - -C mixed || true
fi
if [ "$small_count" -gt 0 ] && [ ! -d small ]; then
  /usr/bin/python3 - "$small_count" <<'PY'
import os, random, sys
n = int(sys.argv[1])
rng = random.Random(7)
words = open('/usr/share/dict/words').read().split() if os.path.exists('/usr/share/dict/words') else \
    'archive entry folder deflate header central directory the of and zip data file name size time'.split()
for i in range(n):
    d = 'small/d%03d' % (i // 1000)
    if i % 1000 == 0: os.makedirs(d, exist_ok=True)
    with open('%s/f%05d.txt' % (d, i), 'w') as f:
        f.write(' '.join(rng.choice(words) for _ in range(rng.randint(5, 300))))
PY
fi
if [ "$big_mb" -gt 0 ] && [ ! -f big/big.bin ]; then
  mkdir -p big
  # Real data repeated with a changing prefix, so it is not trivially small.
  { find mixed -type f | head -2000 | xargs cat | head -c $((64 * 1024 * 1024)) > seed.bin; } || true
  { for i in $(seq 1 $(( (big_mb + 63) / 64 ))); do echo "block $i"; cat seed.bin; done | head -c $((big_mb * 1024 * 1024)) > big/big.bin; } || true
  rm -f seed.bin
fi

# --- runs -------------------------------------------------------------------
# The most threads the process tree under PID runs at once, sampled every
# 20 ms until it ends; written to FILE.
sample_threads() {
  local pid=$1 file=$2 peak=0 n
  descendants() { local p; for p in $(pgrep -P "$1" 2>/dev/null); do echo "$p"; descendants "$p"; done; }
  while kill -0 "$pid" 2>/dev/null; do
    n=0
    for p in $(descendants "$pid"); do
      n=$((n + $(ls "/proc/$p/task" 2>/dev/null | wc -l)))
    done
    [ "$n" -gt "$peak" ] && peak=$n
    sleep 0.02
  done
  echo "$peak" >"$file"
}
# run NAME CORPUS COMMAND...: time (s), CPU (s), threads, size (bytes), peak RSS (KB)
declare -A T C P S M
run() {
  local name=$1 corpus=$2; shift 2
  local out="$work/out-$name-$corpus.zip"
  rm -f "$out"
  sync
  local start end pid
  start=$(date +%s.%N)
  ( cd "$work/$corpus" && exec /usr/bin/time -f '%M %U %S' -o "$work/rss" "$@" "$out" >/dev/null 2>"$work/err" ) &
  pid=$!
  sample_threads "$pid" "$work/threads" &
  wait "$pid" || { echo "$name on $corpus failed:" >&2; tail -3 "$work/err" >&2; }
  wait
  end=$(date +%s.%N)
  T[$name,$corpus]=$(awk -v a="$start" -v b="$end" 'BEGIN { printf "%.2f", b - a }')
  S[$name,$corpus]=$(stat -c %s "$out" 2>/dev/null || echo 0)
  M[$name,$corpus]=$(tail -1 "$work/rss" 2>/dev/null | awk '{ print $1 }')
  C[$name,$corpus]=$(tail -1 "$work/rss" 2>/dev/null | awk '{ printf "%.2f", $2 + $3 }')
  # The sampled count holds the wrapper shell too (one thread); a tool
  # faster than the sampling shows at least 1.
  P[$name,$corpus]=$(awk -v n="$(cat "$work/threads" 2>/dev/null || echo 0)" 'BEGIN { n -= 2; print (n < 1 ? 1 : n) }')
  if ! unzip -tq "$out" >/dev/null 2>&1; then echo "WARNING: unzip -t fails on $name/$corpus" >&2; fi
  rm -f "$out"
}
# The tools take the archive last, so each gets a small wrapper.
zip6() { zip -q -r -6 "$1" . ; }
zip9() { zip -q -r -9 "$1" . ; }
sevenz() { 7z a -tzip -mmt=off -bd "$1" . ; }
sevenz6mt() { 7z a -tzip -mmt=on -mx=6 -bd "$1" . ; }
sevenz9mt() { 7z a -tzip -mmt=on -mx=9 -bd "$1" . ; }
bsd() { bsdtar -a -cf "$1" . ; }
ark6() { "$arkzip" add "$1" --level 6 --recurse --dirnames . ; }
ark9() { "$arkzip" add "$1" --level 9 --recurse --dirnames . ; }
export -f zip6 zip9 sevenz sevenz6mt sevenz9mt bsd ark6 ark9
export arkzip

corpora=(mixed)
[ -d small ] && corpora+=(small)
[ -f big/big.bin ] && corpora+=(big)
tools=(zip6 zip9 sevenz sevenz6mt sevenz9mt bsd ark6 ark9)
for c in "${corpora[@]}"; do
  for t in "${tools[@]}"; do
    case $t in sevenz*) command -v 7z >/dev/null 2>&1 || continue ;; esac
    run "$t" "$c" bash -c "$t \"\$0\""
  done
done

# --- report -----------------------------------------------------------------
echo
echo "$(nproc) processor(s) on this machine; threads = most threads the tool ran at once (sampled)"
printf '%-7s %-10s %9s %9s %8s %14s %10s\n' corpus tool "time s" "cpu s" threads "size bytes" "peak MB"
for c in "${corpora[@]}"; do
  files=$(find "$c" -type f | wc -l); bytes=$(du -sb "$c" | cut -f1)
  echo "# $c: $files files, $bytes bytes"
  for t in "${tools[@]}"; do
    [ -n "${T[$t,$c]:-}" ] || continue
    printf '%-7s %-10s %9s %9s %8s %14s %10s\n' "$c" "$t" "${T[$t,$c]}" "${C[$t,$c]}" "${P[$t,$c]}" "${S[$t,$c]}" \
      "$(( ${M[$t,$c]:-0} / 1024 ))"
  done
done
echo
echo "ratios (zip time / our time: above 1 means faster; our size / zip size):"
for c in "${corpora[@]}"; do
  for l in 6 9; do
    awk -v c="$c" -v l="$l" -v zt="${T[zip$l,$c]}" -v at="${T[ark$l,$c]}" -v zs="${S[zip$l,$c]}" -v as="${S[ark$l,$c]}" \
      'BEGIN { printf "%-6s level %d: speed x%.2f  size %.4f\n", c, l, (at > 0 ? zt / at : 0), (zs > 0 ? as / zs : 0) }'
  done
done
echo
echo "against the fastest peer at the same level (zip -N or 7z -mmt=on -mx=N; time ratio above 1 means we are faster):"
for c in "${corpora[@]}"; do
  for l in 6 9; do
    best=zip$l
    mt=sevenz${l}mt
    if [ -n "${T[$mt,$c]:-}" ] && awk -v a="${T[$mt,$c]}" -v b="${T[zip$l,$c]}" 'BEGIN { exit !(a < b) }'; then best=$mt; fi
    awk -v c="$c" -v l="$l" -v b="$best" -v bt="${T[$best,$c]}" -v bp="${P[$best,$c]}" -v at="${T[ark$l,$c]}" \
      -v ap="${P[ark$l,$c]}" -v bs="${S[$best,$c]}" -v as="${S[ark$l,$c]}" \
      'BEGIN { printf "%-6s level %d: best peer %s (%s threads) %.2f s, ours (%s threads) %.2f s: speed x%.2f  size %.4f\n", c, l, b, bp, bt, ap, at, (at > 0 ? bt / at : 0), (bs > 0 ? as / bs : 0) }'
  done
done
