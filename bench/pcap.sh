#!/bin/sh
# The cost of -pcap: a batch of numbered names (-url_pipe -csv) against a private NSD on loopback
# inside a private network namespace, with and without the evidence file, best of several rounds.
# usage: bench/pcap.sh RESQ_BINARY
# Environment: BENCH_NAMES (20000), BENCH_ROUNDS (3).
set -u
bench_root=$(cd "$(dirname "$0")/.." && pwd)
. "$bench_root/bench/lib.sh"
names_count=${BENCH_NAMES:-20000}
rounds=${BENCH_ROUNDS:-3}

if [ -z "${BENCH_WRAPPED:-}" ]; then
    bench_resq_binary "bench/pcap.sh RESQ_BINARY" "${1:-}"
    bench_need nsd:nsd
    bench_enter_netns "$0" "$resq"
fi
resq=$1

bench_serve_zone "$names_count"

run_csv() {
    timeout 600 "$resq" -url_pipe -csv -server "$BENCH_ADDR" <"$work/names" >"$work/csv.out"
}
run_pcap() {
    timeout 600 "$resq" -url_pipe -csv -pcap "$work/evidence.pcap" -server "$BENCH_ADDR" \
        <"$work/names" >"$work/pcap.out"
}

answers_csv() { grep -c ',answer,success,' "$work/csv.out"; }
answers_pcap() { grep -c ',answer,success,' "$work/pcap.out"; }
bench_best_rounds "$rounds" "$names_count" csv pcap
awk -v n="$names_count" -v csv="$best_csv" -v pcap="$best_pcap" \
    -v size="$(wc -c <"$work/evidence.pcap")" 'BEGIN {
    printf "batch of %d names, names/s (best of rounds): -csv %.0f, -csv -pcap %.0f\n",
        n, n * 1e9 / csv, n * 1e9 / pcap
    printf "-pcap time / -csv time: %.2f (target <= 1.5); evidence file %d bytes\n", pcap / csv, size
}'
