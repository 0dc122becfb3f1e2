#!/usr/bin/env bash
# qynconvert's batch mode against a shell loop of single-file calls and an OpenCV loop:
# FILES 640x480 BMP files (default 1000) in FOLDER (default /dev/shm: the page cache, so
# the numbers are process start-up, decoding, converting and saving, with the sync of
# each save). KIND color turns gray files into colour, KIND gray colour files into gray
# (the default weights). Checks that every qynconvert way writes the same bytes.
#
#   bench/bench_batch.sh [path/to/qynconvert] [folder] [files] [color|gray]
set -euo pipefail
qynconvert="${1:-build/app/qynconvert}"
top="$(mktemp -d "${2:-/dev/shm}/qyn-bench-batch.XXXXXX")"
files="${3:-1000}"
kind="${4:-color}"
trap 'rm -rf "$top"' EXIT
mkdir "$top/in" "$top/loop" "$top/batch" "$top/batch1" "$top/opencv"
case "$kind" in
  color) bits=8 ;;
  gray) bits=24 ;;
  *) echo "KIND is color or gray" >&2; exit 2 ;;
esac

# One BMP (8-bit gray palette or 24-bit colour, a pattern in every row), copied under
# FILES names.
/usr/bin/python3 - "$top/in/f0000.bmp" "$bits" <<'PY'
import struct, sys
w, h, bits = 640, 480, int(sys.argv[2])
if bits == 8:
    palette = b"".join(bytes((i, i, i, 0)) for i in range(256))
    pixels = b"".join(bytes((x * 3 + y) & 255 for x in range(w)) for y in range(h))
else:
    palette = b""
    pixels = b"".join(bytes(((x * 3 + y) & 255, (x + 2 * y) & 255, (x * 5) & 255)[c]
                            for x in range(w) for c in range(3)) for y in range(h))
offset = 14 + 40 + len(palette)
header = b"BM" + struct.pack("<IHHI", offset + len(pixels), 0, 0, offset)
info = struct.pack("<IiiHHIIiiII", 40, w, h, 1, bits, 0, len(pixels), 2835, 2835, len(palette) // 4, 0)
open(sys.argv[1], "wb").write(header + info + palette + pixels)
PY
for ((i = 1; i < files; ++i)); do cp "$top/in/f0000.bmp" "$(printf '%s/in/f%04d.bmp' "$top" "$i")"; done
megabytes=$(du -smb "$top/in" | awk '{printf "%.1f", $1 / 1e6}')

rate() {  # name start-time
  awk -v n="$files" -v mb="$megabytes" -v from="$2" -v to="$(now)" -v what="$1" \
    'BEGIN { s = to - from; printf "  %-38s %7.2f s  %8.1f files/s  %7.1f MB/s\n", what, s, n / s, mb / s }'
}
now() { date +%s.%N; }

echo "$files ${bits}-bit 640x480 BMP files ($megabytes MB), qynconvert $kind, in $top; $(nproc) cores, load $(cut -d' ' -f1-3 /proc/loadavg)"
start=$(now)
for f in "$top"/in/*.bmp; do "$qynconvert" "$kind" "$f" "$top/loop/${f##*/}" >/dev/null; done
rate "shell loop of qynconvert $kind" "$start"
start=$(now)
"$qynconvert" "$kind" --batch "$top/in" "$top/batch1" --jobs 1 --quiet
rate "qynconvert $kind --batch --jobs 1" "$start"
start=$(now)
"$qynconvert" "$kind" --batch "$top/in" "$top/batch" --quiet
rate "qynconvert $kind --batch (all cores)" "$start"
# OpenCV's loop, built beside qynconvert's benchmarks (-DQYN_BUILD_BENCH=ON), when there.
opencv="$(dirname "$qynconvert")/../bench/bench_batch_opencv"
if [[ -x "$opencv" ]]; then
  start=$(now)
  "$opencv" "$kind" "$top/in" "$top/opencv"
  rate "OpenCV loop (imread, convert, imwrite)" "$start"
fi
diff -r "$top/loop" "$top/batch" >/dev/null && diff -r "$top/loop" "$top/batch1" >/dev/null \
  && echo "  outputs: the same bytes both ways" || { echo "  outputs differ"; exit 1; }
