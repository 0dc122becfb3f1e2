#!/usr/bin/env bash
# Spreads one qynconvert batch over several machines with GNU parallel: the input files
# are listed once, cut into shares of --share files, and each share is converted by
# `qynconvert KIND --batch` on whichever machine is free, one batch a machine at a time
# (each uses all its cores). A share that fails because its machine could not be reached
# or was lost half-way goes to another machine; what the lost machine had saved stays.
#
#   scripts/convert-across.sh [options] KIND IN_DIR OUT_DIR... [qynconvert options]
#     -S LOGINS   machines, GNU parallel's ssh logins: node1,user@node2,: (':' is this
#                 machine, the default)
#     -j N        shares a machine converts at once (default 1)
#     --share N   files a share (default 200)
#     --transfer  the machines have no shared folder: each share is copied to a machine
#                 with rsync and its outputs are copied back (parallel's --transferfile
#                 and --return); without it every machine sees the folders under the
#                 same paths
#     --ssh CMD   the ssh command (default $PARALLEL_SSH or ssh); BatchMode, a connect
#                 timeout and keep-alives are added after it
#     --retries N tries of a share before it counts as failed (default: machines + 1)
#     --check     convert the first file on every machine and compare the bytes: run it
#                 before a long batch
# Machines need qynconvert of the same version on their PATH (or QYNCONVERT=/path), perl,
# and rsync for --transfer. Files whose outputs are there already are skipped, so running
# it again after an interruption converts what is missing. Ctrl-C starts no new share and
# lets the running ones finish; a second Ctrl-C stops those too (each machine finishes the
# files it has in flight). Exits 0 when every file was converted or skipped, 5 when some
# files failed, 1 when a share could not run on any machine or nothing could run (no input
# or output folder, no qynconvert here), 2 for a wrong command line, 128 + N when stopped
# by signal N. The files not converted are named.
set -uo pipefail

die_usage() {
  [[ -n "${1:-}" ]] && printf 'convert-across: %s\n' "$1" >&2
  sed -n '2,29p' "$0" >&2
  exit 2
}
say() { printf 'convert-across: %s\n' "$*" >&2; }
# A name as the terminal can show it: quoted when it holds bytes that are not printable text.
shown() { if [[ "$1" =~ ^[[:print:]]*$ ]]; then printf '%s' "$1"; else printf '%q' "$1"; fi; }
is_count() { [[ "$1" =~ ^[1-9][0-9]*$ ]]; }

logins=":"
share=200
per_machine=1
transfer=0
ssh_command="${PARALLEL_SSH:-ssh}"
retries=""
check=0
while (($#)); do
  case "$1" in
    -S|--sshlogin|-j|--share|--ssh|--retries)
      (($# >= 2)) || die_usage "$1 needs a value"
      case "$1" in
        -S|--sshlogin) logins="$2" ;;
        -j) per_machine="$2"; is_count "$2" || die_usage "-j needs a whole number of at least 1" ;;
        --share) share="$2"; is_count "$2" || die_usage "--share needs a whole number of at least 1" ;;
        --ssh) ssh_command="$2" ;;
        --retries) retries="$2"; is_count "$2" || die_usage "--retries needs a whole number of at least 1" ;;
      esac
      shift 2 ;;
    --transfer) transfer=1; shift ;;
    --check) check=1; shift ;;
    -h|--help) sed -n '2,29p' "$0"; exit 0 ;;
    -*) die_usage "unknown option $1" ;;
    *) break ;;
  esac
done
(($# >= 1)) || die_usage
kind="$1"
shift
case "$kind" in
  compose) sources=3 outputs=1 ;;
  decompose) sources=1 outputs=3 ;;
  gray|color) sources=1 outputs=1 ;;
  *) die_usage "unknown kind '$kind'" ;;
esac
(($# >= sources + outputs)) || die_usage "$kind needs $((sources + outputs)) folders"

# Absolute paths, so a remote shell that starts in another folder finds the same files.
abs() {
  local p="$1"
  [[ "$p" == /* ]] || p="$PWD/$p"
  while [[ "$p" == ?*/ ]]; do p="${p%/}"; done
  printf '%s' "$p"
}
folders=()
for ((i = 0; i < sources + outputs; ++i)); do
  folders+=("$(abs "$1")")
  shift
done
source_dirs=("${folders[@]:0:sources}")
output_dirs=("${folders[@]:sources}")

# The rest are qynconvert's options; --format and --overwrite decide the outputs' names
# and what is skipped, the list options are the script's own.
options=()
format=""
overwrite=0
while (($#)); do
  case "$1" in
    --format|--weights|--jobs|--memory|--threads)
      (($# >= 2)) || die_usage "$1 needs a value"
      [[ "$1" == --format ]] && format="$2"
      options+=("$1" "$2")
      shift 2 ;;
    --overwrite) overwrite=1; options+=("$1"); shift ;;
    --quiet|--null) shift ;;
    *) die_usage "unknown qynconvert option $1" ;;
  esac
done
[[ -z "$format" || ! ( "$format" == */* || "$format" == .* ) ]] || die_usage "--format needs an extension such as bmp or png"

IFS=, read -ra machines <<<"$logins"
((${#machines[@]})) || die_usage "-S needs at least one machine"
[[ -n "$retries" ]] || retries=$((${#machines[@]} + 1))
program="${QYNCONVERT:-qynconvert}"

for d in "${source_dirs[@]}"; do
  [[ -d "$d" && -r "$d" && -x "$d" ]] || { say "Cannot read $(shown "$d"): not a folder"; exit 1; }
done
for d in "${output_dirs[@]}"; do
  [[ -d "$d" ]] || { say "Cannot write $(shown "$d"): not a folder"; exit 1; }
done
for m in "${machines[@]}"; do
  # --check says it for each machine.
  if ((!check)) && [[ "$m" == ":" || "$m" == */: ]] && ! command -v "$program" >/dev/null; then
    say "Cannot run $(shown "$program") on this machine: not found (put it on the PATH or set QYNCONVERT)"
    exit 1
  fi
done
command -v parallel >/dev/null || { say "GNU parallel is not installed (Debian: parallel)"; exit 1; }

# --- The files: listed once, sorted by their bytes as qynconvert sorts a folder ---------

# The name an input's outputs get, in $out_name (qynconvert's rule: --format replaces the
# extension after the last dot, unless the name begins with it). No subshell: it runs for
# every file.
output_name() {
  out_name="${1##*/}"
  if [[ -n "$format" ]]; then
    [[ "$out_name" == ?*.* ]] && out_name="${out_name%.*}"
    out_name+=".$format"
  fi
}
# Whether the input $1 has all its outputs in the folders "${run_outputs[@]}".
all_outputs_there() {
  local d
  output_name "$1"
  for d in "${run_outputs[@]}"; do [[ -f "$d/$out_name" ]] || return 1; done
}
run_outputs=("${output_dirs[@]}")

mapfile -d '' inputs < <(find -L "${source_dirs[0]}" -mindepth 1 -maxdepth 1 -type f ! -name '.*' -print0 | LC_ALL=C sort -z)
declare -A taken=()
todo=()
collided=()
skipped=0
for f in "${inputs[@]}"; do
  output_name "$f"
  first="${output_dirs[0]}/$out_name"
  # Two inputs with one output (a.bmp and a.png with --format png) would be converted by
  # two shares, on two machines, one result lost: the second is left out before anything runs.
  if [[ -n "${taken[$first]+x}" ]]; then
    say "Cannot write $(shown "$first"): another input of the batch has that output ($(shown "$f"))"
    collided+=("$f")
    continue
  fi
  taken[$first]="$f"
  if ((!overwrite)) && all_outputs_there "$f"; then
    ((++skipped))
  else
    todo+=("$f")
  fi
done
unset taken
total=${#inputs[@]}
todo_count=${#todo[@]}
shares=$(((todo_count + share - 1) / share))

# --- Work folders, removed at the end whatever happens ----------------------------------

work="$(mktemp -d "${TMPDIR:-/tmp}/qyn-across.XXXXXX")" || exit 1
staging=()  # hidden folders of ours in the output folders
parallel_pid=""
cleanup() {
  [[ -n "$parallel_pid" ]] && kill -TERM "$parallel_pid" 2>/dev/null
  # parallel stopped by a signal leaves its connection masters running.
  local pid
  [[ -f "$work/masters" ]] && while read -r pid; do
    grep -qa -- -MT "/proc/$pid/cmdline" 2>/dev/null && kill -TERM "$pid"
  done <"$work/masters"
  rm -rf "$work" "${staging[@]}"
}
trap cleanup EXIT

# ssh for parallel: one executable (parallel starts its connection masters with it), which
# notes every try of a share that failed: parallel sends it to another machine without a
# trace in its job log. rsync's copies (--transfer) are noted as such.
lost_log="$work/lost"
: >"$lost_log"
: >"$work/masters"
cat >"$work/ssh" <<EOF
#!$BASH
set -- $ssh_command -o BatchMode=yes -o ConnectTimeout=10 -o ServerAliveInterval=10 -o ServerAliveCountMax=3 "\$@"
case " \$* " in *" -MT "*) echo \$\$ >>$(printf '%q' "$work/masters"); exec "\$@" ;; esac
"\$@"
status=\$?
if [[ \$status != 0 && -n "\${PARALLEL_SEQ:-}" ]]; then
  case " \$* " in *" --server "*) what=rsync ;; *) what=job ;; esac
  printf '%s\t%s\t%s\t%s\n' "\$PARALLEL_SEQ" "\${PARALLEL_SSHLOGIN:-?}" "\$status" "\$what" >>$(printf '%q' "$lost_log")
fi
exit \$status
EOF
chmod +x "$work/ssh"

# Every word from the command line travels in the environment (parallel's --env), never in
# the command: a shell runs the command, and parallel would replace {} and {#} in it.
export QYN_ACROSS_PROGRAM="$program" QYN_ACROSS_KIND="$kind"
env_options=(--env QYN_ACROSS_PROGRAM --env QYN_ACROSS_KIND)
words=()
argument() {  # exports $2 as QYN_ACROSS_$1 and adds its reference to the command
  export "QYN_ACROSS_$1=$2"
  env_options+=(--env "QYN_ACROSS_$1")
  words+=("\"\$QYN_ACROSS_$1\"")
}
for ((i = 0; i < ${#options[@]}; ++i)); do argument "O$i" "${options[i]}"; done
option_words=("${words[@]}")
# qynconvert's exit 5 (some files failed) is no reason to send the share elsewhere: its
# files are counted from the outputs afterwards.
command_end='--quiet; s=$?; [ $s -ne 5 ] || s=0; exit $s'
export PARALLEL_SHELL=/bin/sh
# -L: the shares are folders of links to the inputs.
export PARALLEL_RSYNC_OPTS=-rLR

joblog="$work/joblog"
mkfifo "$joblog"
exec {joblog_fd}<>"$joblog"

# Runs parallel over the shares of $work/shares on the machines $1 in the background.
start_parallel() {
  local hosts="$1" cmd i
  words=()
  ((transfer)) || for ((i = 1; i < sources + outputs; ++i)); do argument "F$i" "${run_folders[i]}"; done
  # shellcheck disable=SC2054 # --termseq takes one word with commas
  local common=(--will-cite -j "$per_machine" -S "$hosts" --retries "$run_retries" --joblog "$joblog"
                --ssh "$work/ssh" --termseq TERM,30000,KILL,25 "${env_options[@]}" -a "$work/shares")
  # One connection a machine for all its shares; ssh allows 10 sessions on one.
  ((per_machine <= 8)) && common+=(-M)
  if ((transfer)); then
    # Share k is the folder $work/send/k with in0.. (links) and empty out0..; the outputs come
    # back into k/outJ of $work/backJ, a link to a hidden folder in output folder J, so
    # that moving them into place is a rename.
    local returns=()
    for ((i = 0; i < sources; ++i)); do words+=("{}/in$i"); done
    for ((i = 0; i < outputs; ++i)); do
      words+=("{}/out$i")
      returns+=(--return "$work/back$i/./{}/out$i")
    done
    cmd="\"\$QYN_ACROSS_PROGRAM\" \"\$QYN_ACROSS_KIND\" --batch ${words[*]} ${option_words[*]} $command_end"
    setsid parallel "${common[@]}" --wd ... --transferfile "$work/send/./{}" "${returns[@]}" --cleanup \
      "$cmd" </dev/null {joblog_fd}>&- &
  else
    # Share k is the list k.list in a hidden folder of the first output folder, which every
    # machine sees.
    export QYN_ACROSS_LISTS="$lists"
    common+=(--env QYN_ACROSS_LISTS)
    cmd="\"\$QYN_ACROSS_PROGRAM\" \"\$QYN_ACROSS_KIND\" --batch - ${words[*]} ${option_words[*]} --null"
    cmd+=" <\"\$QYN_ACROSS_LISTS/{}.list\" $command_end"
    setsid parallel "${common[@]}" "$cmd" </dev/null {joblog_fd}>&- &
  fi
}

# A hidden folder of ours in folder $1, removed at the end: its path in $made.
hidden_folder() {
  made="$(mktemp -d "$1/.qyn-across.XXXXXX")" || { say "Cannot write $(shown "$1")"; exit 1; }
  staging+=("$made")
}

# The files of share k (1-based) of a list in the array named by $2.
share_files() {
  local -n list_ref="$2"
  share_list=("${list_ref[@]:$((($1 - 1) * share)):share}")
}

# --transfer: the links of share k and its empty output folders.
stage_share() {
  local k="$1" i f base
  local dir="$work/send/$k"
  for ((i = 0; i < sources; ++i)); do mkdir -p "$dir/in$i"; done
  for ((i = 0; i < outputs; ++i)); do mkdir -p "$dir/out$i"; done
  for f in "${share_list[@]}"; do
    base="${f##*/}"
    ln -s -- "$f" "$dir/in0/$base"
    for ((i = 1; i < sources; ++i)); do ln -s -- "${run_folders[i]}/$base" "$dir/in$i/$base"; done
  done
}

# --transfer: what share k brought back goes into the output folders, each file renamed
# into place (the outputs of qynconvert are written whole and rsync's too).
collect_share() {
  local k="$1" i
  for ((i = 0; i < outputs; ++i)); do
    local back="$work/back$i/$k/out$i"
    [[ -d "$back" ]] || continue
    find "$back" -mindepth 1 -maxdepth 1 -type f ! -name '.*' -print0 |
      xargs -0 -r mv -f -t "${run_outputs[i]}" --
    rm -rf "$work/back$i/$k"
  done
}

machine() { if [[ "$1" == : ]]; then printf 'this machine'; else printf '%s' "$1"; fi; }
why_failed() {  # a job log's exit value and signal, in words
  case "$1:$2" in
    *:[1-9]*) printf 'killed by signal %s' "$2" ;;
    255:*) printf 'the machine could not be reached or was lost (ssh exit 255)' ;;
    127:*) printf 'qynconvert was not found there' ;;
    126:*) printf 'qynconvert cannot be run there' ;;
    2:*) printf 'qynconvert refused the command line (another version?)' ;;
    3:*) printf 'an input folder cannot be read there' ;;
    4:*) printf 'an output folder cannot be written there' ;;
    -1:*) printf 'stopped' ;;
    *) printf 'exit %s' "$1" ;;
  esac
}

stop_signal=""
on_signal() {
  if [[ -z "$stop_signal" ]]; then
    stop_signal="$1"
    [[ -n "$parallel_pid" ]] && kill -HUP "$parallel_pid" 2>/dev/null
    say "SIG$1: no new share is started, the running ones finish (a second signal stops them)"
  else
    [[ -n "$parallel_pid" ]] && kill -TERM "$parallel_pid" 2>/dev/null
  fi
}
trap 'on_signal INT' INT
trap 'on_signal TERM' TERM
trap 'on_signal HUP' HUP

# Reads the job log until parallel has ended; fills share_exit, share_host, done_in_share.
# With $1 = quiet, prints nothing.
declare -A share_exit=() share_host=() done_in_share=()
lost_seen=0
follow_jobs() {
  local quiet="${1:-}" line="" part status seq host exitval signal k f what reason done_now
  local started converted_so_far=0
  started=$(now)
  while :; do
    if IFS= read -r -u "$joblog_fd" part; then
      line+="$part"
    else
      status=$?
      ((status > 128)) && { line+="$part"; continue; }  # a signal came in the middle
      break
    fi
    if [[ "$line" == PID$'\t'* ]]; then
      parallel_pid="${line#PID$'\t'}"
      line=""
      # A signal that came before parallel was known.
      [[ -n "$stop_signal" ]] && kill -HUP "$parallel_pid" 2>/dev/null
      continue
    fi
    if [[ "$line" == END$'\t'* ]]; then
      parallel_pid=""
      break
    fi
    IFS=$'\t' read -r seq host _ _ _ _ exitval signal _ <<<"$line"
    line=""
    [[ "$seq" =~ ^[0-9]+$ ]] || continue
    # Tries that failed before this line; parallel has sent them elsewhere (or gives up).
    while IFS=$'\t' read -r k f status what; do
      if [[ "$what" == rsync ]]; then
        reason="copying with rsync failed (exit $status)"
      else
        reason="$(why_failed "$status" 0)"
      fi
      # A machine's first failure is told as it comes, the count at the end.
      if [[ -z "${troubles[$f]:-}" ]]; then
        troubles[$f]="$reason"
        [[ -n "$quiet" ]] || say "share $k/$run_shares failed on $(machine "$f"): $reason; it goes to another machine"
      fi
      failed_tries[$f]=$((${failed_tries[$f]:-0} + 1))
    done < <(tail -n "+$((lost_seen + 1))" "$lost_log")
    lost_seen=$(wc -l <"$lost_log")
    ((transfer)) && collect_share "$seq"
    share_files "$seq" run_list
    done_now=0
    for f in "${share_list[@]}"; do all_outputs_there "$f" && ((++done_now)); done
    share_exit[$seq]="$exitval:$signal"
    share_host[$seq]="$host"
    converted_so_far=$((converted_so_far - ${done_in_share[$seq]:-0} + done_now))
    done_in_share[$seq]=$done_now
    [[ -n "$quiet" ]] && continue
    if [[ "$exitval:$signal" == 0:0 ]]; then
      say "share $seq/$run_shares on $(machine "$host"): $done_now of ${#share_list[@]} converted; $converted_so_far of $run_count done$(eta "$started" "${#share_exit[@]}")"
    else
      say "share $seq/$run_shares could not run on $(machine "$host") ($(why_failed "$exitval" "$signal")): $done_now of ${#share_list[@]} converted"
    fi
  done
}
declare -A troubles=() failed_tries=()  # machine -> why its first share failed, how many did
# Seconds since the epoch with a '.' whatever the locale's decimal point.
now() { local t="$EPOCHREALTIME"; printf '%s' "${t/[^0-9]/.}"; }
since() { LC_ALL=C awk -v a="$1" -v b="$(now)" 'BEGIN { printf "%.2f", b - a }'; }
eta() {  # time left, from the shares done since $1
  (($2 < run_shares)) || return 0
  LC_ALL=C awk -v from="$1" -v now="$(now)" -v done="$2" -v all="$run_shares" \
    'BEGIN { s = (now - from) / done * (all - done); printf ", %d:%02d left", s / 60, s % 60 }'
}

# Runs the shares of the array named by $1 on the machines $2 into the output folders
# "${run_outputs[@]}". $3 = quiet: no progress lines.
run_batch() {
  local -n batch_ref="$1"
  run_list=("${batch_ref[@]}")
  run_count=${#run_list[@]}
  run_shares=$(((run_count + share - 1) / share))
  local k i
  if ((transfer)); then
    for ((i = 0; i < outputs; ++i)); do
      hidden_folder "${run_outputs[i]}"
      rm -f "$work/back$i"
      ln -s "$made" "$work/back$i"
    done
    rm -rf "$work/send"
    for ((k = 1; k <= run_shares; ++k)); do
      share_files "$k" run_list
      stage_share "$k"
    done
  else
    hidden_folder "${run_outputs[0]}"
    lists="$made"
    for ((k = 1; k <= run_shares; ++k)); do
      share_files "$k" run_list
      printf '%s\0' "${share_list[@]}" >"$lists/$k.list"
    done
  fi
  seq 1 "$run_shares" >"$work/shares"
  share_exit=() share_host=() done_in_share=()
  # The job log begins with parallel's process id (for the signals) and ends with its status.
  ( start_parallel "$2"
    printf 'PID\t%s\n' "$!" >&"$joblog_fd"
    wait "$!"
    printf 'END\t%s\n' "$?" >&"$joblog_fd" ) &
  local runner=$!
  follow_jobs "${3:-}"
  wait "$runner" 2>/dev/null
}

run_folders=("${folders[@]}")

# --- --check: the first file on every machine, the same bytes everywhere -----------------

if ((check)); then
  ((${#inputs[@]})) || { say "nothing to check with: $(shown "${source_dirs[0]}") has no files"; exit 1; }
  probe=("${inputs[0]}")
  ok=1
  reference=""
  say "converting $(shown "${inputs[0]}") on each machine"
  for m in "${machines[@]}"; do
    check_dirs=()
    for d in "${output_dirs[@]}"; do
      hidden_folder "$d"
      check_dirs+=("$made")
    done
    run_outputs=("${check_dirs[@]}")
    run_folders=("${source_dirs[@]}" "${check_dirs[@]}")
    started=$(now)
    run_retries=1 run_batch probe "$m" quiet 2>"$work/check-errors"
    seconds=$(since "$started")
    result="${share_exit[1]:-}"
    if [[ "$result" != 0:0 ]]; then
      say "$(machine "$m"): could not run: $(why_failed "${result%:*}" "${result#*:}")"
      ok=0
    elif ! all_outputs_there "${probe[0]}"; then
      say "$(machine "$m"): did not convert it:"
      ok=0
    else
      outputs_here=()
      output_name "${probe[0]}"
      for d in "${check_dirs[@]}"; do outputs_here+=("$d/$out_name"); done
      if [[ -z "$reference" ]]; then
        reference="$(machine "$m")"
        reference_outputs=("${outputs_here[@]}")
        say "$(machine "$m"): ok in $seconds s"
      else
        same=1
        for ((i = 0; i < outputs; ++i)); do cmp -s "${reference_outputs[i]}" "${outputs_here[i]}" || same=0; done
        if ((same)); then
          say "$(machine "$m"): ok in $seconds s, the same bytes as on $reference"
        else
          say "$(machine "$m"): its output differs from $reference's: not the same qynconvert version?"
          ok=0
        fi
      fi
    fi
    [[ -s "$work/check-errors" ]] && sed 's/^/    /' "$work/check-errors" >&2
  done
  ((ok)) && exit 0
  exit 1
fi

# --- The batch ------------------------------------------------------------------------

if ((todo_count == 0)); then
  say "${#collided[@]} failed, $skipped skipped of $total: nothing to convert"
  ((${#collided[@]})) && exit 5
  exit 0
fi
say "$todo_count files in $shares shares of $share on ${#machines[@]} machine(s) ($skipped skipped, ${#collided[@]} left out)"
started=$(now)
run_retries="$retries" run_batch todo "$logins"
seconds=$(since "$started")

converted=0
failed=0
not_started=0
could_not_run=0
for ((k = 1; k <= shares; ++k)); do
  share_files "$k" todo
  result="${share_exit[$k]:-}"
  for f in "${share_list[@]}"; do
    if all_outputs_there "$f"; then
      ((++converted))
    elif [[ -z "$result" ]]; then
      ((++not_started))
    else
      ((++failed))
      if [[ "$result" == 0:0 ]]; then
        say "not converted: $(shown "$f")"
      else
        say "not converted: $(shown "$f") (share $k could not run: $(why_failed "${result%:*}" "${result#*:}"))"
        could_not_run=1
      fi
    fi
  done
done
failed=$((failed + ${#collided[@]}))
for f in "${collided[@]}"; do say "not converted: $(shown "$f") (its output is another input's)"; done

declare -A shares_on=()
for k in "${!share_host[@]}"; do shares_on[${share_host[$k]}]=$((${shares_on[${share_host[$k]}]:-0} + 1)); done
where=""
for m in $(printf '%s\n' "${!shares_on[@]}" | sort); do where+="${where:+, }$(machine "$m") (${shares_on[$m]})"; done
for m in "${!troubles[@]}"; do
  say "$(machine "$m"): ${failed_tries[$m]} tries of shares failed there and went elsewhere; the first: ${troubles[$m]}"
done
summary="$converted converted, $failed failed, $skipped skipped"
((not_started)) && summary+=", $not_started not started"
summary+=" of $total in $seconds s"
[[ -n "$where" ]] && summary+="; shares on $where"
if [[ -n "$stop_signal" ]]; then
  say "stopped by SIG$stop_signal: $summary; run the same command again to convert the rest"
  exit $((128 + $(kill -l "$stop_signal")))
fi
say "$summary"
# Shares that never ran without a signal: parallel itself failed.
((could_not_run || not_started)) && exit 1
((failed)) && exit 5
exit 0
