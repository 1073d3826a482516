#!/usr/bin/env bash
# Builds the Debian package from build/, checks its desktop files, installs it
# for real (as root, with apt-get, which also brings its dependencies), runs
# the installed programs from /usr/bin and removes the package again. Also
# registers the desktop entry in a temporary prefix and asks xdg-mime which
# program opens ZIP archives there, and has the installed arkzip (from the
# prefix and from /usr/bin) make a self-extracting program that is run.
# One run at a time on a machine (a lock in /tmp): the install part touches
# /usr.
#
#   scripts/package-test.sh [BUILD_DIR]     (default: build)
#
# Prints "N passed, M failed" at the end and exits non-zero on any failure.
# Without root (or without apt-get) the install part is skipped and said so.
set -uo pipefail
exec 9>/tmp/arkelin-package-test.lock
flock -w 1800 9 || { echo "FAIL: another package test holds /tmp/arkelin-package-test.lock"; exit 1; }
here=$(cd "$(dirname "$0")/.." && pwd)
build=$(cd "${1:-$here/build}" && pwd)
work=$(mktemp -d /tmp/arkelin-package-test.XXXXXX)
passed=0
failed=0
failures=()
installed_here=0
cleanup() {
  if [ "$installed_here" -eq 1 ]; then
    DEBIAN_FRONTEND=noninteractive apt-get remove -y -q arkelin >/dev/null 2>&1 || true
  fi
  rm -rf "$work"
}
trap cleanup EXIT

ok() { echo "PASS: $1"; passed=$((passed + 1)); }
bad() { echo "FAIL: $1"; failed=$((failed + 1)); failures+=("$1"); }
check() {  # check NAME COMMAND...
  local name=$1; shift
  if "$@" >"$work/out.txt" 2>&1; then ok "$name"; else bad "$name"; sed 's/^/    /' "$work/out.txt"; fi
}

# sfx_check WHERE ARKZIP FOLDER: the installed arkzip makes a self-extracting
# program (with the stub from lib/arkelin), which runs with nothing in its
# environment, extracts the files as they were and passes unzip -t.
sfx_check() {
  local where=$1 arkzip=$2 d=$3
  mkdir -p "$d/src/sub" "$d/out"
  (cd "$d/src" && printf 'self-extracted\n' >one.txt && head -c 40000 /dev/urandom >sub/blob.bin \
     && : >sub/empty && zip -q -r ../s.zip one.txt sub)
  if "$arkzip" sfx "$d/s.zip" --caption "Packaged program" >"$work/out.txt" 2>&1 && [ -x "$d/s.exe" ]; then
    ok "arkzip sfx from $where"
  else
    bad "arkzip sfx from $where"; cat "$work/out.txt"; return
  fi
  (cd "$d" && env -i ./s.exe -y -d out) >"$work/out.txt" 2>&1 \
    && head -1 "$work/out.txt" | grep -qx "Packaged program" \
    && ok "self-extracting program from $where runs" || { bad "self-extracting program from $where runs"; cat "$work/out.txt"; }
  check "self-extracted files from $where equal the originals" diff -r "$d/src" "$d/out"
  check "unzip -t accepts the program from $where" unzip -tq "$d/s.exe"
}

app_id=org.tolvaren.Arkelin
pk="$here/packaging"

# ---- the desktop files ------------------------------------------------------------
check "desktop-file-validate" desktop-file-validate "$pk/$app_id.desktop"
check "appstreamcli validate" appstreamcli validate --no-net "$pk/$app_id.metainfo.xml"
check "MIME package is well-formed XML" python3 -c \
  'import sys, xml.dom.minidom; xml.dom.minidom.parse(sys.argv[1])' "$pk/arkelin-mime.xml"

# ---- associations in a temporary prefix ---------------------------------------------
prefix="$work/prefix"
if DESTDIR="" cmake --install "$build" --prefix "$prefix" >"$work/install.txt" 2>&1; then
  ok "cmake --install into a temporary prefix"
  for f in bin/arkelin bin/arkzip lib/arkelin/libzipdll.so lib/arkelin/libunzdll.so \
           lib/arkelin/ru2001.bin lib/arkelin/arkelin.dat \
           share/applications/$app_id.desktop share/metainfo/$app_id.metainfo.xml \
           share/mime/packages/arkelin.xml share/icons/hicolor/scalable/apps/arkelin.svg \
           share/icons/hicolor/48x48/apps/arkelin.png share/man/man1/arkzip.1; do
    [ -e "$prefix/$f" ] && ok "installed $f" || bad "installed $f"
  done
  update-desktop-database "$prefix/share/applications"
  update-mime-database "$prefix/share/mime" >/dev/null 2>&1
  # xdg-mime reads the associations of the given data folders; a fresh home
  # keeps the user's own choices out of it.
  mkdir -p "$work/home"
  answer=$(env -i PATH="$PATH" HOME="$work/home" XDG_DATA_HOME="$work/home/.local/share" \
             XDG_CONFIG_HOME="$work/home/.config" XDG_DATA_DIRS="$prefix/share" \
             xdg-mime query default application/zip 2>&1)
  if [ "$answer" = "$app_id.desktop" ]; then ok "xdg-mime default for application/zip"
  else bad "xdg-mime default for application/zip: '$answer'"; fi
  for t in application/vnd.rar application/x-arkelin-sfx; do
    grep -q "^$t=.*$app_id.desktop" "$prefix/share/applications/mimeinfo.cache" \
      && ok "mimeinfo.cache lists $t" || bad "mimeinfo.cache lists $t"
  done
  grep -q 'application/x-arkelin-sfx' "$prefix/share/mime/types" \
    && ok "MIME database knows application/x-arkelin-sfx" || bad "MIME database knows application/x-arkelin-sfx"
  # The installed tree runs from its prefix: the engine libraries are found in
  # ../lib/arkelin.
  mkdir -p "$work/p"
  (cd "$work/p" && echo prefixed >p.txt && zip -q p.zip p.txt && rm p.txt)
  "$prefix/bin/arkzip" extract "$work/p/p.zip" --dir "$work/p" >"$work/out.txt" 2>&1 \
    && [ "$(cat "$work/p/p.txt" 2>/dev/null)" = prefixed ] \
    && ok "arkzip from the prefix extracts" || { bad "arkzip from the prefix extracts"; cat "$work/out.txt"; }
  sfx_check "the prefix" "$prefix/bin/arkzip" "$work/ps"
  man1="$prefix/share/man/man1/arkzip.1"
  for c in sfx unsfx split join; do
    grep -q "^\.B arkzip $c\$" "$man1" && grep -q "^\.B $c\$" "$man1" \
      && ok "manual page documents arkzip $c" || bad "manual page documents arkzip $c"
  done
else
  bad "cmake --install into a temporary prefix"; cat "$work/install.txt"
fi

# ---- the Debian package ----------------------------------------------------------------
rm -f "$build"/arkelin_*.deb
if (cd "$build" && cpack -G DEB) >"$work/cpack.txt" 2>&1; then ok "cpack -G DEB"
else bad "cpack -G DEB"; cat "$work/cpack.txt"; fi
deb=$(ls "$build"/arkelin_*.deb 2>/dev/null | head -1)
if [ -n "$deb" ]; then
  depends=$(dpkg-deb -f "$deb" Depends)
  for d in libqt6widgets6 libc6 shared-mime-info; do
    case "$depends" in *"$d"*) ok "package depends on $d" ;; *) bad "package depends on $d ($depends)" ;; esac
  done
  contents=$(dpkg-deb -c "$deb")
  for f in ./usr/bin/arkelin ./usr/bin/arkzip ./usr/lib/arkelin/libunzdll.so ./usr/lib/arkelin/ru2001.bin \
           ./usr/lib/arkelin/arkelin.dat ./usr/share/applications/$app_id.desktop; do
    grep -q " $f\$" <<<"$contents" && ok "package holds $f" || bad "package holds $f"
  done
fi

if [ -n "$deb" ] && [ "$(id -u)" -eq 0 ] && command -v apt-get >/dev/null; then
  if dpkg-query -W -f='${Status}' arkelin 2>/dev/null | grep -q 'install ok installed'; then
    bad "arkelin was already installed before the test; not touching it"
  elif DEBIAN_FRONTEND=noninteractive apt-get install -y -q --no-install-recommends "$deb" >"$work/apt.txt" 2>&1; then
    installed_here=1
    ok "apt-get install ./arkelin.deb"
    # arkzip from /usr/bin on a test archive.
    mkdir -p "$work/a/src/docs" "$work/a/out"
    (cd "$work/a/src" && printf 'first\n' >one.txt && head -c 50000 /dev/urandom >docs/blob.bin \
       && zip -q -r ../test.zip one.txt docs)
    check "/usr/bin/arkzip list" /usr/bin/arkzip list "$work/a/test.zip"
    grep -q 'blob.bin' "$work/out.txt" || bad "/usr/bin/arkzip list names docs/blob.bin"
    check "/usr/bin/arkzip extract" /usr/bin/arkzip extract "$work/a/test.zip" --dir "$work/a/out" --dirnames
    check "extracted files equal the originals" diff -r "$work/a/src" "$work/a/out"
    check "/usr/bin/arkzip test" /usr/bin/arkzip test "$work/a/test.zip"
    sfx_check "/usr/bin" /usr/bin/arkzip "$work/s"
    # The window, offscreen, with the archive on its command line, and its
    # settings in the XDG folder (a save-layout setting makes it write at exit).
    cfg="$work/a/config"
    mkdir -p "$cfg/Arkelin"
    printf '[MISC]\nSAVELAYOUT=1\n' >"$cfg/Arkelin/Arkelin.ini"
    before=$(ls -A /usr/bin /usr/lib/arkelin | md5sum)
    env HOME="$work/a" XDG_CONFIG_HOME="$cfg" XDG_CACHE_HOME="$work/a/cache" \
        QT_QPA_PLATFORM=offscreen ARKELIN_SMOKE_REPORT="$work/a/report.txt" \
        timeout 60 /usr/bin/arkelin "$work/a/test.zip" >"$work/out.txt" 2>&1
    rc=$?
    [ $rc -eq 0 ] && ok "/usr/bin/arkelin starts and ends offscreen" || { bad "/usr/bin/arkelin exit $rc"; cat "$work/out.txt"; }
    grep -qx "title: .* - $work/a/test.zip" "$work/a/report.txt" 2>/dev/null \
      && ok "arkelin's title names the archive" || { bad "arkelin's title names the archive"; cat "$work/a/report.txt" 2>/dev/null; }
    grep -qx 'row: one.txt' "$work/a/report.txt" 2>/dev/null && grep -qx 'row: docs\\blob.bin' "$work/a/report.txt" \
      && ok "arkelin lists the archive's entries" || { bad "arkelin lists the archive's entries"; cat "$work/a/report.txt" 2>/dev/null; }
    grep -q '^\[LAYOUT\]' "$cfg/Arkelin/Arkelin.ini" \
      && ok "settings written to \$XDG_CONFIG_HOME/Arkelin/Arkelin.ini" \
      || { bad "settings written to \$XDG_CONFIG_HOME/Arkelin/Arkelin.ini"; cat "$cfg/Arkelin/Arkelin.ini"; }
    [ "$(ls -A /usr/bin /usr/lib/arkelin | md5sum)" = "$before" ] \
      && ok "nothing written beside /usr/bin or in /usr/lib/arkelin" || bad "nothing written beside /usr/bin or in /usr/lib/arkelin"
    if DEBIAN_FRONTEND=noninteractive apt-get remove -y -q arkelin >"$work/apt.txt" 2>&1; then
      installed_here=0
      [ ! -e /usr/bin/arkelin ] && [ ! -e /usr/lib/arkelin/libunzdll.so ] \
        && ok "apt-get remove arkelin" || bad "files left after apt-get remove"
    else
      bad "apt-get remove arkelin"; cat "$work/apt.txt"
    fi
  else
    bad "apt-get install ./arkelin.deb"; cat "$work/apt.txt"
  fi
else
  echo "SKIP: installing the package needs root and apt-get (not available yet on this machine)"
fi

echo "package: $passed passed, $failed failed"
for f in "${failures[@]}"; do echo "package FAIL: $f"; done
[ "$failed" -eq 0 ]
