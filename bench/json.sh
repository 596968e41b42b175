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

work=$(mktemp -d "${TMPDIR:-/tmp}/resq-bench-json.XXXXXX") || exit 1
trap 'nsd_stop; rm -rf "$work"' EXIT
trap 'exit 1' HUP INT TERM
bench_make_zone "$work" "$names_count"
bench_start_nsd "$work" || exit 1

# The names answered in the last report of FORM.
answered() {
    case $1 in
    csv) grep -c ',answer,success,' "$work/report" ;;
    json) jq -c 'select(.status == "success")' "$work/report" | wc -l ;;
    esac
}

echo "batch: $names_count names, $rounds rounds" >&2
best_csv=0 best_json=0
round=1
while [ "$round" -le "$rounds" ]; do
    for form in csv json; do
        start=$(bench_now_ns)
        timeout 600 "$resq" -url_pipe "-$form" -server "$BENCH_ADDR" <"$work/names" \
            >"$work/report"
        elapsed=$(($(bench_now_ns) - start))
        got=$(answered "$form")
        if [ "$got" -ne "$names_count" ]; then
            echo "bench: -$form answered $got of $names_count names in round $round" >&2
        fi
        eval "best=\$best_$form"
        if [ "$best" -eq 0 ] || [ "$elapsed" -lt "$best" ]; then
            eval "best_$form=$elapsed"
        fi
        echo "  round $round -$form: $((elapsed / 1000000)) ms" >&2
    done
    round=$((round + 1))
done

echo
echo "resq -url_pipe, $names_count names, best of $rounds; NSD on $BENCH_ADDR in a private namespace"
awk -v n="$names_count" -v csv="$best_csv" -v json="$best_json" 'BEGIN {
    printf "%-6s %10s %10s\n", "form", "ms", "names/s"
    printf "%-6s %10.0f %10.0f\n", "-csv", csv / 1e6, n * 1e9 / csv
    printf "%-6s %10.0f %10.0f\n", "-json", json / 1e6, n * 1e9 / json
    ratio = json / csv
    printf "-json / -csv time: %.2f (target <= 1.3: %s)\n", ratio, ratio <= 1.3 ? "met" : "missed"
}'
