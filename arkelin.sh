#!/usr/bin/env bash
# Sets up a Debian 12 machine for Arkelin, builds it, and then either starts
# the program or runs the whole test suite.
#
#   ./arkelin.sh start [ARCHIVE]   install what is missing, build, start
#   ./arkelin.sh test              install what is missing, build, run all tests
set -euo pipefail
here=$(cd "$(dirname "$0")" && pwd)
cd "$here"

install_packages() {
  local wanted missing=()
  wanted=$(grep -v '^\s*#' scripts/packages.txt | grep -v '^\s*$')
  for p in $wanted; do
    dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q 'install ok installed' || missing+=("$p")
  done
  if [ ${#missing[@]} -gt 0 ]; then
    local sudo=""
    [ "$(id -u)" -eq 0 ] || sudo=sudo
    echo "== installing: ${missing[*]}"
    $sudo apt-get update -q
    DEBIAN_FRONTEND=noninteractive $sudo apt-get install -y -q --no-install-recommends "${missing[@]}"
  fi
}

build() {
  cmake -S . -B build -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo >/dev/null
  cmake --build build
}

case "${1:-}" in
  start)
    shift
    install_packages
    build
    exec build/bin/arkelin "$@"
    ;;
  test)
    install_packages
    build
    export QT_QPA_PLATFORM=offscreen
    failed=()
    rm -f build/Testing/Temporary/LastTestsFailed.log build-asan/Testing/Temporary/LastTestsFailed.log
    (cd build && ctest --output-on-failure -j2 -LE fuzz) || failed+=("the suite in build/")
    # The Debian package: built, validated, installed, run from /usr/bin and
    # removed again (the install part needs root).
    scripts/package-test.sh build 2>&1 | tee build/package-test.log || failed+=("the package test")
    # Then the whole suite again under AddressSanitizer and
    # UndefinedBehaviorSanitizer (a Debug build, without the benchmarks):
    # every test, window tests and fuzz smoke tests included, except the
    # one that writes an archive above 4 GiB. Leak reports inside system
    # libraries are left aside by cmake/sanitizers/lsan.supp.
    cmake -S . -B build-asan -G Ninja -DCMAKE_BUILD_TYPE=Debug -DARKELIN_SANITIZE=ON -DARKELIN_BENCH=OFF >/dev/null
    cmake --build build-asan
    (cd build-asan && ctest --output-on-failure -j2 -E 'Above4GiB') || failed+=("the suite in build-asan/")
    # A long log is often read from its end: say there what failed.
    if [ ${#failed[@]} -gt 0 ]; then
      echo "== FAILED: ${failed[*]}"
      for dir in build build-asan; do
        log=$dir/Testing/Temporary/LastTestsFailed.log
        if [ -s "$log" ]; then echo "== failed tests in $dir/:"; cat "$log"; fi
      done
      grep '^package FAIL' build/package-test.log || true
      exit 1
    fi
    echo "== all passed"
    ;;
  *)
    echo "usage: $0 start [ARCHIVE] | test" >&2
    exit 2
    ;;
esac
