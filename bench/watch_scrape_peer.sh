#!/usr/bin/env bash
# The scrape time of vexilctl watch --metrics over many boards, measured from outside
# by a real Prometheus server, beside its scrape of its own /metrics (a peer exporter,
# Prometheus's Go client) in the same run. Prints each job's mean and worst
# scrape_duration_seconds and size, and the machine's load.
#   bash bench/watch_scrape_peer.sh [BOARDS] [SECONDS]     (run from the build folder's parent)
set -euo pipefail
boards=${1:-256}
seconds=${2:-60}
build=${BUILD:-build/default}
work=$(mktemp -d /tmp/vexil-scrape-peer-XXXXXX)
trap 'kill $(jobs -p) 2>/dev/null || true; wait 2>/dev/null || true; rm -rf "$work"' EXIT
free_port() { python3 -c 'import socket;s=socket.socket();s.bind(("127.0.0.1",0));print(s.getsockname()[1])'; }
metrics=$(free_port)
web=$(free_port)
cat > "$work/prometheus.yml" <<CONFIG
global: {scrape_interval: 1s, scrape_timeout: 900ms}
scrape_configs:
  - job_name: vexil-watch
    static_configs: [{targets: ['127.0.0.1:$metrics']}]
  - job_name: prometheus-self
    static_configs: [{targets: ['127.0.0.1:$web']}]
CONFIG
prometheus --config.file="$work/prometheus.yml" --storage.tsdb.path="$work/data" \
  --web.listen-address="127.0.0.1:$web" --log.level=warn > "$work/prometheus.log" 2>&1 &
"$build/bench/vexil-watch-bench" --boards "$boards" --seconds "$seconds" --scrapes 0 \
  --metrics-port "$metrics" --vexilctl "$build/ctl/vexilctl" | sed 's/^/bench: /'
query() {
  curl -s --get "http://127.0.0.1:$web/api/v1/query" --data-urlencode "query=$1" |
    python3 -c 'import json,sys; r=json.load(sys.stdin)["data"]["result"]; print(" ".join(x["metric"].get("job","")+"="+x["value"][1] for x in r))'
}
window="${seconds}s"
echo "scrape mean (s):  $(query "avg_over_time(scrape_duration_seconds[$window])")"
echo "scrape worst (s): $(query "max_over_time(scrape_duration_seconds[$window])")"
echo "samples a scrape: $(query "scrape_samples_scraped")"
echo "load average: $(cut -d' ' -f1-3 /proc/loadavg)"
