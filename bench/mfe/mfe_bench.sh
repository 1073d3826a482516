#!/bin/bash
# Multiple file extraction of 20 archives of the mixed corpus (real files
# from /usr/share and /usr/lib, as bench/zip/extract_bench.sh makes it, cut
# into 20 folders and zipped with zip -6) against arkzip extract of the same
# archives in a loop; see MfeBench.cpp for what is timed.
#
# Usage: mfe_bench.sh BIN_DIR [WORK_DIR]
#   MIXED_MB  size of the corpus (100)    RUNS  runs per side (3)
set -euo pipefail
BIN=${1:?usage: mfe_bench.sh BIN_DIR [WORK_DIR]}
WORK=${2:-$(mktemp -d /tmp/arkelin-mfe-bench.XXXXXX)}
MIXED_MB=${MIXED_MB:-100}
RUNS=${RUNS:-3}
[[ -x "$BIN/bench_mfe" && -x "$BIN/arkzip" ]] || { echo "needs $BIN/bench_mfe and $BIN/arkzip"; exit 2; }
CORPUS="$WORK/corpus"; ARCH="$WORK/archives"
stamp="$WORK/.mfe-corpus-$MIXED_MB"
if [[ ! -f "$stamp" ]]; then
  echo "Generating the corpus ($MIXED_MB MB of real files in 20 folders)..."
  rm -rf "$CORPUS" "$ARCH"; mkdir -p "$CORPUS" "$ARCH"
  budget=$((MIXED_MB * 1024 * 1024)); used=0; n=0
  while IFS= read -r -d '' f; do
    s=$(stat -c %s "$f" 2>/dev/null || echo 0)
    (( s == 0 || s > 8388608 )) && continue
    (( used + s > budget )) && break
    d="$CORPUS/$(printf %02d $((n % 20)))/$((n / 400))"; mkdir -p "$d"
    cp "$f" "$d/$n-$(basename "$f")" 2>/dev/null || continue
    used=$((used + s)); n=$((n + 1))
  done < <(find /usr/share /usr/lib -type f -readable -print0 2>/dev/null)
  for d in "$CORPUS"/*/; do (cd "$d" && zip -q -r -6 "$ARCH/$(basename "$d").zip" .); done
  touch "$stamp"
fi
echo "Corpus: $(du -sm "$CORPUS" | cut -f1) MB in $(find "$CORPUS" -type f | wc -l) files; archives $(du -sm "$ARCH" | cut -f1) MB"
"$BIN/bench_mfe" "$ARCH" "$WORK/out" "$RUNS"
echo "(work folder: $WORK; the corpus is kept for the next run)"
