#!/bin/sh
# Runs one fuzzer on its seed corpus for a while; new inputs go to a scratch folder, so the
# committed seeds stay as they are. Any crash, leak or failed oracle fails the run.
# Usage: fuzz/run-one.sh <fuzzer> <seed-corpus> <seconds> [more libFuzzer options]
set -eu
FUZZER=$(cd "$(dirname "$1")" && pwd)/$(basename "$1")
SEEDS=$(cd "$2" && pwd)
SECONDS_TO_RUN=$3
shift 3
SCRATCH=$(mktemp -d)
trap 'rm -rf "$SCRATCH"' EXIT
cd "$SCRATCH"
exec "$FUZZER" -max_total_time="$SECONDS_TO_RUN" -timeout=10 -rss_limit_mb=2048 -print_final_stats=1 \
  "$@" "$SCRATCH" "$SEEDS"
