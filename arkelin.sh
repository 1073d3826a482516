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
    # Then again under AddressSanitizer and UndefinedBehaviorSanitizer: the
    # fuzz smoke tests of every parser of untrusted bytes and the tests of
    # the engines and of arkzip (ZIP and RAR reading, writing, extraction).
    # ARKELIN_SANITIZE_ALL=1 runs the whole suite there instead (about
    # three times the time of the plain suite).
    cmake -S . -B build-asan -G Ninja -DCMAKE_BUILD_TYPE=Debug -DARKELIN_SANITIZE=ON -DARKELIN_BENCH=OFF >/dev/null
    if [ "${ARKELIN_SANITIZE_ALL:-0}" = 1 ]; then
      cmake --build build-asan
      (cd build-asan && ctest --output-on-failure -j2 -E 'Above4GiB') || status=1
    else
      wanted=$(ninja -C build-asan -t targets all |
        sed -n 's/^\(\(arkelin_engine_\|arkelin_arkzip_\|Ark\|RAR\|Rar\)[A-Za-z0-9_]*\|[A-Za-z0-9_]*_smoke\): .*/\1/p' |
        grep -v '_autogen' | sort -u)
      cmake --build build-asan --target $wanted
      (cd build-asan && ctest --output-on-failure -j2 -L '^(fuzz|engine|arkzip)$' -E 'Above4GiB') || status=1
    fi
    exit $status
    ;;
  *)
    echo "usage: $0 start [ARCHIVE] | test" >&2
    exit 2
    ;;
esac
