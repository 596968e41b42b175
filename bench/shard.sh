#!/bin/sh
# How far one machine goes, and what -shard adds on it: a private NSD on loopback serving a zone
# of numbered names, looked up with `-url_pipe -csv -inflight 256` by one resq over the whole list,
# then by N resq processes at once, each `-f NAMES -shard K/N` (K = 1..N) with 256/N lookups in
# flight (one NSD server process drops queries past about 256 outstanding), as N machines would run
# them. Prints names/s (best of the rounds) and how many names the shards answered.
# usage: bench/shard.sh RESQ_BINARY
# Environment: BENCH_NAMES (100000), BENCH_ROUNDS (3), BENCH_SHARDS (2).
set -u
bench_root=$(cd "$(dirname "$0")/.." && pwd)
. "$bench_root/bench/lib.sh"
names_count=${BENCH_NAMES:-100000}
rounds=${BENCH_ROUNDS:-3}
shards=${BENCH_SHARDS:-2}

if [ -z "${BENCH_WRAPPED:-}" ]; then
    bench_resq_binary "bench/shard.sh RESQ_BINARY" "${1:-}"
    bench_need nsd:nsd dig:bind9-dnsutils
    bench_enter_netns "$0" "$(readlink -f "$resq")"
fi
resq=$1

bench_serve_zone "$names_count"
trap 'nsd_stop; rm -rf "$work"' EXIT

# rate SECONDS_NS: names/s of the whole list in that many nanoseconds.
rate() {
    awk -v n="$names_count" -v ns="$1" 'BEGIN { printf "%.0f", n / (ns / 1e9) }'
}

best_one=0
best_sharded=0
for round in $(seq "$rounds"); do
    start=$(bench_now_ns)
    "$resq" -url_pipe -server "$BENCH_ADDR" -csv -inflight 256 -quiet <"$work/names" \
        >"$work/one.csv" 2>/dev/null
    one=$(rate $(($(bench_now_ns) - start)))
    start=$(bench_now_ns)
    pids=
    for k in $(seq "$shards"); do
        "$resq" -f "$work/names" -shard "$k/$shards" -server "$BENCH_ADDR" -csv \
            -inflight $((256 / shards)) \
            -quiet >"$work/shard$k.csv" 2>/dev/null &
        pids="$pids $!"
    done
    # NSD is a child of this shell too: wait for the shards alone.
    # shellcheck disable=SC2086 # one argument per process
    wait $pids
    sharded=$(rate $(($(bench_now_ns) - start)))
    echo "round $round: one process $one names/s, $shards shards at once $sharded names/s"
    [ "$one" -gt "$best_one" ] && best_one=$one
    [ "$sharded" -gt "$best_sharded" ] && best_sharded=$sharded
done
# Every name once: the question names of the shards' rows, less their final dot.
covered=$(cat "$work"/shard*.csv | awk -F, '$2 == "answer" { n = $1; sub(/\.$/, "", n); print n }' |
    sort -u | wc -l)
echo "best: one process $best_one names/s, $shards shards at once $best_sharded names/s;" \
    "the shards answered $covered of $names_count names"
