# Shared by the scripts of bench/: the private network namespace, the zone of numbered
# names, the NSD that serves it on loopback, and the measuring helpers. Sourced with bench_root
# set to the top of the source tree.

NSD_LIB=$bench_root/tests/interop/nsd_lib.sh
. "$NSD_LIB"
PATH=$PATH:/usr/sbin:/sbin

# bench_enter_netns SCRIPT ARG...: runs SCRIPT again inside a private network namespace (or, as
# root without namespaces, on a loopback address of its own); returns only when already inside.
bench_enter_netns() {
    if [ -z "${BENCH_WRAPPED:-}" ]; then
        export BENCH_WRAPPED=1
        exec "$bench_root/tests/tools/netns_run.sh" "$@"
    fi
}

# bench_resq_binary USAGE PATH: sets resq to the absolute path of the binary PATH, or exits with
# USAGE (no PATH) or a message (no executable there).
bench_resq_binary() {
    if [ -z "${2:-}" ]; then
        echo "usage: $1" >&2
        exit 2
    fi
    resq=$(readlink -f "$2")
    if [ ! -x "$resq" ]; then
        echo "bench: no resq binary at $resq" >&2
        exit 2
    fi
}

# bench_responder_binary PATH: sets responder to the absolute path of PATH (default: the one in
# build-bench), or exits with a message when no executable is there.
bench_responder_binary() {
    responder=$(readlink -f "${1:-$bench_root/build-bench/tools/responder/resq_responder}")
    if [ ! -x "$responder" ]; then
        echo "bench: no resq_responder at $responder" >&2
        exit 2
    fi
}

# bench_start_responder OUTPUT ADDRESS ARG...: starts $responder on ADDRESS port 53 with ARGs,
# its output in the file OUTPUT, sets responder_pid and waits (up to 4 s) until it is ready.
bench_start_responder() {
    bench_output=$1
    bench_address=$2
    shift 2
    : >"$bench_output"
    "$responder" --address "$bench_address" --port 53 "$@" >"$bench_output" 2>&1 &
    responder_pid=$!
    for _ in 1 2 3 4 5 6 7 8 9 10 11 12 13 14 15 16 17 18 19 20; do
        grep -q '^ready' "$bench_output" && break
        sleep 0.2
    done
}

# bench_need TOOL:PACKAGE...: exits with a message naming the packages of the tools not found.
bench_need() {
    bench_missing=
    for tool in "$@"; do
        if ! command -v "${tool%%:*}" >/dev/null 2>&1; then
            bench_missing="$bench_missing ${tool%%:*} (package ${tool#*:})"
        fi
    done
    if [ -n "$bench_missing" ]; then
        echo "bench: missing$bench_missing" >&2
        exit 2
    fi
}

# bench_make_zone DIR COUNT: writes DIR/bench.test.zone with COUNT address records
# n00001.bench.test ... and DIR/names with those names, one per line.
bench_make_zone() {
    {
        printf '$ORIGIN bench.test.\n$TTL 3600\n'
        printf '@ IN SOA ns1 hostmaster 1 3600 900 1209600 300\n@ IN NS ns1\nns1 IN A 192.0.2.53\n'
        awk -v n="$2" 'BEGIN { for (i = 1; i <= n; i++)
            printf "n%05d IN A 198.51.%d.%d\n", i, int(i / 256) % 256, i % 256 }'
    } >"$1/bench.test.zone"
    awk -v n="$2" 'BEGIN { for (i = 1; i <= n; i++) printf "n%05d.bench.test\n", i }' >"$1/names"
}

# bench_start_nsd DIR: serves DIR/bench.test.zone with answers of one record each; the server
# address goes to BENCH_ADDR.
bench_start_nsd() {
    BENCH_ADDR=$(nsd_default_addr)
    NSD_MINIMAL_RESPONSES=yes nsd_start "$1" "$BENCH_ADDR" bench.test "$1/bench.test.zone"
}

# bench_serve_zone COUNT: makes a work folder, in $work, with a zone of COUNT numbered names that a
# private NSD serves on $BENCH_ADDR; both go when the script exits.
bench_serve_zone() {
    work=$(mktemp -d "${TMPDIR:-/tmp}/resq-bench.XXXXXX") || exit 1
    trap 'nsd_stop; rm -rf "$work"' EXIT
    trap 'exit 1' HUP INT TERM
    bench_make_zone "$work" "$1"
    bench_start_nsd "$work" || exit 1
}

# bench_repeat FILE COUNT: the lines of FILE over and over, COUNT lines in all.
bench_repeat() {
    awk -v n="$2" 'NR == FNR { line[NR] = $0; m = NR; next }
        END { for (i = 0; i < n; i++) print line[i % m + 1] }' "$1" /dev/null
}

bench_now_ns() {
    date +%s%N
}

# bench_peak_rss_kib INPUT COMMAND...: runs COMMAND (at most 15 minutes) with INPUT as standard
# input and its output discarded, and prints its peak resident set size in KiB. COMMAND is the
# direct child of the measuring process, whose figure covers itself and its children.
bench_peak_rss_kib() {
    bench_input=$1
    shift
    if [ -x /usr/bin/time ]; then
        timeout 900 /usr/bin/time -v "$@" <"$bench_input" 2>&1 >/dev/null |
            awk -F': ' '/Maximum resident set size/ { print $2 }'
    else
        python3 -c 'import resource, subprocess, sys
subprocess.run(sys.argv[1:], stdout=subprocess.DEVNULL, timeout=900)
print(resource.getrusage(resource.RUSAGE_CHILDREN).ru_maxrss)' "$@" <"$bench_input"
    fi
}

# bench_best_rounds ROUNDS EXPECTED NAME...: runs run_NAME for every NAME in turn, ROUNDS times,
# and keeps the fastest round of each in best_NAME and the median round in median_NAME
# (nanoseconds; the lower middle one for an even ROUNDS). answers_NAME prints how many
# names that run answered; a run that answered fewer than EXPECTED is named on standard error.
bench_best_rounds() {
    bench_rounds=$1
    bench_expected=$2
    shift 2
    for bench_name in "$@"; do
        eval "best_$bench_name=0; rounds_$bench_name="
    done
    bench_round=1
    while [ "$bench_round" -le "$bench_rounds" ]; do
        for bench_name in "$@"; do
            bench_start=$(bench_now_ns)
            "run_$bench_name"
            bench_elapsed=$(($(bench_now_ns) - bench_start))
            bench_got=$("answers_$bench_name")
            if [ "$bench_got" -ne "$bench_expected" ]; then
                echo "bench: $bench_name answered $bench_got of $bench_expected names" \
                    "in round $bench_round" >&2
            fi
            eval "bench_best=\$best_$bench_name"
            if [ "$bench_best" -eq 0 ] || [ "$bench_elapsed" -lt "$bench_best" ]; then
                eval "best_$bench_name=$bench_elapsed"
            fi
            eval "rounds_$bench_name=\"\$rounds_$bench_name $bench_elapsed\""
            echo "  round $bench_round $bench_name: $((bench_elapsed / 1000000)) ms" >&2
        done
        bench_round=$((bench_round + 1))
    done
    for bench_name in "$@"; do
        eval "median_$bench_name=\$(printf '%s\\n' \$rounds_$bench_name | sort -n |
            awk '{ t[NR] = \$1 } END { print t[int((NR + 1) / 2)] }')"
    done
}
