#!/bin/sh
# A burst of 10,000 lookups all in flight at once, with a short time-out, inside a private network
# namespace: does every lookup that was answered count as answered?
#   1. resq_responder as a relay answering any name under synth.test at once (no drops):
#      `resq -url_pipe -json -inflight 10000 -timeout 0.2` over 10,000 synthetic names; attempts
#      by status, the namespace's UDP receive-buffer drops (/proc/net/snmp RcvbufErrors) before
#      and after, so that a kernel drop is never taken for a false time-out, and resq's rtt_ms
#      (median, p99) beside the round trips on the wire (bench/wire_rtt.py captures loopback and
#      pairs each query with its reply by port and id);
#   2. the same burst against a private NSD serving a zone of 10,000 numbered names, in turns with
#      `dnsperf -q 10000 -t 0.2` over the same names: resq's failed attempts against dnsperf's lost
#      queries, with the drops of each run.
# usage: bench/burst.sh RESQ_BINARY [RESPONDER_BINARY]
# Environment: BENCH_NAMES (10000), BENCH_ROUNDS (3).
set -u
bench_root=$(cd "$(dirname "$0")/.." && pwd)
. "$bench_root/bench/lib.sh"
names_count=${BENCH_NAMES:-10000}
rounds=${BENCH_ROUNDS:-3}

if [ -z "${BENCH_WRAPPED:-}" ]; then
    bench_resq_binary "bench/burst.sh RESQ_BINARY [RESPONDER_BINARY]" "${1:-}"
    bench_responder_binary "${2:-}"
    bench_need nsd:nsd dnsperf:dnsperf jq:jq python3:python3
    bench_enter_netns "$0" "$resq" "$responder"
fi
resq=$1
responder=$2

bench_serve_zone "$names_count"
addr=$BENCH_ADDR
relay_pid=
capture_pid=
trap 'kill $relay_pid $capture_pid 2>/dev/null; nsd_stop; rm -rf "$work"' EXIT
if [ -n "${RESQ_IN_NETNS:-}" ]; then relay_addr=127.0.0.2; else relay_addr=127.0.53.2; fi
bench_start_responder "$work/relay.out" "$relay_addr" --synthetic synth.test
relay_pid=$responder_pid
awk -v n="$names_count" 'BEGIN { for (i = 1; i <= n; i++) printf "n%d.synth.test\n", i }' \
    >"$work/relay.names"
awk '{ print $0 " A" }' "$work/names" >"$work/dnsperf.in"

udp_drops() {
    awk '$1 == "Udp:" && !header { for (i = 2; i <= NF; i++) column[$i] = i; header = 1; next }
        $1 == "Udp:" { print $column["RcvbufErrors"]; exit }' /proc/net/snmp
}
# statuses FILE: "count status" for the attempts of a JSON Lines report, on one line.
statuses() {
    jq -r .status "$1" | sort | uniq -c | awk '{ printf "%s%s %s", sep, $1, $2; sep = ", " }'
}
# rtt FILE: count, median, p99 and largest rtt_ms of the answered attempts of a JSON report.
rtt() {
    jq -r 'select(.rtt_ms != null) | .rtt_ms' "$1" | sort -n |
        awk '{ v[NR] = $1 } END { if (NR == 0) { print "none"; exit }
            i = int(NR * 0.99); if (i < 1) i = 1
            printf "%d median %.3f p99 %.3f max %.3f", NR, v[int((NR + 1) / 2)], v[i], v[NR] }'
}
# send_span FILE: milliseconds from the first query sent to the last, from the JSON `sent` times.
send_span() {
    jq -r '.sent | capture("T(?<h>..):(?<m>..):(?<s>[0-9.]+)Z") | (.h | tonumber) * 3600
        + (.m | tonumber) * 60 + (.s | tonumber)' "$1" |
        awk 'NR == 1 || $1 < lo { lo = $1 } NR == 1 || $1 > hi { hi = $1 }
            END { printf "%.1f", (hi - lo) * 1000 }'
}
burst() {
    timeout 120 "$resq" -url_pipe -json -inflight "$names_count" -timeout 0.2 -server "$1" \
        <"$2" >"$3"
}

echo "1. relay on $relay_addr, answering at once: $names_count names, $rounds rounds"
round=1
while [ "$round" -le "$rounds" ]; do
    python3 "$bench_root/bench/wire_rtt.py" capture "$work/wire.pcap" >"$work/capture.out" &
    capture_pid=$!
    until grep -q ready "$work/capture.out" 2>/dev/null; do sleep 0.1; done
    before=$(udp_drops)
    burst "$relay_addr" "$work/relay.names" "$work/relay.json"
    after=$(udp_drops)
    sleep 0.2
    kill "$capture_pid"
    wait "$capture_pid"
    capture_pid=
    echo "  round $round: $(wc -l <"$work/relay.json") attempts: $(statuses "$work/relay.json");" \
        "RcvbufErrors $before -> $after; sent over $(send_span "$work/relay.json") ms"
    echo "    resq rtt_ms: $(rtt "$work/relay.json")"
    echo "    $(cat "$work/capture.out" | tail -n 1) (loopback capture)"
    python3 "$bench_root/bench/wire_rtt.py" pair "$work/wire.pcap" "$work/relay.json" |
        sed 's/^/    /'
    round=$((round + 1))
done

echo "2. NSD on $addr: $names_count names, resq and dnsperf in turns, $rounds rounds"
round=1
while [ "$round" -le "$rounds" ]; do
    before=$(udp_drops)
    burst "$addr" "$work/names" "$work/nsd.json"
    after=$(udp_drops)
    failed=$(jq -r 'select(.status != "success") | .status' "$work/nsd.json" | wc -l)
    echo "  round $round resq: $(statuses "$work/nsd.json"); $failed failed;" \
        "RcvbufErrors $before -> $after; sent over $(send_span "$work/nsd.json") ms;" \
        "rtt_ms $(rtt "$work/nsd.json")"
    before=$(udp_drops)
    timeout 60 dnsperf -s "$addr" -d "$work/dnsperf.in" -c 1 -q "$names_count" -t 0.2 -n 1 \
        >"$work/dnsperf.out" 2>&1
    after=$(udp_drops)
    echo "  round $round dnsperf: $(awk '/Queries sent:/ { s = $3 } /Queries lost:/ { l = $3 }
        /Average Latency/ { a = $4 } /Run time/ { t = $4 }
        END { printf "%s sent, %s lost, average latency %s s, run time %s s", s, l, a, t }' \
        "$work/dnsperf.out"); RcvbufErrors $before -> $after"
    round=$((round + 1))
done
