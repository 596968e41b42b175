#!/bin/sh
# How closely `-rate R` keeps to R queries a second, inside a private network namespace: for each
# R, a batch of synthetic names lasting a few seconds at that rate, with `-inflight 1000 -json`,
# against resq_responder answering any name under synth.test at once. The achieved rate is
# (queries - 1) / (last `sent` - first `sent`), from the report's send times (microseconds).
# Target: within 2 % of R.
# usage: bench/rate.sh RESQ_BINARY [RESPONDER_BINARY]
# Environment: BENCH_RATES ("10:30 100:300 1000:3000 10000:25000 50000:100000", R:QUERIES).
set -u
bench_root=$(cd "$(dirname "$0")/.." && pwd)
. "$bench_root/bench/lib.sh"
rates=${BENCH_RATES:-10:30 100:300 1000:3000 10000:25000 50000:100000}

if [ -z "${BENCH_WRAPPED:-}" ]; then
    bench_resq_binary "bench/rate.sh RESQ_BINARY [RESPONDER_BINARY]" "${1:-}"
    bench_responder_binary "${2:-}"
    bench_enter_netns "$0" "$resq" "$responder"
fi
resq=$1
responder=$2

work=$(mktemp -d "${TMPDIR:-/tmp}/resq-rate.XXXXXX") || exit 1
relay_pid=
trap 'kill $relay_pid 2>/dev/null; rm -rf "$work"' EXIT
trap 'exit 1' HUP INT TERM
if [ -n "${RESQ_IN_NETNS:-}" ]; then relay_addr=127.0.0.2; else relay_addr=127.0.53.2; fi
bench_start_responder "$work/relay.out" "$relay_addr" --synthetic synth.test
relay_pid=$responder_pid

printf '%-8s %8s %8s %10s %12s %9s %12s  %s\n' "-rate" "queries" "success" "span s" \
    "achieved/s" "error %" "largest gap" "target"
for pair in $rates; do
    rate=${pair%%:*}
    count=${pair#*:}
    awk -v n="$count" -v r="$rate" 'BEGIN { for (i = 1; i <= n; i++)
        printf "r%d-n%d.synth.test\n", r, i }' >"$work/names"
    timeout 600 "$resq" -url_pipe -json -inflight 1000 -rate "$rate" -server "$relay_addr" \
        <"$work/names" >"$work/report.json"
    success=$(grep -c '"status":"success"' "$work/report.json")
    # The send times as seconds of the day, in order; a run crossing midnight is not handled.
    grep -o '"sent":"[^"]*"' "$work/report.json" |
        awk -F'[T:Z]' '{ printf "%.6f\n", $3 * 3600 + $4 * 60 + $5 }' | sort -n |
        awk -v r="$rate" -v n="$count" -v ok="$success" '
            NR == 1 { first = $1 }
            NR > 1 && $1 - last > gap { gap = $1 - last }
            { last = $1 }
            END {
                span = last - first
                achieved = (NR - 1) / span
                error = (achieved - r) * 100 / r
                verdict = (error < 2 && error > -2) ? "met" : "missed"
                printf "%-8s %8d %8d %10.3f %12.1f %+9.2f %9.3f ms  within 2 %%: %s\n",
                    r, NR, ok, span, achieved, error, gap * 1000, verdict
            }'
done
