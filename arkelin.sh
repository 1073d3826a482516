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
    status=0
    (cd build && ctest --output-on-failure -j2 -LE fuzz) || status=1
    # The Debian package: built, validated, installed, run from /usr/bin and
    # removed again (the install part needs root).
    scripts/package-test.sh build || status=1
    # Then the whole suite again under AddressSanitizer and
    # UndefinedBehaviorSanitizer (a Debug build, without the benchmarks):
    # every test, window tests and fuzz smoke tests included, except the
    # one that writes an archive above 4 GiB. Leak reports inside system
    # libraries are left aside by cmake/sanitizers/lsan.supp.
    cmake -S . -B build-asan -G Ninja -DCMAKE_BUILD_TYPE=Debug -DARKELIN_SANITIZE=ON -DARKELIN_BENCH=OFF >/dev/null
    cmake --build build-asan
    (cd build-asan && ctest --output-on-failure -j2 -E 'Above4GiB') || status=1
    exit $status
    ;;
  *)
    echo "usage: $0 start [ARCHIVE] | test" >&2
    exit 2
    ;;
esac
