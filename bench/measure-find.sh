#!/bin/sh
# Times kvel-cli find over one rate, 115200 bit/s, addresses 1 to 254, against kvel-sim with two
# units on the line: nearly every address waits out its try, so this is the scan's worst case
# at that rate. Target: within 15 s.
# Usage: bench/measure-find.sh <build-dir>
set -eu
BUILD_DIR=$(cd "${1:?usage: bench/measure-find.sh <build-dir>}" && pwd)
SCRATCH=$(mktemp -d)
trap 'rm -rf "$SCRATCH"' EXIT
cd "$SCRATCH"

"$BUILD_DIR/bin/kvel-sim" --link dosdevices/com1 --address 3,250 --baud-index 9 >/dev/null 2>&1 &
SIM=$!
for _ in 1 2 3 4 5 6 7 8 9 10; do [ -e dosdevices/com1 ] && break; sleep 0.1; done
START=$(date +%s.%N)
STATUS=0
"$BUILD_DIR/bin/kvel-cli" --port 1 find --baud 115200 >found.txt 2>&1 || STATUS=$?
END=$(date +%s.%N)
kill $SIM
wait $SIM 2>/dev/null || true
UNITS=$(grep -c '^address ' found.txt || true)
echo "kvel-cli find, 115200 bit/s, addresses 1-254: $(awk "BEGIN { printf \"%.1f\", $END - $START }") s," \
  "exit $STATUS, $UNITS of 2 units found (target: within 15 s)"
