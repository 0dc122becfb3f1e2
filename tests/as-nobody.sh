#!/bin/sh
# Runs a test program as the unprivileged user nobody when started as root, as itself
# otherwise: file permissions, which root passes by, are then tested for real. The
# program runs from a copy in a temporary folder, since the build folder may lie where
# nobody cannot reach it.
set -e
if [ "$(id -u)" -ne 0 ]; then
  exec "$@"
fi
program=$1
shift
copy=$(mktemp -d)
trap 'rm -rf "$copy"' EXIT
chmod 755 "$copy"
cp "$program" "$copy/"
# The sanitizer's suppressions file comes along for the same reason.
case "${LSAN_OPTIONS:-}" in
  suppressions=*)
    cp "${LSAN_OPTIONS#suppressions=}" "$copy/lsan.supp"
    chmod 644 "$copy/lsan.supp"
    export LSAN_OPTIONS="suppressions=$copy/lsan.supp" ;;
esac
setpriv --reuid=65534 --regid=65534 --clear-groups env TMPDIR=/tmp "$copy/$(basename "$program")" "$@"
