#!/bin/sh
# kvel polling the simulated unit with the monitor window open beside the same without it, one
# after the other in one run. Target: CPU with the monitor at most 1.5 x without it.
# Usage: bench/measure-monitor.sh <build-dir> [seconds]
set -eu
HERE=$(dirname "$0")
SECONDS_TO_RUN=${2:-60}
WITHOUT=$("$HERE/measure-running.sh" "$1" "$SECONDS_TO_RUN")
WITH=$(KVEL_OPEN_MONITOR=1 "$HERE/measure-running.sh" "$1" "$SECONDS_TO_RUN")
echo "$WITHOUT"
echo "$WITH"
cpu() { echo "$1" | sed -n 's/.*CPU \([0-9.]*\) s.*/\1/p'; }
awk -v a="$(cpu "$WITH")" -v b="$(cpu "$WITHOUT")" \
  'BEGIN { if (b > 0) printf "monitor open / closed: %.2f x CPU (target <= 1.5)\n", a / b }'
