#!/bin/sh
# Runs kvel against kvel-sim under Xvfb for a while and reports kvel's CPU time and peak
# resident memory, beside a bare Qt window with the same three timers (bench/floor_window) run
# at the same time under the same Xvfb. Targets: at most 0.3 s of CPU a minute, at most 45 MB
# peak, CPU at most 1.3 x the bare window's.
# Usage: bench/measure-running.sh <build-dir> [seconds]. With KVEL_OPEN_MONITOR=1 the monitor
# window is opened from the menu "Сервис" first, as an operator would (kvel takes no options).
set -eu
BUILD_DIR=$(cd "${1:?usage: bench/measure-running.sh <build-dir> [seconds]}" && pwd)
SECONDS_TO_RUN=${2:-60}
SCRATCH=$(mktemp -d)
trap 'rm -rf "$SCRATCH"' EXIT

cat > "$SCRATCH/run.sh" <<INNER
set -eu
cd "$SCRATCH"
printf '\001\000\003\000\001\000' > data.inf
"$BUILD_DIR/bin/kvel-sim" --link dosdevices/com1 >/dev/null 2>&1 &
SIM=\$!
for _ in 1 2 3 4 5 6 7 8 9 10; do [ -e dosdevices/com1 ] && break; sleep 0.1; done
"$BUILD_DIR/bin/kvel" >kvel.log 2>&1 &
KVEL=\$!
FLOOR=
if [ -x "$BUILD_DIR/bench/floor_window" ]; then
  "$BUILD_DIR/bench/floor_window" >/dev/null 2>&1 &
  FLOOR=\$!
fi
if [ "${KVEL_OPEN_MONITOR:-0}" = 1 ]; then
  sleep 2
  MAIN=\$(xdotool search --name '^КВЕЛv1\$' | head -1)
  eval \$(xdotool getwindowgeometry --shell \$MAIN)
  # "Сервис" stands right of "Меню"; "Монитор обмена" is its second item.
  xdotool mousemove \$((X + 70)) \$((Y + 10)) click 1; sleep 0.5
  xdotool mousemove \$((X + 100)) \$((Y + 32 + 23)) click 1; sleep 1
  xdotool search --name '^Монитор обмена\$' >/dev/null || { echo "the monitor did not open"; kill \$KVEL \$SIM; exit 1; }
fi
sleep $SECONDS_TO_RUN
if ! kill -0 \$KVEL 2>/dev/null; then
  echo "kvel ended before the measurement was taken:"; cat kvel.log; kill \$SIM; exit 1
fi
TICKS=\$(getconf CLK_TCK)
# utime and stime are fields 14 and 15 of /proc/<pid>/stat (the name in field 2 has no blanks)
CPU=\$(awk -v t=\$TICKS '{ printf "%.2f", (\$14 + \$15) / t }' /proc/\$KVEL/stat)
FLOOR_TEXT=
if [ -n "\$FLOOR" ]; then
  FLOOR_CPU=\$(awk -v t=\$TICKS '{ printf "%.2f", (\$14 + \$15) / t }' /proc/\$FLOOR/stat)
  FLOOR_TEXT=\$(awk -v k=\$CPU -v f=\$FLOOR_CPU 'BEGIN { printf "; the bare window %.2f s (%.2f x)", f, (f > 0 ? k / f : 0) }')
  kill \$FLOOR
fi
PEAK=\$(awk '/^VmHWM/ { printf "%.1f", \$2 / 1024 }' /proc/\$KVEL/status)
kill \$KVEL \$SIM
wait \$KVEL 2>/dev/null || true
echo "kvel\${KVEL_OPEN_MONITOR:+ with the monitor} over $SECONDS_TO_RUN s: CPU \${CPU} s, peak resident memory \${PEAK} MB\$FLOOR_TEXT"
INNER
xvfb-run -a -s "-screen 0 1024x768x24" sh "$SCRATCH/run.sh"
