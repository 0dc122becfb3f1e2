#!/usr/bin/env bash
# Installs every Debian 12 package that building, testing and running QynSample needs.
# Safe to run again; uses sudo when not run as root.
# With --bench it also installs OpenCV, the peer of the benchmarks, and what drives
# arv-viewer-0.8 (AT-SPI, its GTK video sink), the live view's peer.
set -euo pipefail

packages=(
  build-essential cmake ninja-build pkg-config clang-14 libclang-rt-14-dev
  qt6-base-dev qt6-base-dev-tools qt6-qpa-plugins qt6-image-formats-plugins libqt6svg6
  libgstreamer1.0-dev libgstreamer-plugins-base1.0-dev libglib2.0-dev
  gstreamer1.0-plugins-base gstreamer1.0-plugins-good gstreamer1.0-tools
  libhwy-dev libinih-dev libpng-dev libjpeg62-turbo-dev libtiff-dev
  libgtest-dev libgmock-dev locales parallel rsync openssh-client openssh-server
  libaravis-0.8-0 libaravis-dev libusb-1.0-0-dev gstreamer1.0-plugins-bad aravis-tools aravis-tools-cli
  xvfb xauth xdotool xclip python3-xlib at-spi2-core fonts-dejavu-core fonts-liberation
  file lintian desktop-file-utils man-db
  pybind11-dev python3-dev python3-numpy python3-pytest
)
if [[ "${1:-}" == "--bench" ]]; then
  packages+=(libopencv-dev libbenchmark-dev python3-opencv python3-pyatspi gstreamer1.0-gtk3 dbus-daemon)
fi

sudo_cmd=()
if [[ $(id -u) -ne 0 ]]; then sudo_cmd=(sudo); fi

missing=()
for p in "${packages[@]}"; do
  dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed" || missing+=("$p")
done
if ((${#missing[@]})); then
  export DEBIAN_FRONTEND=noninteractive
  "${sudo_cmd[@]}" apt-get update -qq
  "${sudo_cmd[@]}" apt-get install -y -qq --no-install-recommends "${missing[@]}"
fi
