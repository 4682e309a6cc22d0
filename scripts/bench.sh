#!/usr/bin/env bash
# Benchmarks of the native build: the text operations, the statistics
# parsing, and a whole statistics run against the fake servers next to the
# same four requests made by curl, measured in one run.
set -euo pipefail
root="$(cd "$(dirname "$0")/.." && pwd)"
cd "$root"
cmake --preset linux >/dev/null
cmake --build --preset linux -j"$(nproc)" --target text_ops_bench statistics_bench >/dev/null

state="$(mktemp -d)"
port=$(tests/fake_isp/start.sh "$state/port")
trap 'tests/fake_isp/stop.sh "$state/port"; rm -rf "$state"' EXIT

build/linux/bench/text_ops_bench
LUM_FAKE_ISP_PORT_FILE="$state/port" build/linux/bench/statistics_bench

# The same four exchanges as the run for the account "errrep": login,
# account page, first report (which holds the error word), second report.
base="http://127.0.0.1:$port/pls/startip"
sum="3917D305"
q="&n2=p_username&n3=p_page_num&v3=1&n4=p_row_count&v2=-1&v4=100"
rounds=100
start=$(date +%s%N)
for _ in $(seq $rounds); do
  curl -s -o /dev/null -A "Mozilla/4.0 (compatible; MSIE 6.0; Windows NT)" \
    -d "p_logname=errrep&p_pwd=secret&p_lang=RUS" "$base/www.GetHomePage" \
    --next -s -o /dev/null "$base/www.PageViewer?page_name=N*CLI_DIALUP_INFO&logname=errrep&chksum=$sum" \
    --next -s -o /dev/null "$base/www.PageViewer?page_name=S*ADM_NET_REP_CNT&logname=errrep&chksum=$sum$q" \
    --next -s -o /dev/null "$base/www.PageViewer?page_name=S*CLI_DIALUP_REP_CNT&logname=errrep&chksum=$sum$q"
done
end=$(date +%s%N)
awk -v ns=$((end - start)) -v n=$rounds 'BEGIN { printf "curl, the same four requests: %.2f ms per run (%d runs)\n", ns / n / 1e6, n }'
scripts/bench-page.sh  # the desktop centre's start-up against a bare window with the same page
scripts/bench-agent.sh  # the desktop agent's memory and start against a bare tray program
