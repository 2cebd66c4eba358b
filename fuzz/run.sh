#!/bin/sh
# `make fuzz`: every fuzzer for a longer while (FUZZ_SECONDS each, default 300), then the
# executions each reached. Findings are kept as <build>/fuzz/<fuzzer>-crash-* files.
# Usage: fuzz/run.sh <fuzz-build-dir> [seconds]
set -eu
BUILD_DIR=$(cd "${1:?usage: fuzz/run.sh <fuzz-build-dir> [seconds]}" && pwd)
SECONDS_TO_RUN=${2:-300}
HERE=$(cd "$(dirname "$0")" && pwd)
status=0
for FUZZER in "$BUILD_DIR"/fuzz/fuzz_*; do
  [ -f "$FUZZER" ] && [ -x "$FUZZER" ] || continue
  NAME=$(basename "$FUZZER")
  LOG="$BUILD_DIR/fuzz/$NAME.log"
  if "$HERE/run-one.sh" "$FUZZER" "$HERE/corpus/$NAME" "$SECONDS_TO_RUN" \
      -artifact_prefix="$BUILD_DIR/fuzz/$NAME-" >"$LOG" 2>&1; then
    result=ok
  else
    result=FAILED
    status=1
  fi
  EXECS=$(sed -n 's/^stat::number_of_executed_units: *//p' "$LOG" | tail -1)
  echo "$NAME: $result, ${EXECS:-?} executions in $SECONDS_TO_RUN s (log: $LOG)"
done
exit $status
