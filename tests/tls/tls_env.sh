# Servers for the tests and benchmarks over TLS and HTTPS, on 127.0.0.1 inside a private network
# namespace (tests/tools/netns_run.sh). Sourced; the caller sets RESQ_RESPONDER to the responder
# binary (tools/responder) and, from sh rather than bash, TLS_ENV to the path of this file first,
# and calls tls_env_stop when done (e.g. in an EXIT trap).
#
#   start_unbound CERTKIND   unbound presenting the certificate CERTKIND (good, wrong-name,
#                            unknown-ca, expired; made by make_certs.sh) on
#                              127.0.0.1@853  DNS over TLS
#                              127.0.0.1@443  DNS over HTTPS, path /dns-query (HTTP/2 only)
#                              127.0.0.1@53   plain DNS over UDP and TCP
#                            resolving every name through the responder (fixtures such as
#                            www.demo.example., the behaviour zones under test., and any name
#                            under synth.test.). Starts the responder when it does not run yet,
#                            stops an unbound started before. Returns 1, after printing its log,
#                            when it does not answer within about five seconds.
#   stop_unbound             stops it, when it runs.
#   start_stall_listener     a TCP listener on 127.0.0.1:$TLS_STALL_PORT that accepts every
#                            connection and never sends or reads a byte: a TLS handshake there
#                            waits until the client gives up.
#   start_cut_server AFTER [CUTS]
#                            DNS over TLS on 127.0.0.1:$TLS_CUT_PORT with the good certificate,
#                            answering the first AFTER queries of a connection and then closing it
#                            (close_notify) with any later queries unanswered; only the first
#                            CUTS connections when CUTS is given (cut_server.py).
#   tls_env_stop             stops all of the above and removes the run directory.
#   expect WHAT EXPECTED ACTUAL
#                            a check of the caller's: "ok: WHAT", or FAIL with both values on
#                            standard error and one more in $failures.
#
# Exported: TLS_CA (the test CA, PEM), TLS_NAME (dns.test, the good certificate's name), TLS_ADDR
# (127.0.0.1, also an IP SAN of the good certificate), TLS_DOT_PORT, TLS_DOH_PORT, TLS_DOH_URL
# (https://dns.test/dns-query; the address is TLS_ADDR), TLS_DNS_PORT, TLS_UPSTREAM_PORT (the
# responder), TLS_STALL_PORT, TLS_CUT_PORT, TLS_CERTS (the certificate folder), TLS_RUNDIR and
# UNBOUND_PID, STALL_PID, CUT_PID, RESPONDER_PID while they run.

# shellcheck disable=SC3028 # bash names the sourced file; sh callers set TLS_ENV
TLS_ENV_HERE=$(dirname "$(readlink -f "${TLS_ENV:-${BASH_SOURCE:-$0}}")")
export TLS_ADDR=127.0.0.1
export TLS_NAME=dns.test
export TLS_DOT_PORT=853
export TLS_DOH_PORT=443
export TLS_DOH_URL=https://dns.test/dns-query
export TLS_DNS_PORT=53
export TLS_UPSTREAM_PORT=5300
export TLS_STALL_PORT=8853
export TLS_CUT_PORT=8854
PATH=$PATH:/usr/sbin:/sbin
failures=0

expect() {
    if [ "$2" = "$3" ]; then
        echo "ok: $1"
    else
        printf 'FAIL: %s\n  expected: %s\n  got:      %s\n' "$1" "$2" "$3" >&2
        failures=$((failures + 1))
    fi
}

# The run directory and the certificates, made once per sourcing shell.
tls_env_prepare() {
    if [ -n "${TLS_RUNDIR:-}" ]; then
        return 0
    fi
    if [ -z "${RESQ_IN_NETNS:-}" ]; then
        echo "tls_env: servers on 127.0.0.1:53, 443 and 853 only inside a private network" \
            "namespace (tests/tools/netns_run.sh)" >&2
        return 1
    fi
    TLS_RUNDIR=$(mktemp -d "${TMPDIR:-/tmp}/resq-tls.XXXXXX") || return 1
    export TLS_RUNDIR
    export TLS_CERTS="$TLS_RUNDIR/certs"
    export TLS_CA="$TLS_CERTS/ca.pem"
    "$TLS_ENV_HERE/make_certs.sh" "$TLS_CERTS"
}

# Starts the responder on 127.0.0.1:$TLS_UPSTREAM_PORT unless it runs.
tls_start_responder() {
    if [ -n "${RESPONDER_PID:-}" ] && kill -0 "$RESPONDER_PID" 2>/dev/null; then
        return 0
    fi
    if [ ! -x "${RESQ_RESPONDER:-}" ]; then
        echo "tls_env: set RESQ_RESPONDER to the resq_responder binary" >&2
        return 1
    fi
    "$RESQ_RESPONDER" --address "$TLS_ADDR" --port "$TLS_UPSTREAM_PORT" --synthetic synth.test \
        >"$TLS_RUNDIR/responder.out" 2>&1 &
    RESPONDER_PID=$!
    tls_wait_ready "$TLS_RUNDIR/responder.out" "$RESPONDER_PID" responder
}

# tls_wait_ready FILE PID WHAT: waits, at most five seconds, until FILE says "ready".
tls_wait_ready() {
    tls_tries=0
    while [ "$tls_tries" -lt 50 ]; do
        if grep -q '^ready' "$1" 2>/dev/null; then
            return 0
        fi
        kill -0 "$2" 2>/dev/null || break
        sleep 0.1
        tls_tries=$((tls_tries + 1))
    done
    echo "tls_env: $3 did not start:" >&2
    cat "$1" >&2
    return 1
}

start_unbound() {
    case ${1:-} in
        good | wrong-name | unknown-ca | expired) ;;
        *)
            echo "usage: start_unbound good|wrong-name|unknown-ca|expired" >&2
            return 2
            ;;
    esac
    tls_env_prepare && tls_start_responder || return 1
    stop_unbound
    # No root hints, trust anchor, chroot or user switch: everything is forwarded to the
    # responder, so unbound never looks for a root server, and "test." and the reverse zone of
    # 192.0.2.0/24 lose the empty local zones unbound gives them by default.
    cat >"$TLS_RUNDIR/unbound.conf" <<EOF
server:
	interface: $TLS_ADDR@$TLS_DNS_PORT
	interface: $TLS_ADDR@$TLS_DOT_PORT
	interface: $TLS_ADDR@$TLS_DOH_PORT
	tls-port: $TLS_DOT_PORT
	https-port: $TLS_DOH_PORT
	http-notls-downstream: no
	tls-service-key: "$TLS_CERTS/$1.key"
	tls-service-pem: "$TLS_CERTS/$1.pem"
	do-ip6: no
	interface-automatic: no
	outgoing-interface: $TLS_ADDR
	do-not-query-localhost: no
	access-control: 127.0.0.0/8 allow
	num-threads: 1
	so-reuseport: no
	username: ""
	chroot: ""
	directory: "$TLS_RUNDIR"
	pidfile: "$TLS_RUNDIR/unbound.pid"
	logfile: "$TLS_RUNDIR/unbound.log"
	use-syslog: no
	verbosity: 1
	do-daemonize: no
	module-config: "iterator"
	local-zone: "test." nodefault
	local-zone: "2.0.192.in-addr.arpa." nodefault
	incoming-num-tcp: 100
	ratelimit: 0
	ip-ratelimit: 0
remote-control:
	control-enable: no
forward-zone:
	name: "."
	forward-addr: $TLS_ADDR@$TLS_UPSTREAM_PORT
EOF
    unbound -d -c "$TLS_RUNDIR/unbound.conf" >"$TLS_RUNDIR/unbound.out" 2>&1 &
    UNBOUND_PID=$!
    export UNBOUND_PID
    # Every listener is open once port 53 answers; the answer comes through the responder.
    tls_tries=0
    while [ "$tls_tries" -lt 50 ]; do
        kill -0 "$UNBOUND_PID" 2>/dev/null || break
        if dig @"$TLS_ADDR" -p "$TLS_DNS_PORT" +tcp +tries=1 +time=1 +short www.demo.example A \
            2>/dev/null | grep -q '^192\.0\.2\.'; then
            return 0
        fi
        sleep 0.1
        tls_tries=$((tls_tries + 1))
    done
    echo "tls_env: unbound did not answer on $TLS_ADDR port $TLS_DNS_PORT:" >&2
    cat "$TLS_RUNDIR/unbound.out" "$TLS_RUNDIR/unbound.log" >&2 2>/dev/null
    stop_unbound
    return 1
}

# tls_stop_pid VARIABLE: stops the process whose id VARIABLE holds and waits for it.
tls_stop_pid() {
    eval "tls_pid=\${$1:-}"
    if [ -n "$tls_pid" ]; then
        kill "$tls_pid" 2>/dev/null
        wait "$tls_pid" 2>/dev/null
        eval "$1="
    fi
}

stop_unbound() {
    tls_stop_pid UNBOUND_PID
}

start_stall_listener() {
    tls_env_prepare || return 1
    tls_stop_pid STALL_PID
    python3 -c '
import socket, sys
listener = socket.socket()
listener.setsockopt(socket.SOL_SOCKET, socket.SO_REUSEADDR, 1)
listener.bind((sys.argv[1], int(sys.argv[2])))
listener.listen(64)
print("ready", flush=True)
held = []
while True:
    held.append(listener.accept()[0])
' "$TLS_ADDR" "$TLS_STALL_PORT" >"$TLS_RUNDIR/stall.out" 2>&1 &
    STALL_PID=$!
    tls_wait_ready "$TLS_RUNDIR/stall.out" "$STALL_PID" "stall listener"
}

start_cut_server() {
    tls_env_prepare && tls_start_responder || return 1
    tls_stop_pid CUT_PID
    python3 "$TLS_ENV_HERE/cut_server.py" "$TLS_CERTS/good.pem" "$TLS_CERTS/good.key" \
        "$TLS_CUT_PORT" "$1" "$TLS_UPSTREAM_PORT" ${2:+"$2"} >"$TLS_RUNDIR/cut.out" 2>&1 &
    CUT_PID=$!
    tls_wait_ready "$TLS_RUNDIR/cut.out" "$CUT_PID" "cut server"
}

tls_env_stop() {
    tls_stop_pid UNBOUND_PID
    tls_stop_pid STALL_PID
    tls_stop_pid CUT_PID
    tls_stop_pid RESPONDER_PID
    if [ -n "${TLS_RUNDIR:-}" ]; then
        rm -rf "$TLS_RUNDIR"
        TLS_RUNDIR=
    fi
}
