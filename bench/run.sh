#!/bin/sh
# Benchmarks resq against dig and kdig, all asking a private NSD on loopback inside a private
# network namespace that serves a zone of numbered names:
#   1. batch throughput: every name of the zone looked up one after another (names/second), over
#      UDP and over TCP (resq -tcp against dig +tcp);
#   2. single lookup: wall time of one whole process (hyperfine, or a timed loop without it);
#   3. peak memory of resq for short and very long batches (bench/memory.sh).
# usage: bench/run.sh [--build] [RESQ_BINARY]
#   --build      configure and build a Release resq in build-bench first
#   RESQ_BINARY  the resq to measure (default: the one in build-bench)
# Environment: BENCH_NAMES (20000), BENCH_ROUNDS (3), BENCH_SINGLE_RUNS (300),
# BENCH_MEMORY_COUNTS ("1000 1000000"), BENCH_BATCH_TOOLS ("resq dig kdig resq_tcp dig_tcp": the
# batches to run, in turns; BENCH_ROUNDS=5 BENCH_BATCH_TOOLS="resq dig" gives the median of five
# alternating rounds of resq and dig -f in a few seconds, without dig +tcp's minute a round).
set -u
bench_root=$(cd "$(dirname "$0")/.." && pwd)
. "$bench_root/bench/lib.sh"
names_count=${BENCH_NAMES:-20000}
rounds=${BENCH_ROUNDS:-3}
single_runs=${BENCH_SINGLE_RUNS:-300}
memory_counts=${BENCH_MEMORY_COUNTS:-1000 1000000}
batch_tools=${BENCH_BATCH_TOOLS:-resq dig kdig resq_tcp dig_tcp}

if [ -z "${BENCH_WRAPPED:-}" ]; then
    if [ "${1:-}" = --build ]; then
        shift
        cmake -S "$bench_root" -B "$bench_root/build-bench" -DCMAKE_BUILD_TYPE=Release \
            -DRESQ_TESTS=OFF >/dev/null &&
            cmake --build "$bench_root/build-bench" --target resq -j2 >/dev/null || exit 1
    fi
    resq=${1:-$(find "$bench_root/build-bench" -maxdepth 3 -type f -name resq -perm -u+x \
        2>/dev/null | head -n 1)}
    if [ -z "$resq" ] || [ ! -x "$resq" ]; then
        echo "bench: no resq binary: give its path or --build" >&2
        exit 2
    fi
    bench_need nsd:nsd dig:bind9-dnsutils kdig:knot-dnsutils
    bench_enter_netns "$0" "$(readlink -f "$resq")"
fi
resq=$1

bench_serve_zone "$names_count"
addr=$BENCH_ADDR
awk '{ print $0 " A" }' "$work/names" >"$work/dig.batch"
probe=n00001.bench.test

run_resq() {
    timeout 600 "$resq" -url_pipe -csv -server "$addr" <"$work/names" >"$work/resq.out"
}
run_dig() {
    timeout 600 dig @"$addr" +tries=1 +time=1 +noall +answer -f "$work/dig.batch" >"$work/dig.out"
}
run_resq_tcp() {
    timeout 600 "$resq" -url_pipe -csv -tcp -server "$addr" <"$work/names" >"$work/resq_tcp.out"
}
run_dig_tcp() {
    timeout 600 dig @"$addr" +tcp +tries=1 +time=1 +noall +answer -f "$work/dig.batch" \
        >"$work/dig_tcp.out"
}
run_kdig() {
    timeout 600 xargs -n 1000 kdig @"$addr" +retry=0 +timeout=1 +noall +answer \
        <"$work/names" >"$work/kdig.out"
}
answers_resq() { grep -c ',answer,success,' "$work/resq.out"; }
answers_resq_tcp() { grep -c ',answer,success,' "$work/resq_tcp.out"; }
answers_dig() { grep -c '[[:space:]]A[[:space:]]' "$work/dig.out"; }
answers_dig_tcp() { grep -c '[[:space:]]A[[:space:]]' "$work/dig_tcp.out"; }
answers_kdig() { grep -c '[[:space:]]A[[:space:]]' "$work/kdig.out"; }

# 1. Batch throughput: the tools take turns, and each keeps its best round.
echo "batch: $names_count names, $rounds rounds" >&2
for tool in resq dig kdig resq_tcp dig_tcp; do
    eval "best_$tool=0; median_$tool=0"
done
# shellcheck disable=SC2086 # the tools are meant to split into arguments
bench_best_rounds "$rounds" "$names_count" $batch_tools
rate() {
    awk -v n="$names_count" -v ns="$1" 'BEGIN { if (ns > 0) printf "%.0f", n * 1e9 / ns
        else printf "-" }'
}
ratio() {
    awk -v a="$1" -v b="$2" 'BEGIN { if (a + 0 > 0 && b + 0 > 0) printf "%.2f", a / b
        else printf "-" }'
}
median_rate_resq=$(rate "$median_resq")
median_rate_dig=$(rate "$median_dig")
rate_resq=$(rate "$best_resq")
rate_dig=$(rate "$best_dig")
rate_kdig=$(rate "$best_kdig")
rate_resq_tcp=$(rate "$best_resq_tcp")
rate_dig_tcp=$(rate "$best_dig_tcp")

# 2. One lookup, whole process: mean wall time in milliseconds.
echo "single lookup: $single_runs runs each" >&2
if command -v hyperfine >/dev/null 2>&1; then
    single_how="hyperfine, mean of $single_runs runs"
    hyperfine -N --warmup 20 --runs "$single_runs" --export-csv "$work/single.csv" \
        -n resq "$resq -url $probe -server $addr" \
        -n dig "dig @$addr $probe A +tries=1 +time=1" \
        -n kdig "kdig @$addr $probe A +retry=0 +timeout=1" >"$work/hyperfine.txt" 2>&1 ||
        cat "$work/hyperfine.txt" >&2
    mean_ms() {
        awk -F, -v name="$1" '$1 == name { printf "%.3f", $2 * 1000 }' "$work/single.csv"
    }
    single_resq=$(mean_ms resq)
    single_dig=$(mean_ms dig)
    single_kdig=$(mean_ms kdig)
else
    single_how="loop of $single_runs runs, mean"
    loop_ms() {
        start=$(bench_now_ns)
        i=0
        while [ "$i" -lt "$single_runs" ]; do
            "$@" >/dev/null 2>&1
            i=$((i + 1))
        done
        awk -v ns=$(($(bench_now_ns) - start)) -v n="$single_runs" \
            'BEGIN { printf "%.3f", ns / n / 1e6 }'
    }
    single_resq=$(loop_ms "$resq" -url "$probe" -server "$addr")
    single_dig=$(loop_ms dig @"$addr" "$probe" A +tries=1 +time=1)
    single_kdig=$(loop_ms kdig @"$addr" "$probe" A +retry=0 +timeout=1)
fi

# 3. Peak memory against the same server.
echo "memory: batches of $memory_counts names" >&2
# shellcheck disable=SC2086 # the counts are meant to split into arguments
BENCH_ADDR=$addr BENCH_WORK=$work "$bench_root/bench/memory.sh" "$resq" $memory_counts \
    >"$work/memory.txt"

cpu=$(awk -F': ' '/^model name/ { print $2; exit }' /proc/cpuinfo)
verdict() {
    if awk -v a="$1" -v b="$2" 'BEGIN { exit !(a >= b) }'; then echo met; else echo missed; fi
}
echo
echo "resq benchmark: $(nproc) cores, $cpu; NSD $(nsd -v 2>&1 | awk 'NR == 1 { print $3 }')"
echo "on $addr in a private network namespace; $(basename "$resq") at $resq"
echo
printf '%-34s %10s %10s %10s %9s %9s  %s\n' "measure" "resq" "dig" "kdig" "resq/dig" \
    "resq/kdig" "target"
printf '%-34s %10s %10s %10s %9s %9s  %s\n' "batch of $names_count, names/s (best)" \
    "$rate_resq" "$rate_dig" "$rate_kdig" "$(ratio "$rate_resq" "$rate_dig")" \
    "$(ratio "$rate_resq" "$rate_kdig")" \
    "resq >= 2 x dig: $(verdict "$(ratio "$rate_resq" "$rate_dig")" 2)"
printf '%-34s %10s %10s %10s %9s %9s  %s\n' "the same, names/s (median of $rounds)" \
    "$median_rate_resq" "$median_rate_dig" "-" "$(ratio "$median_rate_resq" "$median_rate_dig")" \
    "-" "resq >= 2 x dig: $(verdict "$(ratio "$median_rate_resq" "$median_rate_dig")" 2)"
printf '%-34s %10s %10s %10s %9s %9s  %s\n' "batch over TCP, names/s (best)" \
    "$rate_resq_tcp" "$rate_dig_tcp" "-" "$(ratio "$rate_resq_tcp" "$rate_dig_tcp")" "-" \
    "reported (dig +tcp -f)"
printf '%-34s %10s %10s %10s %9s %9s  %s\n' "one lookup, ms per process" \
    "$single_resq" "$single_dig" "$single_kdig" "$(ratio "$single_resq" "$single_dig")" \
    "$(ratio "$single_resq" "$single_kdig")" \
    "resq <= 0.5 x kdig: $(verdict 0.5 "$(ratio "$single_resq" "$single_kdig")")"
echo "  (single lookup timed by $single_how)"
echo
cat "$work/memory.txt"
