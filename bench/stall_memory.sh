#!/bin/sh
# Peak memory of concurrent batches that pile up held results, inside a private network namespace,
# against resq_responder on loopback:
#   1. a first name that is never answered (a.silent.test, -timeout 5) followed by 400 names each
#      answered with a reply of nearly 64 KiB (nN.big.test), `-inflight 200 -json`: the report
#      keeps input order, so every lookup behind the silent one waits, with its reply, until the
#      silent one times out. Target: under 256 MiB, every lookup reported;
#   2. 3,000 TCP lookups whose connections the server accepts and never answers
#      (nN.tcp-stall.test), `-tcp -inflight 3000 -timeout 2`. Target: under 64 MiB, every lookup
#      reported.
# Peak resident set size from /usr/bin/time -f %M.
# usage: bench/stall_memory.sh RESQ_BINARY [RESPONDER_BINARY]
set -u
bench_root=$(cd "$(dirname "$0")/.." && pwd)
. "$bench_root/bench/lib.sh"

if [ -z "${BENCH_WRAPPED:-}" ]; then
    bench_resq_binary "bench/stall_memory.sh RESQ_BINARY [RESPONDER_BINARY]" "${1:-}"
    bench_responder_binary "${2:-}"
    if [ ! -x /usr/bin/time ]; then
        echo "bench: missing /usr/bin/time (package time)" >&2
        exit 2
    fi
    bench_enter_netns "$0" "$resq" "$responder"
fi
resq=$1
responder=$2

work=$(mktemp -d "${TMPDIR:-/tmp}/resq-stall.XXXXXX") || exit 1
responder_pid=
trap 'kill $responder_pid 2>/dev/null; rm -rf "$work"' EXIT
trap 'exit 1' HUP INT TERM
addr=$(nsd_default_addr)
bench_start_responder "$work/responder.out" "$addr"

# measure LABEL NAMES TARGET_KIB RESQ_ARG...: runs resq on the names, prints a row.
measure() {
    label=$1
    names=$2
    target=$3
    shift 3
    start=$(bench_now_ns)
    timeout 300 /usr/bin/time -o "$work/time" -f %M "$resq" -url_pipe -json -server "$addr" \
        "$@" <"$names" >"$work/report.json"
    seconds=$(awk -v ns=$(($(bench_now_ns) - start)) 'BEGIN { printf "%.2f", ns / 1e9 }')
    kib=$(tail -n 1 "$work/time")
    expected=$(wc -l <"$names")
    reported=$(grep -o '"line":[0-9]*' "$work/report.json" | sort -u | wc -l)
    statuses=$(grep -o '"status":"[^"]*"' "$work/report.json" | sort | uniq -c |
        awk '{ sub(/"status":/, "", $2); printf "%s%s %s", sep, $1, $2; sep = ", " }')
    verdict=$(awk -v k="$kib" -v t="$target" -v r="$reported" -v e="$expected" \
        'BEGIN { print (k < t && r == e) ? "met" : "missed" }')
    printf '%-44s %10s %7s %6s/%-6s  %s; < %d KiB, all reported: %s\n' "$label" "$kib" \
        "$seconds" "$reported" "$expected" "$statuses" "$target" "$verdict"
}

{
    echo a.silent.test
    awk 'BEGIN { for (i = 1; i <= 400; i++) printf "n%d.big.test\n", i }'
} >"$work/big.names"
awk 'BEGIN { for (i = 1; i <= 3000; i++) printf "n%d.tcp-stall.test\n", i }' >"$work/stall.names"

printf '%-44s %10s %7s %13s  %s\n' "case" "peak KiB" "seconds" "reported" "statuses; target"
measure "silent first, 400 x 64 KiB, -inflight 200" "$work/big.names" 262144 \
    -inflight 200 -timeout 5
measure "3,000 stalled TCP, -inflight 3000 -timeout 2" "$work/stall.names" 65536 \
    -tcp -inflight 3000 -timeout 2
