#!/bin/sh
# Peak memory and time of resq on the largest replies a hostile server can send: nearly 64 KiB of
# minimal answers (about 4,000) or of five-byte questions (about 13,000), each decoded and written
# as a table, CSV, XML, JSON Lines and with -verbose (JSON: one row, the attempt). Target: under
# 16 MiB (it was 8 MiB before the concurrent lookup engine) and well under a second per run.
# usage: bench/hostile_memory.sh RESQ_BINARY
set -u
bench_root=$(cd "$(dirname "$0")/.." && pwd)
. "$bench_root/bench/lib.sh"
bench_resq_binary "bench/hostile_memory.sh RESQ_BINARY" "${1:-}"
bench_need python3:python3
bench_enter_netns "$0" "$resq"

addr=$(nsd_default_addr)
work=$(mktemp -d "${TMPDIR:-/tmp}/resq-hostile.XXXXXX") || exit 1
python3 "$bench_root/bench/hostile_replies.py" "$addr" >"$work/server.log" 2>&1 &
server=$!
trap 'kill $server 2>/dev/null; rm -rf "$work"' EXIT
trap 'exit 1' HUP INT TERM
for _ in 1 2 3 4 5 6 7 8 9 10; do
    grep -q ready "$work/server.log" 2>/dev/null && break
    sleep 0.2
done

printf '%-10s %-10s %8s %14s %9s\n' "reply" "format" "rows" "peak RSS KiB" "seconds"
worst_kib=0
worst_s=0
for reply in answers questions; do
    for format in table -csv -xml -json -verbose; do
        set -- -url "$reply.hostile.test" -server "$addr"
        [ "$format" = table ] || set -- "$@" "$format"
        start=$(bench_now_ns)
        kib=$(bench_peak_rss_kib /dev/null "$resq" "$@")
        end=$(bench_now_ns)
        rows=$("$resq" "$@" |
            grep -c -e '| success |' -e ',success,' -e '| invalid |' -e ',invalid,' \
                -e '<data_entry>' -e '"status":"success"' -e '"status":"invalid"')
        seconds=$(awk -v ns=$((end - start)) 'BEGIN { printf "%.2f", ns / 1e9 }')
        printf '%-10s %-10s %8s %14s %9s\n' "$reply" "$format" "$rows" "$kib" "$seconds"
        worst_kib=$((kib > worst_kib ? kib : worst_kib))
        worst_s=$(awk -v a="$seconds" -v b="$worst_s" 'BEGIN { print (a > b) ? a : b }')
    done
done
# The reply of questions is no reply to the query (it does not echo the one question): it is
# discarded and the run waits out its time-out (1 s), so only memory is judged.
awk -v kib="$worst_kib" -v s="$worst_s" 'BEGIN {
    printf "hostile verdict: peak %d KiB, slowest %.2f s: %s\n", kib, s,
        (kib < 16384) ? "target met" : "target missed" }'
