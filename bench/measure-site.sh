#!/bin/sh
# A site on one machine: GATEWAYS simulated Modbus TCP gateways of 8 units each (kvel-sim, one
# process a gateway), one kvel-exporter polling every line each 5 s, and Debian's Prometheus
# scraping it each 5 s. Measures: how soon every kvel_up is 1 in Prometheus (target 30 s),
# the scrape's p99 (target 100 ms), the exporter's resident memory (target 60 MB) and CPU
# (target 10 % of a core), and whether one gateway killed changes another line's round time
# (target 5 %). Loopback only. Usage: measure-site.sh BUILD_DIR [GATEWAYS] [SECONDS]
set -eu
BUILD_DIR=$1
GATEWAYS=${2:-100}
SECONDS_MEASURED=${3:-60}
SIM=$BUILD_DIR/bin/kvel-sim
EXPORTER=$BUILD_DIR/bin/kvel-exporter
command -v prometheus >/dev/null || { echo "prometheus is not installed: skipped"; exit 0; }

work=$(mktemp -d)
pids=""
cleanup() {
  for pid in $pids; do kill "$pid" 2>/dev/null || true; done
  wait 2>/dev/null || true
  rm -rf "$work"
}
trap cleanup EXIT INT TERM
free_port() { python3 -c 'import socket; s=socket.socket(); s.bind(("127.0.0.1", 0)); print(s.getsockname()[1])'; }
# The first value of an instant query; "none" while Prometheus is not up yet or has nothing.
query() {
  curl -s --get "http://127.0.0.1:$web/api/v1/query" --data-urlencode "query=$1" | python3 -c '
import json, sys
try:
    result = json.load(sys.stdin)["data"]["result"]
    print(result[0]["value"][1] if result else "none")
except ValueError:
    print("none")'
}

listen=$(free_port)
web=$(free_port)
printf '[exporter]\nlisten = 127.0.0.1:%s\n' "$listen" >"$work/site.ini"
i=0
while [ "$i" -lt "$GATEWAYS" ]; do
  "$SIM" --modbus-tcp 0 --address 1,2,3,4,5,6,7,8 >"$work/sim$i.out" 2>/dev/null &
  pids="$pids $!"
  i=$((i + 1))
done
i=0
while [ "$i" -lt "$GATEWAYS" ]; do
  while ! grep -q "modbus-tcp://" "$work/sim$i.out"; do sleep 0.1; done
  gateway=$(grep -o 'modbus-tcp://[0-9.:]*' "$work/sim$i.out" | head -n 1)
  printf '[line gw%03d]\nport = %s\naddresses = 1-8\ninterval = 5\nlabels = site=bench\n' \
    "$i" "$gateway" >>"$work/site.ini"
  i=$((i + 1))
done
cat >"$work/prometheus.yml" <<CONFIG
global:
  scrape_interval: 5s
  evaluation_interval: 5s
scrape_configs:
  - job_name: site
    static_configs:
      - targets: ['127.0.0.1:$listen']
CONFIG

started=$(date +%s.%N)
"$EXPORTER" --config "$work/site.ini" 2>"$work/journal" &
exporter=$!
pids="$pids $exporter"
prometheus --config.file="$work/prometheus.yml" --storage.tsdb.path="$work/data" \
  --web.listen-address="127.0.0.1:$web" >"$work/prometheus.log" 2>&1 &
pids="$pids $!"

units=$((GATEWAYS * 8))
until [ "$(query 'count(kvel_up == 1)')" = "$units" ]; do
  sleep 0.5
  if [ "$(echo "$(date +%s.%N) - $started > 120" | bc)" = 1 ]; then
    echo "not every unit up after 120 s: $(query 'count(kvel_up == 1)') of $units"
    exit 1
  fi
done
echo "every one of $units kvel_up 1 in Prometheus after $(echo "$(date +%s.%N) - $started" | bc | cut -c1-5) s (target 30 s)"

ticks=$(getconf CLK_TCK)
cpu_ticks() { awk '{print $14 + $15}' "/proc/$exporter/stat"; }
before=$(cpu_ticks)
sleep "$SECONDS_MEASURED"
after=$(cpu_ticks)
echo "exporter CPU: $(echo "scale=1; 100 * ($after - $before) / $ticks / $SECONDS_MEASURED" | bc) % of a core (target 10 %)"
echo "exporter resident memory: $(awk '/VmRSS/ {printf "%.1f", $2 / 1024}' "/proc/$exporter/status") MB (target 60 MB)"
echo "scrape p99: $(query "quantile_over_time(0.99, scrape_duration_seconds{job=\"site\"}[${SECONDS_MEASURED}s]) * 1000" | cut -c1-6) ms (target 100 ms)"
echo "series per answering unit: $(query "count({job=\"site\",address=\"1\"}) / $GATEWAYS" | cut -c1-5)"

round() { query 'avg(avg_over_time(kvel_round_duration_seconds{port!~"'"$1"'"}[30s]))'; }
dead=$(grep -o 'modbus-tcp://[0-9.:]*' "$work/sim0.out" | head -n 1)
others_before=$(round "$dead")
kill "$(echo "$pids" | awk '{print $1}')"
sleep 35
others_after=$(round "$dead")
echo "other lines' mean round time: $others_before s before one gateway died, $others_after s after (target within 5 %)"
echo "journal of the loss:"
grep -m 3 "line gw000 " "$work/journal" || true
