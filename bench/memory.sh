#!/bin/sh
# Peak memory of a resq batch run: the resident set size of `resq -url_pipe -csv` for batches of
# different lengths, answered by a private NSD on loopback. A batch reads one line at a time, so
# the peak should not grow with the number of names; the target is under 4 MiB.
# usage: bench/memory.sh RESQ_BINARY [COUNT...]      (default counts: 1000 1000000)
# Called by bench/run.sh with BENCH_ADDR (a running server) and BENCH_WORK (its zone's names).
set -u
bench_root=$(cd "$(dirname "$0")/.." && pwd)
. "$bench_root/bench/lib.sh"
bench_resq_binary "bench/memory.sh RESQ_BINARY [COUNT...]" "${1:-}"
shift
[ "$#" -gt 0 ] || set -- 1000 1000000

if [ -z "${BENCH_ADDR:-}" ]; then
    bench_need nsd:nsd dig:bind9-dnsutils
    bench_enter_netns "$0" "$resq" "$@"
    BENCH_WORK=$(mktemp -d "${TMPDIR:-/tmp}/resq-bench.XXXXXX") || exit 1
    trap 'nsd_stop; rm -rf "$BENCH_WORK"' EXIT
    trap 'exit 1' HUP INT TERM
    bench_make_zone "$BENCH_WORK" 20000
    bench_start_nsd "$BENCH_WORK" || exit 1
fi

printf '%-12s %12s %14s %10s  %s\n' "memory" "names" "peak RSS KiB" "seconds" "answered"
first_kib=
last_kib=
for count in "$@"; do
    bench_repeat "$BENCH_WORK/names" "$count" >"$BENCH_WORK/memory.in"
    start=$(bench_now_ns)
    kib=$(bench_peak_rss_kib "$BENCH_WORK/memory.in" \
        "$resq" -url_pipe -csv -server "$BENCH_ADDR")
    end=$(bench_now_ns)
    # The measured run writes to /dev/null: a short second run shows that names are answered.
    sample=$((count < 1000 ? count : 1000))
    rows=$(head -n "$sample" "$BENCH_WORK/memory.in" |
        "$resq" -url_pipe -csv -server "$BENCH_ADDR" | grep -c ',answer,success,')
    printf '%-12s %12s %14s %10s  %s\n' "resq" "$count" "$kib" \
        "$(awk -v ns=$((end - start)) 'BEGIN { printf "%.1f", ns / 1e9 }')" \
        "$rows of the first $sample"
    [ -n "$first_kib" ] || first_kib=$kib
    last_kib=$kib
    rm -f "$BENCH_WORK/memory.in"
done
verdict=$(awk -v a="$first_kib" -v b="$last_kib" 'BEGIN {
    flat = (b - a <= 256) ? "flat" : "grows by " (b - a) " KiB"
    print flat ", " ((b < 4096 && a < 4096) ? "under 4 MiB: target met" : "over 4 MiB: target missed") }')
echo "memory verdict: $verdict"
