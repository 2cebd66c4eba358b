#!/bin/sh
# The example alert rules: Prometheus' checker reads them, and its rule tests set each one off
# on series made for it, and not on the others.
set -eu
if ! command -v promtool >/dev/null 2>&1; then
  echo "promtool is not installed (apt-get install prometheus): skipped"
  exit 77
fi
cd "$(dirname "$0")"
promtool check rules ../../packaging/kvel-alerts.yml
promtool test rules kvel-alerts-test.yml
