#!/bin/sh
# Installs the Debian packages kvel needs to build, test and demo; quick when all are present.
set -eu
PACKAGES="cmake make g++ pkg-config qt6-base-dev qt6-serialport-dev libgl-dev libgtest-dev libgmock-dev \
libbenchmark-dev libboost-dev qt6-charts-dev socat xvfb xauth fonts-liberation2 fonts-urw-base35 fonts-dejavu-core imagemagick xdotool \
qt6-translations-l10n dpkg-dev help2man man-db groff-base bsdextrautils g++-mingw-w64-x86-64 \
qt6-httpserver-dev qt6-websockets-dev prometheus \
clang clang-format libclang-rt-14-dev lld python3-pymodbus mbpoll libtelnet-dev ser2net libzip-dev unzip systemd"

missing=""
for p in $PACKAGES; do
  dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed" || missing="$missing $p"
done
[ -z "$missing" ] && exit 0

SUDO=""
[ "$(id -u)" -eq 0 ] || SUDO="sudo"
echo "Installing:$missing"
$SUDO apt-get update
DEBIAN_FRONTEND=noninteractive $SUDO apt-get install -y $missing
