#!/usr/bin/env bash
# Checks what the Debian package ships. One check a run, each a ctest of its own:
#   check.sh deb BUILD_DIR        cpack builds the package from the build; its files, then lintian
#   check.sh desktop DESKTOP_FILE desktop-file-validate, hints included
#   check.sh man PAGE...          each manual page renders without a warning
# Exits 77 (skipped) with the reason when a tool it needs is missing.
set -euo pipefail

skip() { echo "SKIPPED: $*"; exit 77; }
fail() { echo "FAILED: $*"; exit 1; }
need() { command -v "$1" >/dev/null || skip "$1 is not installed (scripts/install-deps.sh installs $2)"; }

check_deb() {
  local build=$1 deb
  need cpack cmake
  need dpkg-deb dpkg
  dir=$(mktemp -d)
  trap 'rm -rf "$dir"' EXIT
  # Builds nothing but the package: ctest runs after the build.
  cpack --config "$build/CPackConfig.cmake" -B "$dir" >"$dir/cpack.log" 2>&1 || { cat "$dir/cpack.log"; fail "cpack"; }
  deb=$(find "$dir" -maxdepth 1 -name 'qynsample_*.deb')
  [[ -n $deb ]] || fail "cpack made no .deb: $(ls "$dir")"
  [[ -n $(find "$dir" -maxdepth 1 -name 'qynsample-dbgsym_*.ddeb') ]] || fail "no -dbgsym package beside $deb"

  local contents missing=()
  contents=$(dpkg-deb -c "$deb" | awk '{print $NF}')
  local wanted=(./usr/bin/qynsample ./usr/bin/qynconvert
    ./usr/share/man/man1/qynsample.1.gz ./usr/share/man/man1/qynconvert.1.gz
    ./usr/share/doc/qynsample/copyright ./usr/share/doc/qynsample/changelog.gz
    ./usr/share/doc/qynsample/README.md ./usr/share/doc/qynsample/docs/using.md
    ./usr/share/applications/qynsample.desktop ./usr/share/icons/hicolor/scalable/apps/qynsample.svg
    ./usr/share/lintian/overrides/qynsample ./opt/NERA_QYN/Video_IniFiles/colour-test-pattern.ini)
  for size in 16 22 24 32 48 64 128 256; do
    wanted+=("./usr/share/icons/hicolor/${size}x${size}/apps/qynsample.png")
  done
  for f in "${wanted[@]}"; do
    grep -qxF "$f" <<<"$contents" || missing+=("$f")
  done
  ((${#missing[@]} == 0)) || fail "the package lacks ${missing[*]}"

  need lintian lintian
  # Warnings and errors fail; so does any hardening note, which lintian only shows as information.
  local report
  report=$(lintian --display-info "$deb" 2>&1 | grep -v '^running with root privileges' || true)
  echo "$report"
  grep -E '^[EW]: |^I: [^ ]+ hardening-' <<<"$report" && fail "lintian"
  echo "lintian: clean"
}

check_desktop() {
  need desktop-file-validate desktop-file-utils
  local report
  report=$(desktop-file-validate "$1" 2>&1) || fail "$report"
  [[ -z $report ]] || fail "$report"
  echo "desktop-file-validate: clean"
}

check_man() {
  need man man-db
  local page out
  for page in "$@"; do
    # man passes --warnings on to groff: every complaint comes back on stderr.
    out=$(LC_ALL=C.UTF-8 MANWIDTH=80 man --warnings -l "$page" 2>&1 >/dev/null) || fail "man -l $page"
    [[ -z $out ]] || fail "$page: $out"
    [[ $(LC_ALL=C.UTF-8 MANWIDTH=80 man -l "$page" 2>/dev/null | grep -c 'EXIT STATUS') -eq 1 ]] ||
      fail "$page renders no EXIT STATUS section"
  done
  echo "manual pages: render cleanly"
}

mode=$1; shift
case $mode in
  deb) check_deb "$@" ;;
  desktop) check_desktop "$@" ;;
  man) check_man "$@" ;;
  *) fail "unknown check $mode" ;;
esac
