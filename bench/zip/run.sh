#!/bin/bash
# Every ZIP engine benchmark in one run: compression at levels 6 and 9 (ours
# against zip, 7z and bsdtar: time, archive size, peak memory), then
# extraction and testing (ours against unzip, 7z and bsdtar). Each part
# prints its ratios.
#
# Usage: bench/zip/run.sh [BIN_DIR]       (default: build/bin)
# Sizes through the environment, shared by both parts:
#   MIXED_MB     mixed real files from /usr/share and /usr/lib (200)
#   SMALL_FILES  number of small generated files (100000)
#   BIG_MB       one large file, 0 for none (1024)
#   QUICK=1      20 MB mixed, 5000 small files, no large file
set -euo pipefail
here=$(cd "$(dirname "$0")" && pwd)
bin=$(readlink -f "${1:-$here/../../build/bin}")
if [[ "${QUICK:-0}" == 1 ]]; then
  export MIXED_MB=${MIXED_MB:-20} SMALL_FILES=${SMALL_FILES:-5000} BIG_MB=${BIG_MB:-0}
else
  export MIXED_MB=${MIXED_MB:-200} SMALL_FILES=${SMALL_FILES:-100000} BIG_MB=${BIG_MB:-1024}
fi
echo "=== compression ($MIXED_MB MB mixed, $SMALL_FILES small files, $BIG_MB MB large file)"
"$here/compress.sh" --arkzip "$bin/arkzip" --mixed-mb "$MIXED_MB" --small-count "$SMALL_FILES" --big-mb "$BIG_MB"
echo
echo "=== extraction and test"
work=$(mktemp -d /tmp/arkelin-extract-bench.XXXXXX)
trap 'rm -rf "$work"' EXIT
"$here/extract_bench.sh" "$bin" "$work"
