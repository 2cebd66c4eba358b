#!/bin/sh
# Runs the benchmarks of a build made with -DKVEL_BENCH=ON and prints their results.
# Targets: per_byte of BM_ReceivePollReplies at most 150 ns; ratio of BM_Crc16BlockOverBoost
# at most 1.2.
set -eu
BUILD_DIR=${1:?usage: bench/run.sh <build-dir>}

LINK_BENCH="$BUILD_DIR/bench/link_bench"
if [ -x "$LINK_BENCH" ]; then
  echo "== link core (targets: per_byte <= 150ns, ratio <= 1.2)"
  "$LINK_BENCH" --benchmark_counters_tabular=true 2>&1
else
  echo "no $LINK_BENCH: configure with -DKVEL_BENCH=ON and build first" >&2
fi

UPLOAD_BENCH="$BUILD_DIR/bench/upload_bench"
if [ -x "$UPLOAD_BENCH" ]; then
  echo "== firmware upload (target: within 3 % of 32 ticks of 1005 ms)"
  "$UPLOAD_BENCH"
  "$UPLOAD_BENCH" --monitor
fi

MONITOR_BENCH="$BUILD_DIR/bench/monitor_bench"
if [ -x "$MONITOR_BENCH" ]; then
  echo "== monitor window memory (target: 20,000 lines within 5 MB of 10,000)"
  "$MONITOR_BENCH"
fi

echo "== running program (targets: CPU <= 0.3 s a minute, peak <= 45 MB)"
"$(dirname "$0")/measure-running.sh" "$BUILD_DIR" "${KVEL_MEASURE_SECONDS:-60}"

echo "== monitor window open while polling (target: CPU <= 1.5 x without it)"
"$(dirname "$0")/measure-monitor.sh" "$BUILD_DIR" "${KVEL_MEASURE_SECONDS:-60}"
