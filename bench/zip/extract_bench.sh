#!/bin/bash
# Extract and test speed of our engine (arkzip over TZipMaster and
# libunzdll.so) against unzip, 7z and bsdtar on one generated corpus, in one
# run; prints seconds and the ratio peer time / our time (above 1 = we are
# faster).
#
# Usage: extract_bench.sh BIN_DIR [WORK_DIR]
# Sizes through the environment:
#   MIXED_MB     mixed real files copied from /usr/share and /usr/lib (200)
#   SMALL_FILES  number of small generated files (100000)
#   BIG_MB       one large file of semi-compressible data, 0 for none (0)
#   QUICK=1      a small corpus (20 MB, 5000 small files) for a fast check
set -euo pipefail

BIN=${1:?usage: extract_bench.sh BIN_DIR [WORK_DIR]}
WORK=${2:-$(mktemp -d /tmp/arkelin-extract-bench.XXXXXX)}
if [[ "${QUICK:-0}" == 1 ]]; then
  MIXED_MB=${MIXED_MB:-20}; SMALL_FILES=${SMALL_FILES:-5000}; BIG_MB=${BIG_MB:-0}
else
  MIXED_MB=${MIXED_MB:-200}; SMALL_FILES=${SMALL_FILES:-100000}; BIG_MB=${BIG_MB:-0}
fi
ARKZIP="$BIN/arkzip"
[[ -x "$ARKZIP" && -f "$BIN/libunzdll.so" ]] || { echo "needs $ARKZIP and $BIN/libunzdll.so"; exit 2; }

CORPUS="$WORK/corpus"
ARCHIVE="$WORK/corpus.zip"
stamp="$WORK/.corpus-$MIXED_MB-$SMALL_FILES-$BIG_MB"
if [[ ! -f "$stamp" ]]; then
  echo "Generating the corpus in $CORPUS ($MIXED_MB MB mixed, $SMALL_FILES small files, $BIG_MB MB big file)..."
  rm -rf "$CORPUS" "$ARCHIVE"; mkdir -p "$CORPUS/mixed" "$CORPUS/small"
  # Mixed real files: regular, readable, up to 8 MB each, until the budget is used.
  budget=$((MIXED_MB * 1024 * 1024)); used=0; n=0
  while IFS= read -r -d '' f; do
    s=$(stat -c %s "$f" 2>/dev/null || echo 0)
    (( s == 0 || s > 8388608 )) && continue
    (( used + s > budget )) && break
    d="$CORPUS/mixed/$((n / 500))"; mkdir -p "$d"
    cp "$f" "$d/$n-$(basename "$f")" 2>/dev/null || continue
    used=$((used + s)); n=$((n + 1))
  done < <(find /usr/share /usr/lib -type f -readable -print0 2>/dev/null)
  /usr/bin/python3 - "$CORPUS/small" "$SMALL_FILES" <<'PY'
import os, random, sys
root, count = sys.argv[1], int(sys.argv[2])
rng = random.Random(42)
words = [w.strip() for w in open('/usr/share/dict/words')] if os.path.exists('/usr/share/dict/words') else \
        ['alpha', 'beta', 'gamma', 'delta', 'archive', 'entry', 'folder', 'engine', 'data', 'block']
for i in range(count):
    d = os.path.join(root, str(i // 1000))
    if i % 1000 == 0: os.makedirs(d, exist_ok=True)
    with open(os.path.join(d, 'f%06d.txt' % i), 'w') as f:
        f.write(' '.join(rng.choice(words) for _ in range(rng.randint(5, 120))) + '\n')
PY
  if (( BIG_MB > 0 )); then
    /usr/bin/python3 -c "
import random,sys
r=random.Random(1); out=open('$CORPUS/big.bin','wb')
block=bytes(r.getrandbits(8)%16 for _ in range(1<<20))
for i in range($BIG_MB): out.write(block[i%7:]+block[:i%7])"
  fi
  (cd "$CORPUS" && zip -q -r -6 "$ARCHIVE" .)
  touch "$stamp"
fi
files=$(find "$CORPUS" -type f | wc -l)
echo "Corpus: $(du -sm "$CORPUS" | cut -f1) MB in $files files; archive $(du -sm "$ARCHIVE" | cut -f1) MB"

# Seconds for one command, the output folder emptied before and after.
OUT="$WORK/out"
rm -f "$WORK/.failed"
run() {
  rm -rf "$OUT"; mkdir -p "$OUT"; sync
  local t0 t1
  t0=$(date +%s.%N)
  "$@" >/dev/null 2>&1 || { echo "FAILED: $*" >&2; touch "$WORK/.failed"; }
  t1=$(date +%s.%N)
  echo "$t0 $t1" | awk '{printf "%.2f", $2 - $1}'
}

ours_x=$(run "$ARKZIP" extract "$ARCHIVE" --dir "$OUT" --dirnames --overwrite)
ours_files=$(find "$OUT" -type f | wc -l)
[[ "$ours_files" == "$files" ]] || echo "WARNING: ours extracted $ours_files of $files files"
unzip_x=$(run unzip -qo "$ARCHIVE" -d "$OUT")
sz_x=$(run 7z x -y -o"$OUT" "$ARCHIVE")
bsd_x=$(run bsdtar -xf "$ARCHIVE" -C "$OUT")
cp_x=$(run cp -r "$CORPUS/." "$OUT/")
# Ours again, last: the slower of the two runs counts, so that the order of
# the runs (page cache, write-back of the earlier runs) cannot flatter us.
ours_x2=$(run "$ARKZIP" extract "$ARCHIVE" --dir "$OUT" --dirnames --overwrite)
ours_x=$(awk -v a="$ours_x" -v b="$ours_x2" 'BEGIN { print (a > b ? a : b) }')

ours_t=$(run "$ARKZIP" test "$ARCHIVE")
unzip_t=$(run unzip -tq "$ARCHIVE")
sz_t=$(run 7z t "$ARCHIVE")
bsd_t=$(run sh -c "bsdtar -xOf '$ARCHIVE' >/dev/null")
ours_t2=$(run "$ARKZIP" test "$ARCHIVE")
ours_t=$(awk -v a="$ours_t" -v b="$ours_t2" 'BEGIN { print (a > b ? a : b) }')
rm -rf "$OUT"

ratio() { awk -v p="$1" -v o="$2" 'BEGIN { if (o > 0) printf "%.2f", p / o; else print "-" }'; }
[[ ! -e "$WORK/.failed" ]] || echo "WARNING: a run failed; its time means nothing"
printf "\n%-10s %10s %10s\n" "extract" "seconds" "peer/ours"
printf "%-10s %10s %10s\n" ours "$ours_x" 1.00
printf "%-10s %10s %10s\n" unzip "$unzip_x" "$(ratio "$unzip_x" "$ours_x")"
printf "%-10s %10s %10s\n" 7z "$sz_x" "$(ratio "$sz_x" "$ours_x")"
printf "%-10s %10s %10s\n" bsdtar "$bsd_x" "$(ratio "$bsd_x" "$ours_x")"
printf "%-10s %10s %10s\n" "cp -r" "$cp_x" "$(ratio "$cp_x" "$ours_x")"
printf "\n%-10s %10s %10s\n" "test" "seconds" "peer/ours"
printf "%-10s %10s %10s\n" ours "$ours_t" 1.00
printf "%-10s %10s %10s\n" "unzip -t" "$unzip_t" "$(ratio "$unzip_t" "$ours_t")"
printf "%-10s %10s %10s\n" "7z t" "$sz_t" "$(ratio "$sz_t" "$ours_t")"
printf "%-10s %10s %10s\n" "bsdtar -xO" "$bsd_t" "$(ratio "$bsd_t" "$ours_t")"
echo "(work folder: $WORK; the corpus is kept for the next run)"
