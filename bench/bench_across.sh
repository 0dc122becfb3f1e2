#!/usr/bin/env bash
# scripts/convert-across.sh over three SSH machines on this computer (sshd on 127.0.0.2-4,
# started by tests/across/ssh_nodes.py) against one local `qynconvert color --batch` of
# the same FILES gray 640x480 BMP files (default 2000, in FOLDER, default /dev/shm) on the
# same cores: shares of 200, RUNS times each (default 5), taking turns. Then what a share
# costs and what SSH adds to it: one machine, here (-S :) and over SSH, with shares of 200
# and of 50; and one --transfer run (every file copied there and back by rsync).
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
local_times=() across_times=() here200=() here50=() ssh200=() ssh50=()
for ((r = 0; r < runs; ++r)); do
  local_times+=("$(seconds local "$qynconvert" color --batch "$top/in" --quiet)")
  across_times+=("$(seconds across "${across[@]}" -S "$QYN_NODES" --share 200 color "$top/in")")
  ((r == 0)) && { diff -r "$top/local" "$top/across" >/dev/null || { echo "  outputs differ"; exit 1; }; }
  here200+=("$(seconds one "${across[@]}" -S : --share 200 color "$top/in")")
  here50+=("$(seconds one "${across[@]}" -S : --share 50 color "$top/in")")
  ssh200+=("$(seconds one "${across[@]}" -S node1 --share 200 color "$top/in")")
  ssh50+=("$(seconds one "${across[@]}" -S node1 --share 50 color "$top/in")")
done
row "qynconvert color --batch (all cores, one process)" "${local_times[@]}"
row "convert-across.sh, 3 machines over SSH, shares of 200" "${across_times[@]}"
row "convert-across.sh, this machine (-S :), shares of 200" "${here200[@]}"
row "convert-across.sh, this machine (-S :), shares of 50" "${here50[@]}"
row "convert-across.sh, 1 machine over SSH, shares of 200" "${ssh200[@]}"
row "convert-across.sh, 1 machine over SSH, shares of 50" "${ssh50[@]}"
transfer=$(seconds transfer "${across[@]}" --transfer -S "$QYN_NODES" --share 200 color "$top/in")
row "convert-across.sh --transfer, 3 machines, shares of 200" "$transfer"
diff -r "$top/local" "$top/transfer" >/dev/null || { echo "  --transfer outputs differ"; exit 1; }
# Medians: a share's cost is the slope from 10 to 40 shares; SSH's part of it is the slope
# over SSH less the slope here; what SSH adds once is the rest of the difference.
LC_ALL=C awk -v l="$(median "${local_times[@]}")" -v a="$(median "${across_times[@]}")" \
  -v h200="$(median "${here200[@]}")" -v h50="$(median "${here50[@]}")" \
  -v s200="$(median "${ssh200[@]}")" -v s50="$(median "${ssh50[@]}")" -v n="$files" 'BEGIN {
    few = int((n + 199) / 200); many = int((n + 49) / 50)
    share = (h50 - h200) / (many - few)
    ssh = (s50 - s200) / (many - few) - share
    printf "  3 machines over SSH / one local batch: %.2fx\n", a / l
    printf "  a share costs %.0f ms here (a qynconvert process, a job of parallel); SSH adds %.0f ms a share\n",
      share * 1000, ssh * 1000
    printf "  and %.0f ms once a run (its connection); the script and parallel add %.0f ms to a local batch\n",
      (s200 - h200 - few * ssh) * 1000, (h200 - l - few * share) * 1000
  }'
echo "  outputs: the same bytes every way"
