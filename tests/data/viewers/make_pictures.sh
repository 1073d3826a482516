#!/bin/sh
# Makes the JPEG pictures of the viewer tests with ImageMagick (run in this
# folder; the results are committed). Four 64 x 64 quadrants, red, green,
# blue and white, so that a decode can be checked colour by colour.
set -e
convert -size 32x32 xc:'#ff0000' xc:'#00ff00' +append top.ppm
convert -size 32x32 xc:'#0000ff' xc:'#ffffff' +append bottom.ppm
convert top.ppm bottom.ppm -append quadrants.ppm
convert quadrants.ppm -quality 95 -strip quadrants.jpg
convert quadrants.ppm -quality 95 -interlace Plane -strip quadrants-progressive.jpg
convert quadrants.ppm -quality 95 -colorspace CMYK -strip quadrants-cmyk.jpg
convert quadrants.ppm -quality 95 -colorspace Gray -strip quadrants-gray.jpg
rm -f top.ppm bottom.ppm quadrants.ppm
# Damaged: the data ends before the first scan; and a Huffman table whose
# counts claim more codes than there are.
python3 - <<'PY'
data = open('quadrants.jpg', 'rb').read()
sos = data.index(b'\xff\xda')
open('damaged-truncated.jpg', 'wb').write(data[:sos])
dht = data.index(b'\xff\xc4')
bad = bytearray(data)
for i in range(dht + 5, dht + 5 + 16):
    bad[i] = 0xff
open('damaged-huffman.jpg', 'wb').write(bytes(bad))
PY
