#!/bin/sh
# The alert rules: Prometheus' checker reads them, and its rule tests set each one off on
# series made for it, and not on the others. The example Prometheus configuration that loads
# them passes the checker too.
set -eu
if ! command -v promtool >/dev/null 2>&1; then
  echo "promtool is not installed (apt-get install prometheus): skipped"
  exit 77
fi
cd "$(dirname "$0")"
packaging=$(cd ../../packaging && pwd)
promtool check rules "$packaging/kvel-alerts.yml"
promtool test rules kvel-alerts-test.yml
config=$(mktemp --suffix=.yml)
trap 'rm -f "$config"' EXIT
sed "s#/usr/share/kvel/prometheus/#$packaging/#" "$packaging/prometheus-kvel.yml" >"$config"
promtool check config "$config"
