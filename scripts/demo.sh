#!/bin/sh
# Runs kvel against the simulated unit in a scratch folder: data.inf says COM1, 9600 bit/s,
# address 1, and dosdevices/com1 leads to the simulated unit's pseudo-terminal.
set -eu
BUILD_DIR=$(cd "${1:-build/release}" && pwd)
SCRATCH=${KVEL_DEMO_DIR:-$(pwd)/demo-run}

if [ -z "${DISPLAY:-}${WAYLAND_DISPLAY:-}${QT_QPA_PLATFORM:-}" ]; then
  echo "make demo: no display here; run it on a virtual one: xvfb-run -a make demo"
  exit 2
fi

mkdir -p "$SCRATCH"
cd "$SCRATCH"
# address 1, baud index 3 (9600), COM1; little-endian words
printf '\001\000\003\000\001\000' > data.inf

"$BUILD_DIR/bin/kvel-sim" --link dosdevices/com1 --address 1 --baud-index 3 ${KVEL_SIM_OPTIONS:-} &
SIM=$!
trap 'kill $SIM 2>/dev/null || true; wait $SIM 2>/dev/null || true' EXIT INT TERM
# give the simulated unit a moment to create its link
for _ in 1 2 3 4 5 6 7 8 9 10; do [ -e dosdevices/com1 ] && break; sleep 0.1; done
"$BUILD_DIR/bin/kvel"
