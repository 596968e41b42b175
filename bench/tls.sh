#!/bin/bash
# Times resq over TLS and HTTPS against UDP to the same unbound (tests/tls/tls_env.sh), inside a
# private network namespace: 20,000 names with -inflight 100 each way, then one -tls lookup
# against kdig +tls. Prints the figures.
# usage: bench/tls.sh BUILD_DIR   (run as: tests/tools/netns_run.sh bench/tls.sh build)
set -u
build=$(readlink -f "${1:-build}")
here=$(dirname "$(readlink -f "$0")")
RESQ="$build/app/resq"
export RESQ_RESPONDER="$build/tools/responder/resq_responder"
TLS_ENV="$here/../tests/tls/tls_env.sh"
. "$TLS_ENV"
trap tls_env_stop EXIT
start_unbound good || exit 1
names="$TLS_RUNDIR/names.txt"
seq 1 20000 | sed 's/.*/n&.synth.test/' >"$names"
# seconds WHAT COMMAND...: runs the command (a batch with -short, one line per answer), prints its
# time, its rate and how many of the names got their answer.
seconds() {
    local what=$1 start end answered
    shift
    start=$(date +%s%N)
    "$@" -short >"$TLS_RUNDIR/answers.txt" 2>/dev/null
    end=$(date +%s%N)
    answered=$(cut -f1 "$TLS_RUNDIR/answers.txt" | sort -u | wc -l)
    awk -v w="$what" -v ns=$((end - start)) -v a="$answered" 'BEGIN {
        printf "%-34s %7.2f s %8.0f names/s, %d answered\n", w, ns / 1e9, 20000 / (ns / 1e9), a }'
}
tls=(-tls_ca "$TLS_CA" -tls_name "$TLS_NAME")
seconds "20,000 names, -inflight 100, udp" "$RESQ" -server "$TLS_ADDR" -f "$names" -inflight 100 -quiet
seconds "20,000 names, -inflight 100, tls" "$RESQ" -server "$TLS_ADDR" -tls "${tls[@]}" -f "$names" -inflight 100 -quiet
seconds "20,000 names, -inflight 100, https" "$RESQ" -server "$TLS_ADDR" -https "$TLS_DOH_URL" -tls_ca "$TLS_CA" -f "$names" -inflight 100 -quiet
one() {
    local what=$1 start end
    shift
    start=$(date +%s%N)
    "$@" >/dev/null 2>&1
    end=$(date +%s%N)
    awk -v w="$what" -v ns=$((end - start)) 'BEGIN { printf "%-34s %7.1f ms\n", w, ns / 1e6 }'
}
one "one lookup, resq -tls" "$RESQ" -server "$TLS_ADDR" -tls "${tls[@]}" www.demo.example
one "one lookup, kdig +tls" kdig @"$TLS_ADDR" +tls-ca="$TLS_CA" +tls-hostname="$TLS_NAME" www.demo.example A
