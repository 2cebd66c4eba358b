#!/bin/sh
# kvel-cli beside mbpoll (libmodbus) on the same simulated unit and line, runs alternated so
# both see the same machine load; medians of wall time. Also watch --interval 0.1 in lines a
# second. Targets: get at most 1.3 x mbpoll -1 of one register, status at most 2 x, watch at
# least 9 lines a second at 115200 bit/s. Needs mbpoll (apt-get install mbpoll).
set -eu
BUILD_DIR=$(cd "${1:?usage: bench/measure-cli.sh <build-dir> [runs]}" && pwd)
RUNS=${2:-21}
BAUD=${KVEL_BENCH_BAUD:-115200}
command -v mbpoll >/dev/null || { echo "mbpoll is missing: apt-get install mbpoll" >&2; exit 1; }

SIM="$BUILD_DIR/bin/kvel-sim"
CLI="$BUILD_DIR/bin/kvel-cli"
WORK=$(mktemp -d)
trap 'kill "$SIM_PID" 2>/dev/null; wait "$SIM_PID" 2>/dev/null; rm -rf "$WORK"' EXIT
cd "$WORK"
mkdir dosdevices
INDEX=$(python3 -c "print([1200,2400,4800,9600,14400,19200,38400,56000,57600,115200].index($BAUD))")
"$SIM" --link dosdevices/com1 --baud-index "$INDEX" 2>/dev/null &
SIM_PID=$!
while [ ! -e dosdevices/com1 ]; do sleep 0.05; done
DEVICE=$(readlink -f dosdevices/com1)

# Wall seconds of one run of the command, which must succeed. The simulated unit stops looking
# at the line for 50 ms after a program closes it, so each run waits that out first rather than
# being charged for the previous one.
wall() {
  python3 - "$@" <<'EOF'
import subprocess, sys, time
time.sleep(0.1)
start = time.perf_counter()
subprocess.run(sys.argv[1:], check=True, stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
print(f"{time.perf_counter() - start:.4f}")
EOF
}

median() { sort -n | awk '{ v[NR] = $1 } END { print v[int((NR + 1) / 2)] }'; }

: >get.txt; : >status.txt; : >mbpoll.txt
i=0
while [ "$i" -lt "$RUNS" ]; do
  wall mbpoll -m rtu -b "$BAUD" -P none -a 1 -t 4 -0 -r 3 -c 1 -1 "$DEVICE" >>mbpoll.txt
  wall "$CLI" --port "$DEVICE" --baud "$BAUD" get output-voltage >>get.txt
  wall "$CLI" --port "$DEVICE" --baud "$BAUD" status >>status.txt
  i=$((i + 1))
done

MBPOLL=$(median <mbpoll.txt)
GET=$(median <get.txt)
STATUS=$(median <status.txt)
LINES=30
WATCH=$(wall "$CLI" --port "$DEVICE" --baud "$BAUD" watch --interval 0.1 --count "$LINES")
python3 - "$BAUD" "$RUNS" "$MBPOLL" "$GET" "$STATUS" "$LINES" "$WATCH" <<'EOF'
import sys
baud, runs, mbpoll, get, status, lines, watch = sys.argv[1:]
mbpoll, get, status, watch = map(float, (mbpoll, get, status, watch))
print(f"{baud} bit/s, medians of {runs} alternated runs")
print(f"mbpoll -1, one holding register: {mbpoll * 1000:.1f} ms")
print(f"kvel-cli get output-voltage:     {get * 1000:.1f} ms = {get / mbpoll:.2f} x mbpoll (target <= 1.3)")
print(f"kvel-cli status (both banks):    {status * 1000:.1f} ms = {status / mbpoll:.2f} x mbpoll (target <= 2)")
# The first line comes at once, the others a beat apart.
print(f"kvel-cli watch --interval 0.1:   {(int(lines) - 1) / watch:.1f} lines a second (target >= 9)")
EOF
