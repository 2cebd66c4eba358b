#!/bin/sh
# Takes the README's picture of the main window: kvel polling the simulated unit, as `make demo`
# shows it, on a virtual display, cut to the window. Run as
#   xvfb-run -a -s '-screen 0 1024x768x24' scripts/screenshot.sh [BUILD_DIR] [PNG]
set -eu
BUILD_DIR=$(cd "${1:-build/release}" && pwd)
OUT=$(realpath -m "${2:-docs/images/kvel-main.png}")
SCRATCH=$(mktemp -d)
trap 'kill $KVEL $SIM 2>/dev/null || true; wait 2>/dev/null || true; rm -rf "$SCRATCH"' EXIT INT TERM
KVEL= SIM=

cd "$SCRATCH"
printf '\001\000\003\000\001\000' > data.inf
"$BUILD_DIR/bin/kvel-sim" --link dosdevices/com1 --seed 1 >/dev/null &
SIM=$!
for _ in 1 2 3 4 5 6 7 8 9 10; do [ -e dosdevices/com1 ] && break; sleep 0.1; done
"$BUILD_DIR/bin/kvel" &
KVEL=$!
# A few polls, so every reading and lamp shows a value.
sleep "${KVEL_SHOT_SECONDS:-5}"
window=$(xdotool search --sync --onlyvisible --pid "$KVEL" | head -n 1)
geometry=$(xwininfo -id "$window" | awk '/Absolute upper-left X/ {x=$4} /Absolute upper-left Y/ {y=$4}
  /Width:/ {w=$2} /Height:/ {h=$2} END {print w "x" h "+" x "+" y}')
mkdir -p "$(dirname "$OUT")"
import -window root -crop "$geometry" +repage -strip -colors 64 "PNG8:$OUT"
echo "screenshot: $OUT ($geometry)"
