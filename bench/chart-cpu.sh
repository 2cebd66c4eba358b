#!/bin/sh
# The live chart's cost over a long run: kvel without windows, with "График" following live
# over ten minutes, and with every window open and recording, side by side under one Xvfb so
# they share the machine's load. Targets: the chart in minutes 20-30 (its span full since
# minute 11) at most 1.5 x kvel without it; everything open, minute 30 within 1.2 x minute 5.
# Usage: bench/chart-cpu.sh <build-dir> [minutes, default 30]
set -eu
BUILD_DIR=$(cd "${1:?usage: bench/chart-cpu.sh <build-dir> [minutes]}" && pwd)
MINUTES=${2:-30}
# KVEL_BENCH_OUT keeps the minute-by-minute files of each mode.
if [ -n "${KVEL_BENCH_OUT:-}" ]; then
  OUT=$KVEL_BENCH_OUT
  mkdir -p "$OUT"
else
  OUT=$(mktemp -d)
  trap 'rm -rf "$OUT"' EXIT
fi

cat > "$OUT/run.sh" <<INNER
for mode in plain chart all; do
  "$BUILD_DIR/bench/chart_cpu_bench" \$mode $MINUTES > "$OUT/\$mode.txt" 2>&1 &
done
wait
INNER
xvfb-run -a -s "-screen 0 1280x1024x24" sh "$OUT/run.sh"

# The mean CPU a minute of <mode> over minutes <from>..<to>.
mean() {
  awk -v from="$2" -v to="$3" '$1 == "minute" && $2 >= from && $2 <= to { s += $3; n++ }
    END { if (n) printf "%.3f", s / n; else print "nan" }' "$OUT/$1.txt"
}
for mode in plain chart all; do
  grep -q "^minute $MINUTES " "$OUT/$mode.txt" || { echo "$mode did not run:"; cat "$OUT/$mode.txt"; exit 1; }
done
LATE_FROM=$(( MINUTES * 2 / 3 ))
PLAIN=$(mean plain "$LATE_FROM" "$MINUTES")
CHART=$(mean chart "$LATE_FROM" "$MINUTES")
echo "CPU seconds a minute over minutes $LATE_FROM-$MINUTES: kvel $PLAIN, with the chart following live $CHART" \
  "($(echo "$CHART $PLAIN" | awk '{ printf "%.2f", $1 / $2 }') x; target at most 1.5 x)"
EARLY=$(mean all 5 5)
LATE=$(mean all "$MINUTES" "$MINUTES")
echo "every window open and recording: minute 5 $EARLY s, minute $MINUTES $LATE s" \
  "($(echo "$LATE $EARLY" | awk '{ printf "%.2f", $1 / $2 }') x; target at most 1.2 x)"
echo "minute by minute (plain, chart, all):"
paste "$OUT/plain.txt" "$OUT/chart.txt" "$OUT/all.txt" | awk '$1 == "minute" { print $2, $3, $6, $9 }'
