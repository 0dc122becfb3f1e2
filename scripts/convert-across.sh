#!/usr/bin/env bash
# Spreads one qynconvert batch over several machines with GNU parallel: the input files
# are listed once, cut into shares of --share files, and each share goes to the standard
# input of `qynconvert KIND --batch - OUTPUTS...` on whichever machine is free, one batch
# a machine at a time (each uses all its cores). Every machine must see the folders under
# the same paths (a shared file system that renames atomically within a folder) and have
# qynconvert on its PATH (or QYNCONVERT=/path/to/qynconvert).
#
#   scripts/convert-across.sh [-S host1,host2,:] [-j N] [--share N] KIND IN_DIR OUT_DIR... [qynconvert options]
#
# ':' is this machine; without -S everything runs here. -j sets the shares a machine
# converts at once (default 1: one qynconvert, which already uses every core);
# --share the files of a share (default 200). Files whose outputs are there
# already are skipped, so running it again after an interruption finishes the rest.
# Exits 0 when every share succeeded, 5 when some files failed, 1 when a share could
# not run at all.
set -uo pipefail

logins=":"
share=200
per_machine=1
while (($#)); do
  case "$1" in
    -S|--sshlogin) logins="$2"; shift 2 ;;
    --share) share="$2"; shift 2 ;;
    -j) per_machine="$2"; shift 2 ;;
    *) break ;;
  esac
done
if (($# < 3)); then
  sed -n '2,18p' "$0" >&2
  exit 2
fi
kind="$1"
in_dir="$2"
shift 2
program="${QYNCONVERT:-qynconvert}"

# Absolute paths, so a remote shell that starts in another folder finds the same files.
abs() { case "$1" in /*) printf '%s' "$1" ;; *) printf '%s/%s' "$PWD" "$1" ;; esac; }
args=()
for a in "$@"; do
  if [[ "$a" != -* && -d "$a" ]]; then args+=("$(abs "$a")"); else args+=("$a"); fi
done

# The list is separated by NUL bytes, so any file name survives; hidden files are left
# out as qynconvert leaves them out of a folder.
find "$(abs "$in_dir")" -mindepth 1 -maxdepth 1 -type f ! -name '.*' -print0 |
  parallel --will-cite --quote --null --pipe --recend '\0' -N "$share" -j "$per_machine" --sshlogin "$logins" \
    "$program" "$kind" --batch - "${args[@]}" --null --quiet
status=$?
# GNU parallel exits with the number of shares that failed (101 or more: its own error);
# qynconvert has already said which files failed.
((status == 0)) && exit 0
((status <= 100)) && exit 5
exit 1
