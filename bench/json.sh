#!/bin/sh
# Times the JSON Lines report against separated values: `-url_pipe -csv` and `-url_pipe -json` on
# the same batch of numbered names, both asking a private NSD on loopback inside a private network
# namespace (as bench/run.sh does). The two take turns and each keeps its best round; every JSON
# line is read back with jq to count the answers.
# usage: bench/json.sh RESQ_BINARY
# Environment: BENCH_NAMES (20000), BENCH_ROUNDS (3).
set -u
bench_root=$(cd "$(dirname "$0")/.." && pwd)
. "$bench_root/bench/lib.sh"
names_count=${BENCH_NAMES:-20000}
rounds=${BENCH_ROUNDS:-3}

if [ -z "${BENCH_WRAPPED:-}" ]; then
    bench_resq_binary "bench/json.sh RESQ_BINARY" "${1:-}"
    bench_need nsd:nsd jq:jq
    bench_enter_netns "$0" "$resq"
fi
resq=$1

bench_serve_zone "$names_count"

run_csv() {
    timeout 600 "$resq" -url_pipe -csv -server "$BENCH_ADDR" <"$work/names" >"$work/csv.out"
}
run_json() {
    timeout 600 "$resq" -url_pipe -json -server "$BENCH_ADDR" <"$work/names" >"$work/json.out"
}
answers_csv() { grep -c ',answer,success,' "$work/csv.out"; }
# Every JSON line is read back with jq to count the answers.
answers_json() { jq -c 'select(.status == "success")' "$work/json.out" | wc -l; }

echo "batch: $names_count names, $rounds rounds" >&2
bench_best_rounds "$rounds" "$names_count" csv json

echo
echo "resq -url_pipe, $names_count names, best of $rounds; NSD on $BENCH_ADDR in a private namespace"
awk -v n="$names_count" -v csv="$best_csv" -v json="$best_json" 'BEGIN {
    printf "%-6s %10s %10s\n", "form", "ms", "names/s"
    printf "%-6s %10.0f %10.0f\n", "-csv", csv / 1e6, n * 1e9 / csv
    printf "%-6s %10.0f %10.0f\n", "-json", json / 1e6, n * 1e9 / json
    ratio = json / csv
    printf "-json / -csv time: %.2f (target <= 1.3: %s)\n", ratio, ratio <= 1.3 ? "met" : "missed"
}'
