#!/bin/sh
# Benchmarks resq's concurrent batches (-inflight) inside a private network namespace:
#   1. throughput against a private NSD on loopback serving a zone of numbered names:
#      `resq -url_pipe -csv -inflight 256` over the whole zone (names/s, best round), how many
#      names got a row, and dnsperf with 256 queries outstanding against the same NSD (queries/s);
#   2. throughput through a latency relay: resq_responder answering any name under synth.test
#      after a fixed delay, `-inflight 1000` over a batch of synthetic names, and the one-at-a-time
#      batch (-inflight 1) over a small sample of them at the same delay;
#   3. peak resident memory: `-inflight 1000` on the relay batch, and `-inflight 1` on short and
#      long batches against NSD (it should not grow with the number of names);
#   4. CPU time per name (user + system, from /usr/bin/time) of `-inflight 256` against the
#      one-at-a-time batch, both over the whole zone.
# A name counts as reported when column 1 of some CSV row, less a final dot, is that name: a name
# that timed out still has its `question,timeout` row. Answered names are `,answer,success,` rows.
# usage: bench/concurrent.sh [--build] [RESQ_BINARY [RESPONDER_BINARY]]
#   --build           configure and build a Release resq and resq_responder in build-bench first
#   RESQ_BINARY       the resq to measure (default: the one in build-bench)
#   RESPONDER_BINARY  the relay (default: build-bench/tools/responder/resq_responder)
# Environment: BENCH_NAMES (100000), BENCH_ROUNDS (3), BENCH_RELAY_NAMES (20000),
# BENCH_RELAY_DELAY_MS (20), BENCH_RELAY_SEQUENTIAL (200), BENCH_SHORT_NAMES (1000),
# BENCH_DNSPERF_SECONDS (10).
set -u
bench_root=$(cd "$(dirname "$0")/.." && pwd)
. "$bench_root/bench/lib.sh"
names_count=${BENCH_NAMES:-100000}
rounds=${BENCH_ROUNDS:-3}
relay_count=${BENCH_RELAY_NAMES:-20000}
relay_delay=${BENCH_RELAY_DELAY_MS:-20}
relay_sequential=${BENCH_RELAY_SEQUENTIAL:-200}
short_count=${BENCH_SHORT_NAMES:-1000}
dnsperf_seconds=${BENCH_DNSPERF_SECONDS:-10}

if [ -z "${BENCH_WRAPPED:-}" ]; then
    if [ "${1:-}" = --build ]; then
        shift
        cmake -S "$bench_root" -B "$bench_root/build-bench" -DCMAKE_BUILD_TYPE=Release \
            -DRESQ_TESTS=OFF >/dev/null &&
            cmake --build "$bench_root/build-bench" --target resq resq_responder_main -j2 \
                >/dev/null || exit 1
    fi
    resq=${1:-$(find "$bench_root/build-bench" -maxdepth 3 -type f -name resq -perm -u+x \
        2>/dev/null | head -n 1)}
    responder=${2:-$bench_root/build-bench/tools/responder/resq_responder}
    if [ -z "$resq" ] || [ ! -x "$resq" ]; then
        echo "bench: no resq binary: give its path or --build" >&2
        exit 2
    fi
    if [ ! -x "$responder" ]; then
        echo "bench: no resq_responder at $responder: give its path or --build" >&2
        exit 2
    fi
    bench_need nsd:nsd dig:bind9-dnsutils dnsperf:dnsperf
    if [ ! -x /usr/bin/time ]; then
        echo "bench: missing /usr/bin/time (package time)" >&2
        exit 2
    fi
    bench_enter_netns "$0" "$(readlink -f "$resq")" "$(readlink -f "$responder")"
fi
resq=$1
responder=$2

bench_serve_zone "$names_count"
addr=$BENCH_ADDR
relay_pid=
relay_stop() {
    if [ -n "$relay_pid" ]; then
        kill "$relay_pid" 2>/dev/null
        wait "$relay_pid" 2>/dev/null
        relay_pid=
    fi
}
trap 'relay_stop; nsd_stop; rm -rf "$work"' EXIT

# The relay listens on a loopback address of its own, beside NSD's.
if [ -n "${RESQ_IN_NETNS:-}" ]; then relay_addr=127.0.0.2; else relay_addr=127.0.53.2; fi
"$responder" --address "$relay_addr" --port 53 --synthetic synth.test \
    --delay-ms "$relay_delay" >"$work/relay.out" 2>&1 &
relay_pid=$!
tries=0
until grep -q '^ready' "$work/relay.out"; do
    tries=$((tries + 1))
    if [ "$tries" -gt 50 ] || ! kill -0 "$relay_pid" 2>/dev/null; then
        echo "bench: resq_responder did not start on $relay_addr:" >&2
        cat "$work/relay.out" >&2
        exit 1
    fi
    sleep 0.2
done

awk '{ print $0 " A" }' "$work/names" >"$work/dnsperf.in"
head -n "$short_count" "$work/names" >"$work/short.names"
awk -v n="$relay_count" 'BEGIN { for (i = 1; i <= n; i++) printf "n%d.synth.test\n", i }' \
    >"$work/relay.names"
head -n "$relay_sequential" "$work/relay.names" >"$work/relay_seq.names"

# timed NAME INPUT COMMAND...: runs COMMAND (at most 10 minutes) with INPUT as standard input and
# its output in $work/NAME.out, and appends "user-seconds system-seconds peak-RSS-KiB" to
# $work/NAME.usage.
timed() {
    timed_name=$1
    timed_input=$2
    shift 2
    timeout 600 /usr/bin/time -a -o "$work/$timed_name.usage" -f 'usage %U %S %M' "$@" \
        <"$timed_input" >"$work/$timed_name.out"
}
# reported NAMES OUTPUT: how many names of the file NAMES have a row in the CSV file OUTPUT.
reported() {
    awk -F, 'NR == FNR { wanted[$1] = 1; next }
        { name = $1; sub(/\.$/, "", name) }
        (name in wanted) && !(name in seen) { seen[name] = 1; count++ }
        END { print count + 0 }' "$1" "$2"
}
# udp_drops: datagrams dropped so far for want of room in a socket's receive buffer, in this
# network namespace.
udp_drops() {
    awk '$1 == "Udp:" && !header { for (i = 2; i <= NF; i++) column[$i] = i; header = 1; next }
        $1 == "Udp:" { print $column["RcvbufErrors"]; exit }' /proc/net/snmp
}
# worst_round NAME: "reported answered timed-out drops" of the round with the fewest names
# reported, then the fewest answered, as noted in $work/NAME.rounds.
worst_round() {
    sort -n -k1,1 -k2,2 "$work/$1.rounds" | head -n 1
}
# note_round NAME NAMES: prints how many names of NAMES the last run of NAME answered, and notes
# its reported, answered and timed-out names and receive-buffer drops in $work/NAME.rounds.
note_round() {
    note_reported=$(reported "$2" "$work/$1.out")
    note_answered=$(grep -c ',answer,success,' "$work/$1.out")
    note_timeouts=$(grep -c ',question,timeout,' "$work/$1.out")
    note_drops=$(($(udp_drops) - drops_before))
    echo "$note_reported $note_answered $note_timeouts $note_drops" >>"$work/$1.rounds"
    echo "    $1: $note_reported reported, $note_answered answered," \
        "$note_timeouts timed out, $note_drops UDP receive-buffer drops" >&2
    echo "$note_answered"
}

run_nsd_inflight() {
    drops_before=$(udp_drops)
    timed nsd_inflight "$work/names" "$resq" -url_pipe -csv -inflight 256 -server "$addr"
}
run_nsd_sequential() {
    drops_before=$(udp_drops)
    timed nsd_sequential "$work/names" "$resq" -url_pipe -csv -inflight 1 -server "$addr"
}
run_relay_inflight() {
    drops_before=$(udp_drops)
    timed relay_inflight "$work/relay.names" \
        "$resq" -url_pipe -csv -inflight 1000 -server "$relay_addr"
}
answers_nsd_inflight() { note_round nsd_inflight "$work/names"; }
answers_nsd_sequential() { note_round nsd_sequential "$work/names"; }
answers_relay_inflight() { note_round relay_inflight "$work/relay.names"; }

rate() {
    awk -v n="$1" -v ns="$2" 'BEGIN { printf "%.0f", n * 1e9 / ns }'
}
ratio() {
    awk -v a="$1" -v b="$2" 'BEGIN { printf "%.2f", a / b }'
}
# usage_min NAME / usage_max_rss NAME: the least CPU seconds (user + system) of the runs of
# NAME, and the largest peak resident set size in KiB.
usage_min() {
    awk '$1 == "usage" { cpu = $2 + $3; if (min == "" || cpu < min) min = cpu }
        END { printf "%.2f", min }' "$work/$1.usage"
}
usage_max_rss() {
    awk '$1 == "usage" && $4 > max { max = $4 } END { print max + 0 }' "$work/$1.usage"
}
at_least() {
    if awk -v a="$1" -v b="$2" 'BEGIN { exit !(a >= b) }'; then echo met; else echo missed; fi
}
below() {
    if awk -v a="$1" -v b="$2" 'BEGIN { exit !(a < b) }'; then echo met; else echo missed; fi
}
at_most() {
    if awk -v a="$1" -v b="$2" 'BEGIN { exit !(a <= b) }'; then echo met; else echo missed; fi
}

# 1 and 4. Against NSD: -inflight 256 and the one-at-a-time batch take turns, each keeping its
# best round; then dnsperf, best of as many rounds.
echo "NSD: $names_count names, $rounds rounds" >&2
bench_best_rounds "$rounds" "$names_count" nsd_inflight nsd_sequential
echo "dnsperf: $rounds rounds of $dnsperf_seconds s, 256 queries outstanding" >&2
best_dnsperf=0
dnsperf_lost=
round=1
while [ "$round" -le "$rounds" ]; do
    drops_before=$(udp_drops)
    timeout $((dnsperf_seconds + 60)) dnsperf -s "$addr" -d "$work/dnsperf.in" -c 1 -q 256 \
        -l "$dnsperf_seconds" >"$work/dnsperf.out" 2>&1
    qps=$(awk '/Queries per second:/ { printf "%.0f", $4 }' "$work/dnsperf.out")
    lost=$(awk '/Queries lost:/ { print $3 " of " sent; exit } /Queries sent:/ { sent = $3 }' \
        "$work/dnsperf.out")
    drops=$(($(udp_drops) - drops_before))
    echo "  round $round dnsperf: ${qps:-no figure} queries/s, $lost lost," \
        "$drops UDP receive-buffer drops" >&2
    if [ -n "$qps" ] && [ "$qps" -gt "$best_dnsperf" ]; then
        best_dnsperf=$qps
        dnsperf_lost="$lost lost, $drops UDP receive-buffer drops"
    fi
    round=$((round + 1))
done

# 2 and 3. Through the relay: -inflight 1000, best round; then one run one name at a time.
echo "relay at $relay_delay ms: $relay_count names, $rounds rounds" >&2
bench_best_rounds "$rounds" "$relay_count" relay_inflight
echo "relay at $relay_delay ms, one at a time: $relay_sequential names" >&2
drops_before=$(udp_drops)
start=$(bench_now_ns)
timed relay_sequential "$work/relay_seq.names" \
    "$resq" -url_pipe -csv -inflight 1 -server "$relay_addr"
elapsed_relay_sequential=$(($(bench_now_ns) - start))
note_round relay_sequential "$work/relay_seq.names" >/dev/null

# 3. Peak memory one name at a time against NSD: a short batch here, the whole zone above.
echo "memory: $short_count names one at a time" >&2
timed nsd_short "$work/short.names" "$resq" -url_pipe -csv -inflight 1 -server "$addr"
short_answered=$(grep -c ',answer,success,' "$work/nsd_short.out")

# shellcheck disable=SC2154 # bench_best_rounds sets best_NAME
rate_inflight=$(rate "$names_count" "$best_nsd_inflight")
# shellcheck disable=SC2154
rate_sequential=$(rate "$names_count" "$best_nsd_sequential")
# shellcheck disable=SC2154
rate_relay=$(rate "$relay_count" "$best_relay_inflight")
rate_relay_sequential=$(rate "$relay_sequential" "$elapsed_relay_sequential")
to_dnsperf=$(ratio "$rate_inflight" "$best_dnsperf")
read -r inflight_reported inflight_answered inflight_timeouts inflight_drops <<EOF
$(worst_round nsd_inflight)
EOF
read -r relay_reported relay_answered relay_timeouts relay_drops <<EOF
$(worst_round relay_inflight)
EOF
read -r relay_seq_reported _ <<EOF
$(worst_round relay_sequential)
EOF
rss_relay=$(usage_max_rss relay_inflight)
rss_short=$(usage_max_rss nsd_short)
rss_long=$(usage_max_rss nsd_sequential)
# Flat as bench/memory.sh has it: the long batch's peak within 256 KiB of the short one's.
flat=$(awk -v a="$rss_short" -v b="$rss_long" \
    'BEGIN { print (b - a <= 256) ? "flat" : "grows by " (b - a) " KiB" }')
rss_verdict=$(awk -v a="$rss_short" -v b="$rss_long" \
    'BEGIN { print (a < 4096 && b < 4096 && b - a <= 256) ? "met" : "missed" }')
cpu_inflight=$(usage_min nsd_inflight)
cpu_sequential=$(usage_min nsd_sequential)
per_name() {
    awk -v s="$1" -v n="$names_count" 'BEGIN { printf "%.1f", s * 1e6 / n }'
}
cpu_ratio=$(ratio "$cpu_inflight" "$cpu_sequential")

all_reported() {
    if [ "$1" -eq "$2" ]; then echo met; else echo "missed ($(($2 - $1)) without a row)"; fi
}
cpu=$(awk -F': ' '/^model name/ { print $2; exit }' /proc/cpuinfo)
echo
echo "resq concurrent benchmark, $(date -u +%Y-%m-%d): $(nproc) cores, $cpu;" \
    "NSD $(nsd -v 2>&1 | awk 'NR == 1 { print $3 }'); $(dnsperf -h 2>&1 |
        awk '/^Version/ { print "dnsperf " $2 }')"
echo "NSD on $addr, relay on $relay_addr ($relay_delay ms), in a private network namespace;" \
    "$(basename "$resq") at $resq; best of $rounds rounds"
echo
row() {
    printf '%-52s %20s  %s\n' "$1" "$2" "$3"
}
row "measure" "value" "target: verdict"
row "NSD, $names_count names, -inflight 256, names/s" "$rate_inflight" \
    ">= 50000: $(at_least "$rate_inflight" 50000)"
row "  names with a row (worst round)" "$inflight_reported" \
    "all $names_count: $(all_reported "$inflight_reported" "$names_count")"
row "  answered / timed out (worst round)" "$inflight_answered / $inflight_timeouts" \
    "reported ($inflight_drops UDP receive-buffer drops)"
row "  -inflight 1 on the same names, names/s" "$rate_sequential" "reported"
row "dnsperf -c 1 -q 256 -l $dnsperf_seconds, queries/s" "$best_dnsperf" \
    "reported ($dnsperf_lost)"
row "  resq -inflight 256 / dnsperf" "$to_dnsperf" ">= 0.6: $(at_least "$to_dnsperf" 0.6)"
row "relay $relay_delay ms, $relay_count names, -inflight 1000, names/s" "$rate_relay" \
    ">= 25000: $(at_least "$rate_relay" 25000)"
row "  names with a row (worst round)" "$relay_reported" \
    "all $relay_count: $(all_reported "$relay_reported" "$relay_count")"
row "  answered / timed out (worst round)" "$relay_answered / $relay_timeouts" \
    "reported ($relay_drops UDP receive-buffer drops)"
row "relay $relay_delay ms, $relay_sequential names, -inflight 1, names/s" \
    "$rate_relay_sequential" \
    "about $((1000 / relay_delay)): reported ($relay_seq_reported with a row)"
row "peak RSS KiB, relay batch, -inflight 1000" "$rss_relay" \
    "< 32768: $(below "$rss_relay" 32768)"
row "peak RSS KiB, NSD, -inflight 1, $short_count / $names_count names" \
    "$rss_short / $rss_long" \
    "< 4096, flat: $rss_verdict ($flat)"
row "CPU us per name, -inflight 256 / -inflight 1" \
    "$(per_name "$cpu_inflight") / $(per_name "$cpu_sequential")" \
    "ratio $cpu_ratio <= 1.5: $(at_most "$cpu_ratio" 1.5)"
echo "  (CPU: user + system seconds of the least costly round over $names_count names;" \
    "short batch: $short_answered of $short_count answered)"
