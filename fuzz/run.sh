#!/bin/sh
# `make fuzz`: the fuzzer of every seed corpus in fuzz/corpus/ for a longer while (FUZZ_SECONDS
# each, default 300), then the executions each reached. A corpus whose fuzzer was not built
# fails the run. Findings are kept as <build>/fuzz/<fuzzer>-crash-* files.
# Usage: fuzz/run.sh <fuzz-build-dir> [seconds]
set -eu
BUILD_DIR=$(cd "${1:?usage: fuzz/run.sh <fuzz-build-dir> [seconds]}" && pwd)
SECONDS_TO_RUN=${2:-300}
HERE=$(cd "$(dirname "$0")" && pwd)
status=0
for CORPUS in "$HERE"/corpus/*/; do
  NAME=$(basename "$CORPUS")
  FUZZER="$BUILD_DIR/fuzz/$NAME"
  LOG="$BUILD_DIR/fuzz/$NAME.log"
  if [ ! -x "$FUZZER" ]; then
    echo "$NAME: FAILED, no fuzzer built for fuzz/corpus/$NAME"
    status=1
    continue
  fi
  if "$HERE/run-one.sh" "$FUZZER" "$CORPUS" "$SECONDS_TO_RUN" \
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
