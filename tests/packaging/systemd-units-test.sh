#!/bin/sh
# The exporter's service units: systemd reads them without a complaint, and rates their
# sandbox at most 3.0 ("OK"). Run offline, since a test machine's first process need not be
# systemd. $1 is the built kvel-exporter, which verify wants to find at ExecStart.
set -eu
if ! command -v systemd-analyze >/dev/null 2>&1; then
  echo "systemd-analyze is not installed: skipped"
  exit 77
fi
exporter=$1
packaging=$(dirname "$0")/../../packaging
units=$(mktemp -d)
trap 'rm -rf "$units"' EXIT
sed "s#/usr/bin/kvel-exporter#$exporter#" "$packaging/kvel-exporter.service" \
  >"$units/kvel-exporter.service"
# A template is verified through one of its instances.
sed "s#/usr/bin/kvel-exporter#$exporter#" "$packaging/kvel-exporter@.service" \
  >"$units/kvel-exporter@ttyUSB0.service"
for unit in kvel-exporter.service kvel-exporter@ttyUSB0.service; do
  # The manual page comes with the package, not with the build tree.
  output=$(systemd-analyze verify --man=no "$units/$unit" 2>&1)
  if [ -n "$output" ]; then
    echo "$unit: $output"
    exit 1
  fi
  if ! rating=$(systemd-analyze security --offline=yes --threshold=30 "$units/$unit" 2>&1); then
    echo "$rating"
    exit 1
  fi
  echo "$rating" | tail -n 1
done
