#!/usr/bin/env bash
# Recording from Aravis's simulated GigE Vision camera (512 x 512 Mono8) at FPS frames a
# second for SECONDS into each FOLDER: `qynconvert record` (BMP files, frames.csv) and,
# on the same camera right after it, GStreamer's own `multifilesink` (raw frames, no
# index). For each: frames written, the rate, CPU time in per cent of one core, what the
# index says was lost, and what was really lost: the simulated camera draws its frame
# number into its picture (pixel (0,0) is the number modulo 255 at its default gain and
# exposure), so gaps in those numbers are frames the camera sent and the recording lacks.
#
#   bench/bench_record_camera.sh [path/to/qynconvert] [SECONDS] [FPS] [FOLDER ...]
#                                (default: build/app/qynconvert 30 300 /dev/shm /var/tmp)
#
# As root it runs in a network namespace of its own (the camera on its loopback, no
# other simulated camera in the way) and without CAP_NET_RAW, with which Aravis would
# read the stream through a raw socket that sees nothing on a loopback interface.
#
# qynsample and qynconvert ask for a 64 MiB socket buffer for each camera stream;
# multifilesink's aravissrc gets the system's default (net.core.rmem_default). To give it
# a larger one for the run, as root: QYN_BENCH_RMEM_DEFAULT=BYTES (up to
# net.core.rmem_max; the old value is put back at the end).
set -euo pipefail
if [[ $EUID -eq 0 && -z "${QYN_BENCH_NETNS:-}" ]]; then
  export QYN_BENCH_NETNS=1
  if [[ -n "${QYN_BENCH_RMEM_DEFAULT:-}" ]]; then
    old="$(sysctl -n net.core.rmem_default)"
    trap 'sysctl -q -w net.core.rmem_default="$old"' EXIT
    sysctl -q -w net.core.rmem_default="$QYN_BENCH_RMEM_DEFAULT"
  fi
  unshare -n bash -c 'ip link set lo up && exec setpriv --bounding-set=-net_raw --inh-caps=-net_raw "$0" "$@"' "$0" "$@"
  exit
fi
qynconvert="$(realpath "${1:-build/app/qynconvert}")"
seconds="${2:-30}"
fps="${3:-300}"
shift $(($# < 3 ? $# : 3))
folders=("$@")
((${#folders[@]})) || folders=(/dev/shm /var/tmp)

serial="RECB$$"
camera="Aravis-Fake-$serial"
arv-fake-gv-camera-0.8 -i 127.0.0.1 -s "$serial" >/dev/null 2>&1 &
simulator=$!
work="$(mktemp -d)"
trap 'kill $simulator 2>/dev/null; rm -rf "$work"' EXIT
for ((i = 0; i < 100; ++i)); do
  arv-tool-0.8 -n "$camera" control Width=512 Height=512 >/dev/null 2>&1 && break
  sleep 0.1
done
caps="video/x-raw,format=GRAY8,framerate=$fps/1"
cat >"$work/camera.ini" <<EOF
[video]
source = aravissrc camera-name=$camera ! $caps
format = gray8
timeout_ms = 3000
warmup_frames = 0
EOF

# Counts the frames in FOLDER (numbered files, the frame at OFFSET of each) and the gaps in
# the camera's own numbers; with an index, what it says was lost.
check() {
  /usr/bin/python3 - "$@" <<'EOF'
import csv, os, struct, sys
folder, kind = sys.argv[1], sys.argv[2]
names = sorted(n for n in os.listdir(folder) if n.endswith('.' + kind))
def first_pixel(path):
    with open(path, 'rb') as f:
        data = f.read()
    if kind == 'bmp':  # bottom-up rows: the top row is the last one
        offset, = struct.unpack_from('<I', data, 10)
        width, height = struct.unpack_from('<ii', data, 18)
        return data[offset + (abs(height) - 1) * ((width + 3) & ~3)] if height > 0 else data[offset]
    return data[0]
gaps, previous = 0, None
for name in names:
    value = first_pixel(os.path.join(folder, name))
    if previous is not None:
        gaps += (value - previous) % 255 - 1
    previous = value
index = os.path.join(folder, 'frames.csv')
said = '-'
if os.path.exists(index):
    rows = list(csv.DictReader(open(index)))
    said = sum(int(r['lost_before']) for r in rows)
    assert len(rows) == len(names), f'{len(rows)} index rows for {len(names)} files'
print(len(names), gaps, said)
EOF
}

# Runs a command, prints "elapsed user system" seconds.
# (time's file starts with a line of its own when the command fails: qynconvert's exit 5
# says the index counts lost frames.)
timed() { /usr/bin/time -f '%e %U %S' -o "$work/time" "$@" >/dev/null 2>"$work/err" || true; tail -n 1 "$work/time"; }

printf '%-10s %-14s %7s %9s %7s %12s %12s\n' folder writer frames frames/s CPU% "lost(index)" "lost(camera)"
for folder in "${folders[@]}"; do
  out="$(mktemp -d "$folder/qyn-bench-record.XXXXXX")"
  read -r elapsed user system < <(timed "$qynconvert" record "$work/camera.ini" "$out/qyn" --seconds "$seconds" --quiet)
  read -r frames gaps said < <(check "$out/qyn" bmp)
  awk -v f="$folder" -v n="$frames" -v s="$seconds" -v u="$user" -v y="$system" -v e="$elapsed" -v i="$said" -v g="$gaps" \
    'BEGIN { printf "%-10s %-14s %7d %9.1f %7.1f %12s %12d\n", f, "qynconvert", n, n / s, 100 * (u + y) / e, i, g }'
  rm -rf "$out/qyn"
  mkdir "$out/gst"
  read -r elapsed user system < <(timed timeout -s INT "$seconds" gst-launch-1.0 -e \
    aravissrc camera-name="$camera" ! "$caps" ! multifilesink location="$out/gst/%06d.raw")
  read -r frames gaps said < <(check "$out/gst" raw)
  awk -v f="$folder" -v n="$frames" -v s="$seconds" -v u="$user" -v y="$system" -v e="$elapsed" -v i="$said" -v g="$gaps" \
    'BEGIN { printf "%-10s %-14s %7d %9.1f %7.1f %12s %12d\n", f, "multifilesink", n, n / s, 100 * (u + y) / e, i, g }'
  rm -rf "$out"
done
