#!/bin/sh
# Proves the servers of tls_env.sh with other clients before resq's own tests rely on them: unbound
# answers a name of the responder alike over UDP (dig), TLS and HTTPS (kdig, trusting the test CA),
# kdig refuses each bad certificate for its own reason, the stall listener never answers a
# handshake, and the cut server ends a connection after the queries it was told to answer. Runs
# inside a private network namespace (tests/tools/netns_run.sh). Exits 77, which CTest counts as
# skipped, when a tool is missing, except on CI (CI=true), or outside a private namespace.
# usage: run_harness.sh RESPONDER_BINARY
if [ "$#" -ne 1 ]; then
    echo "usage: run_harness.sh RESPONDER_BINARY" >&2
    exit 2
fi
RESQ_RESPONDER=$(readlink -f "$1")
export RESQ_RESPONDER
TLS_ENV=$(dirname "$(readlink -f "$0")")/tls_env.sh
PATH=$PATH:/usr/sbin:/sbin

missing=
for tool in unbound:unbound kdig:knot-dnsutils dig:bind9-dnsutils openssl:openssl \
    python3:python3; do
    if ! command -v "${tool%%:*}" >/dev/null 2>&1; then
        missing="$missing ${tool%%:*} (package ${tool#*:})"
    fi
done
if [ -n "$missing" ]; then
    if [ "$CI" = true ]; then
        echo "tls_harness: missing on CI:$missing" >&2
        exit 1
    fi
    echo "skipped: missing$missing" >&2
    exit 77
fi
if [ -z "$RESQ_IN_NETNS" ]; then
    echo "skipped: needs a private network namespace for ports 53, 443 and 853 on 127.0.0.1" >&2
    exit 77
fi

# shellcheck source-path=SCRIPTDIR source=tls_env.sh
. "$TLS_ENV"
trap 'tls_env_stop' EXIT
trap 'exit 1' HUP INT TERM

# The lines read, sorted, on one line: answers compare whatever their order.
addresses() {
    sort | tr '\n' ' '
}

kdig_tls() {
    kdig @"$TLS_ADDR" +tls-ca="$TLS_CA" +tls-hostname="$TLS_NAME" +time=2 +retry=0 "$@" 2>&1
}

start_unbound good || exit 1
demo="192.0.2.10 192.0.2.11 "
expect "udp answer" "$demo" "$(dig @"$TLS_ADDR" +short +time=2 www.demo.example A | addresses)"
expect "tls answer" "$demo" "$(kdig_tls -p "$TLS_DOT_PORT" +tls +short www.demo.example A |
    addresses)"
expect "https answer" "$demo" "$(kdig_tls -p "$TLS_DOH_PORT" +https +short www.demo.example A |
    addresses)"

# kdig -d names the reason of a failed verification on a DEBUG line.
for case in "wrong-name:The name in the certificate does not match the expected" \
    "unknown-ca:The certificate issuer is unknown" \
    "expired:The certificate chain uses expired certificate"; do
    start_unbound "${case%%:*}" || exit 1
    reason=$(kdig_tls -d -p "$TLS_DOT_PORT" +tls +short www.demo.example A |
        sed -n 's/^;; DEBUG: TLS, The certificate is NOT trusted\. \(.*[^ ]\) *$/\1/p')
    expect "${case%%:*} refused" "${case#*:}." "$reason"
done
stop_unbound

# kdig's own handshake time-out; it may crash afterwards, so only its message counts.
start_stall_listener || exit 1
stalled=$(kdig_tls -p "$TLS_STALL_PORT" +tls +time=1 www.demo.example A | grep -c 'took too long')
expect "stall listener never answers" 1 "$stalled"

# After two answers the third query meets a closed connection; kdig opens a new one for the
# fourth. The addresses are the responder's synthetic ones for these names.
start_cut_server 2 || exit 1
expect "cut server closes after two queries" \
    "10.117.181.87 10.175.236.186 ;; WARNING: TLS, peer has closed the connection 10.191.162.170 " \
    "$(kdig_tls -p "$TLS_CUT_PORT" +tls +keepopen +short a.synth.test b.synth.test c.synth.test \
        d.synth.test | grep -v "can't receive reply" | tr '\n' ' ')"

[ "$failures" -eq 0 ]
