#!/usr/bin/env bash
# scripts/convert-across.sh over three SSH machines on this computer (sshd on 127.0.0.2-4,
# started by tests/across/ssh_nodes.py) against one local `qynconvert color --batch` of
# the same FILES gray 640x480 BMP files (default 2000, in FOLDER, default /dev/shm) on the
# same cores: shares of 200, RUNS times each (default 5), taking turns, and one --transfer
# run (every file copied there and back by rsync). Then what a share and a run cost and
# what SSH adds to them: 40 shares of a 16x16 file against one, here (-S :) and over SSH.
# Checks that every way writes the same bytes.
#
#   bench/bench_across.sh [path/to/qynconvert] [folder] [files] [runs]
set -euo pipefail
here="$(cd "$(dirname "$0")/.." && pwd)"
qynconvert="$(realpath "${1:-build/app/qynconvert}")"
files="${3:-2000}"
runs="${4:-5}"

# The machines live as long as the measurements: this script runs again under them.
if [[ -z "${QYN_BENCH_TOP:-}" ]]; then
  QYN_BENCH_TOP="$(mktemp -d "${2:-/dev/shm}/qyn-bench-across.XXXXXX")"
  export QYN_BENCH_TOP
  trap 'rm -rf "$QYN_BENCH_TOP"' EXIT
  /usr/bin/python3 "$here/tests/across/ssh_nodes.py" 3 "$QYN_BENCH_TOP/machines" -- "$0" "$@"
  exit
fi
top="$QYN_BENCH_TOP"
mkdir "$top/in" "$top/home"
/usr/bin/python3 "$here/tests/across/image_files.py" "$top/in/f0000.bmp" 640 480 1
for ((i = 1; i < files; ++i)); do cp "$top/in/f0000.bmp" "$(printf '%s/in/f%04d.bmp' "$top" "$i")"; done
megabytes=$(du -smb "$top/in" | awk '{printf "%.1f", $1 / 1e6}')
export QYNCONVERT="$qynconvert" HOME="$top/home"
across=("$here/scripts/convert-across.sh" --ssh "$QYN_NODES_SSH")

now() { date +%s.%N; }
# Runs a command into the fresh folder $top/$1 and prints its seconds.
seconds() {
  local out="$top/$1" start
  shift
  rm -rf "$out"
  mkdir "$out"
  start=$(now)
  "$@" "$out" >/dev/null 2>"$top/errors" || { cat "$top/errors" >&2; exit 1; }
  awk -v a="$start" -v b="$(now)" 'BEGIN { printf "%.3f", b - a }'
}
median() { printf '%s\n' "$@" | sort -g | awk '{ v[NR] = $1 } END { print (NR % 2) ? v[(NR + 1) / 2] : (v[NR / 2] + v[NR / 2 + 1]) / 2 }'; }
minimum() { printf '%s\n' "$@" | sort -g | head -1; }
row() {  # what, times...
  local what="$1"
  shift
  printf '  %-58s %7.2f s (min %.2f)  %7.1f files/s\n' "$what" "$(median "$@")" "$(minimum "$@")" \
    "$(awk -v n="$files" -v s="$(median "$@")" 'BEGIN { print n / s }')"
}

echo "$files gray 640x480 BMP files ($megabytes MB) in $top, qynconvert color; $(nproc) cores, load $(cut -d' ' -f1-3 /proc/loadavg)"
local_times=() across_times=()
for ((r = 0; r < runs; ++r)); do
  local_times+=("$(seconds local "$qynconvert" color --batch "$top/in" --quiet)")
  across_times+=("$(seconds across "${across[@]}" -S "$QYN_NODES" --share 200 color "$top/in")")
  ((r == 0)) && { diff -r "$top/local" "$top/across" >/dev/null || { echo "  outputs differ"; exit 1; }; }
done
row "qynconvert color --batch (all cores, one process)" "${local_times[@]}"
row "convert-across.sh, 3 machines over SSH, shares of 200" "${across_times[@]}"
transfer=$(seconds transfer "${across[@]}" --transfer -S "$QYN_NODES" --share 200 color "$top/in")
row "convert-across.sh --transfer, 3 machines, shares of 200" "$transfer"
diff -r "$top/local" "$top/transfer" >/dev/null || { echo "  --transfer outputs differ"; exit 1; }

# What a share costs, with files so small that converting them costs nothing: 40 shares
# of one file and a run of one share, on this machine (-S :) and on one over SSH.
mkdir "$top/tiny" "$top/one"
/usr/bin/python3 "$here/tests/across/image_files.py" "$top/one/t00.bmp" 16 16 1
for ((i = 0; i < 40; ++i)); do cp "$top/one/t00.bmp" "$(printf '%s/tiny/t%02d.bmp' "$top" "$i")"; done
here1=() here40=() ssh1=() ssh40=()
for ((r = 0; r < runs; ++r)); do
  here1+=("$(seconds o "${across[@]}" -S : color "$top/one")")
  ssh1+=("$(seconds o "${across[@]}" -S node1 color "$top/one")")
  here40+=("$(seconds o "${across[@]}" -S : --share 1 color "$top/tiny")")
  ssh40+=("$(seconds o "${across[@]}" -S node1 --share 1 color "$top/tiny")")
done
files=1 row "convert-across.sh, 1 share of a 16x16 file, this machine" "${here1[@]}"
files=1 row "convert-across.sh, 1 share of a 16x16 file, over SSH" "${ssh1[@]}"
files=40 row "convert-across.sh, 40 shares of a 16x16 file, this machine" "${here40[@]}"
files=40 row "convert-across.sh, 40 shares of a 16x16 file, over SSH" "${ssh40[@]}"
LC_ALL=C awk -v l="$(median "${local_times[@]}")" -v a="$(median "${across_times[@]}")" \
  -v h1="$(median "${here1[@]}")" -v h40="$(median "${here40[@]}")" \
  -v s1="$(median "${ssh1[@]}")" -v s40="$(median "${ssh40[@]}")" 'BEGIN {
    printf "  3 machines over SSH / one local batch: %.2fx\n", a / l
    printf "  a share costs %.0f ms on this machine (a job of parallel, a qynconvert process); SSH adds %.0f ms\n",
      (h40 - h1) / 39 * 1000, ((s40 - s1) - (h40 - h1)) / 39 * 1000
    printf "  a run costs %.0f ms before and after its shares (the list, parallel); SSH adds %.0f ms (the connection)\n",
      (h1 - (h40 - h1) / 39) * 1000, (s1 - h1 - ((s40 - s1) - (h40 - h1)) / 39) * 1000
  }'
echo "  outputs: the same bytes every way"
