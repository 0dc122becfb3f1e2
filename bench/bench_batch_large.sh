#!/usr/bin/env bash
# qynconvert's batch mode on large files against the file system's own copy rate: FILES
# (default 16) colour 8192x8192 24-bit BMP files (201 MB each) in FOLDER (default
# /dev/shm) turned gray by `qynconvert gray --batch`, next to `cp` of the same files
# into the same folder. Rates are of input bytes a second.
#
#   bench/bench_batch_large.sh [path/to/qynconvert] [folder] [files]
set -euo pipefail
qynconvert="${1:-build/app/qynconvert}"
top="$(mktemp -d "${2:-/dev/shm}/qyn-bench-large.XXXXXX")"
files="${3:-16}"
trap 'rm -rf "$top"' EXIT
mkdir "$top/in" "$top/gray" "$top/copy"

/usr/bin/python3 - "$top/in/f00.bmp" <<'PY'
import struct, sys
w = h = 8192
row = bytes((x * 7) & 255 for x in range(3 * w))
offset = 54
header = b"BM" + struct.pack("<IHHI", offset + len(row) * h, 0, 0, offset)
info = struct.pack("<IiiHHIIiiII", 40, w, h, 1, 24, 0, len(row) * h, 2835, 2835, 0, 0)
with open(sys.argv[1], "wb") as f:
    f.write(header + info)
    for y in range(h):
        f.write(row[y % 3:] + row[:y % 3])
PY
for ((i = 1; i < files; ++i)); do cp "$top/in/f00.bmp" "$(printf '%s/in/f%02d.bmp' "$top" "$i")"; done
megabytes=$(du -smb "$top/in" | awk '{printf "%.1f", $1 / 1e6}')
now() { date +%s.%N; }
rate() {
  awk -v mb="$megabytes" -v from="$2" -v to="$(now)" -v what="$1" \
    'BEGIN { s = to - from; printf "  %-40s %7.2f s  %8.1f MB/s\n", what, s, mb / s }'
}
echo "$files colour 8192x8192 BMP files ($megabytes MB) in $top; $(nproc) cores, load $(cut -d' ' -f1-3 /proc/loadavg)"
sync
start=$(now); cp "$top"/in/*.bmp "$top/copy/"; sync; rate "cp of the same files, then sync" "$start"
start=$(now); "$qynconvert" gray --batch "$top/in" "$top/gray" --quiet; rate "qynconvert gray --batch" "$start"
start=$(now); "$qynconvert" gray --batch "$top/in" "$top/gray" --overwrite --jobs 1 --quiet
rate "qynconvert gray --batch --jobs 1" "$start"
