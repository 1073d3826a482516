#!/bin/sh
# Makes the sample files (an RTF letter, a JPEG, an animated GIF with
# ImageMagick) and takes the editor and image viewer pictures under a
# virtual display into docs/screenshots/. Run from the repository root after
# building: tests/viewers/widgets/screenshots.sh
set -e
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
cat > "$work/letter.rtf" <<'RTF'
{\rtf1\ansi\ansicpg1252\deff0{\fonttbl{\f0\fswiss DejaVu Sans;}{\f1\fmodern DejaVu Sans Mono;}}
{\colortbl ;\red0\green80\blue160;\red160\green0\blue0;}
\pard\qc{\fs32\b\cf1 Release notes}\par
\pard{\fs20 This archive holds the program and its }{\fs20\i manual}{\fs20 . Unpack the whole archive into an empty folder before you start the installer.}\par
{\fs20\b Contents of the archive:}\par
{\f1\fs18\tab setup.exe\tab the installer\par\tab readme.txt\tab this text\par}
{\fs20\cf2\ul Do not run setup.exe from inside the archive.}{\fs20  Caf\'e9 na\'efve \u8364? 20.}\par
}
RTF
convert -seed 7 -size 480x320 plasma:fractal -blur 0x1 -quality 90 "$work/picture.jpg"
convert -size 160x120 xc:'#204080' -fill '#f0c020' -draw 'circle 50,60 50,20' \
        \( -size 160x120 xc:'#208040' -fill '#f0f0f0' -draw 'rectangle 60,20 140,100' \) \
        \( -size 160x120 xc:'#802020' -fill '#80e0ff' -draw 'polygon 80,10 150,110 10,110' \) \
        -set delay 100 -loop 0 "$work/animation.gif"
xvfb-run -a -s "-screen 0 1024x768x24" build/bin/arkelin_viewers_screenshots docs/screenshots \
  "$work/letter.rtf" "$work/picture.jpg" "$work/animation.gif"
ls -l docs/screenshots
