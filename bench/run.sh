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

FINDER_BENCH="$BUILD_DIR/bench/finder_bench"
if [ -x "$FINDER_BENCH" ]; then
  echo "== unit finder, one silent rate (target: scan_s < 20 at 115200 bit/s)"
  "$FINDER_BENCH" --benchmark_counters_tabular=true 2>&1
fi

if [ -x "$BUILD_DIR/bin/kvel-cli" ]; then
  echo "== kvel-cli find, one rate at 115200 bit/s (target: within 15 s)"
  "$(dirname "$0")/measure-find.sh" "$BUILD_DIR"
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

CHART_BENCH="$BUILD_DIR/bench/chart_bench"
if [ -x "$CHART_BENCH" ]; then
  echo "== chart window (target: BM_OpenDayChart under 1000 ms)"
  QT_QPA_PLATFORM=offscreen "$CHART_BENCH" 2>&1
fi

REPORT_BENCH="$BUILD_DIR/bench/report_bench"
if [ -x "$REPORT_BENCH" ]; then
  echo "== service report of an hour's recording (target: BM_WriteReportOfAnHour under 2000 ms)"
  QT_QPA_PLATFORM=offscreen "$REPORT_BENCH" 2>&1
fi

if [ -x "$BUILD_DIR/bench/chart_cpu_bench" ]; then
  echo "== the live chart over ${KVEL_CHART_MINUTES:-30} minutes (targets: 1.5 x kvel late on; all windows flat within 1.2 x)"
  "$(dirname "$0")/chart-cpu.sh" "$BUILD_DIR" "${KVEL_CHART_MINUTES:-30}"
fi

NETWORK_BENCH="$BUILD_DIR/bench/network_bench"
if [ -x "$NETWORK_BENCH" ]; then
  echo "== polling over RTU over TCP beside serial (target: same replies, CPU at most 1.1 x)"
  xvfb-run -a -s "-screen 0 1024x768x24" "$NETWORK_BENCH" "${KVEL_MEASURE_SECONDS:-60}"
fi

POLLER_CPU_BENCH="$BUILD_DIR/bench/poller_cpu_bench"
if [ -x "$POLLER_CPU_BENCH" ]; then
  echo "== a site line's poller, 8 units back to back: CPU per request"
  "$POLLER_CPU_BENCH"
fi

OVERVIEW_BENCH="$BUILD_DIR/bench/overview_bench"
if [ -x "$OVERVIEW_BENCH" ]; then
  echo "== bus overview, 10 units at 115200 bit/s (target: a round under 0.5 s)"
  QT_QPA_PLATFORM=offscreen "$OVERVIEW_BENCH"
fi

SERVE_BENCH="$BUILD_DIR/bench/serve_bench"
if [ -x "$SERVE_BENCH" ]; then
  echo "== kvel-cli serve, 32 units (targets: scrape p99 under 10 ms at 50 a second; memory flat)"
  "$SERVE_BENCH" latency 20
  "$SERVE_BENCH" memory "${KVEL_MEASURE_SECONDS:-3600}"
fi

echo "== a site: 100 gateways of 8 units, polled and scraped every 5 s (targets in the script)"
"$(dirname "$0")/measure-site.sh" "$BUILD_DIR" 100 "${KVEL_MEASURE_SECONDS:-60}"

echo "== running program (targets: CPU <= 0.3 s a minute, peak <= 45 MB)"
"$(dirname "$0")/measure-running.sh" "$BUILD_DIR" "${KVEL_MEASURE_SECONDS:-60}"

echo "== monitor window open while polling (target: CPU <= 1.5 x without it)"
"$(dirname "$0")/measure-monitor.sh" "$BUILD_DIR" "${KVEL_MEASURE_SECONDS:-60}"

if command -v mbpoll >/dev/null; then
  echo "== kvel-cli beside mbpoll (targets: get <= 1.3 x, status <= 2 x, watch >= 9 lines a second)"
  "$(dirname "$0")/measure-cli.sh" "$BUILD_DIR"
fi
