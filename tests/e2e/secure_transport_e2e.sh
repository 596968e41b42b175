#!/bin/sh
# resq over TLS and HTTPS against unbound and the servers of tests/tls/tls_env.sh, inside a
# private network namespace: answers equal those over UDP, each bad certificate is refused for its
# own reason, a connection closed mid-pipeline costs no retry, and a handshake that never ends is
# bounded by -timeout. Skipped (77) where the servers cannot run, except on CI.
# usage: secure_transport_e2e.sh RESQ RESPONDER
RESQ=$1
RESQ_RESPONDER=$2
export RESQ_RESPONDER
TLS_ENV=$(dirname "$(readlink -f "$0")")/../tls/tls_env.sh
PATH=$PATH:/usr/sbin:/sbin
if [ ! -f "$TLS_ENV" ] || ! command -v unbound >/dev/null || [ -z "$RESQ_IN_NETNS" ]; then
    [ "$CI" = true ] && { echo "missing on CI: tls_env.sh, unbound or a namespace" >&2; exit 1; }
    echo "skipped: needs tests/tls/tls_env.sh, unbound and a private network namespace" >&2
    exit 77
fi
. "$TLS_ENV"
trap tls_env_stop EXIT
# The status and error of each JSON object, one a line.
outcomes() {
    sed 's/.*"status":"\([^"]*\)"\(,"error":"\([^"]*\)"\)\{0,1\}.*/\1 \3/'
}
names=$(mktemp)
printf '%s\n' www.demo.example mail.demo.example a1.synth.test a2.synth.test >"$names"

start_unbound good || exit 1
udp=$("$RESQ" -server "$TLS_ADDR" -f "$names" -short 2>/dev/null | sort)
expect "answers over TLS equal those over UDP" "$udp" \
    "$("$RESQ" -server "$TLS_ADDR" -tls -tls_ca "$TLS_CA" -tls_name "$TLS_NAME" -f "$names" -short 2>/dev/null | sort)"
expect "answers over HTTPS (POST) equal those over UDP" "$udp" \
    "$("$RESQ" -https "$TLS_DOH_URL" -server "$TLS_ADDR" -tls_ca "$TLS_CA" -f "$names" -short 2>/dev/null | sort)"
expect "answers over HTTPS (GET, address in the URL) equal those over UDP" "$udp" \
    "$("$RESQ" -https "https://$TLS_ADDR/dns-query" -tls_name "$TLS_NAME" -https_get \
        -tls_ca "$TLS_CA" -f "$names" -short 2>/dev/null | sort)"

# The evidence holds the messages inside as DNS over TCP on port 853; the key log lets a real
# capture be decrypted.
SSLKEYLOGFILE=$TLS_RUNDIR/keys.log "$RESQ" -server "$TLS_ADDR" -tls -tls_ca "$TLS_CA" \
    -tls_name "$TLS_NAME" www.demo.example -pcap "$TLS_RUNDIR/tls.pcap" >/dev/null 2>&1
# tcpdump gives up root before reading, which a private namespace's root cannot do: it runs as
# an ordinary user of a namespace of its own.
expect "-pcap writes the query and the reply on port 853" "2" \
    "$(unshare --user --map-user=65534 --map-group=65534 tcpdump -r "$TLS_RUNDIR/tls.pcap" -n \
        'tcp port 853 and tcp[tcpflags] & tcp-push != 0' 2>/dev/null | wc -l | tr -d ' ')"
expect "SSLKEYLOGFILE receives the session's secrets" "yes" \
    "$(grep -q '^CLIENT_TRAFFIC_SECRET_0 ' "$TLS_RUNDIR/keys.log" && echo yes)"

for kind in wrong-name:"name mismatch" unknown-ca:"unknown CA" expired:"certificate expired"; do
    start_unbound "${kind%%:*}" || exit 1
    expect "a ${kind%%:*} certificate is refused over TLS" "sock err tls: ${kind#*:}" \
        "$("$RESQ" -server "$TLS_ADDR" -tls -tls_ca "$TLS_CA" -tls_name "$TLS_NAME" \
            www.demo.example -json | outcomes)"
    expect "a ${kind%%:*} certificate is refused over HTTPS" "sock err tls: ${kind#*:}" \
        "$("$RESQ" -https "$TLS_DOH_URL" -server "$TLS_ADDR" -tls_ca "$TLS_CA" \
            www.demo.example -json | outcomes)"
done

# -tls_insecure takes the certificate unchecked, and says so in every object and once on
# standard error.
start_unbound unknown-ca || exit 1
"$RESQ" -server "$TLS_ADDR" -tls -tls_insecure -f "$names" -json >"$TLS_RUNDIR/insecure.json" \
    2>"$TLS_RUNDIR/insecure.err"
expect "-tls_insecure answers (mail.demo.example has no address), and every object says so" "3 4" \
    "$(grep -c '"status":"success"' "$TLS_RUNDIR/insecure.json") $(grep -c '"tls_insecure":true' \
        "$TLS_RUNDIR/insecure.json")"
expect "-tls_insecure is said once on standard error" "1" \
    "$(grep -ci 'insecure\|not checked\|not verified' "$TLS_RUNDIR/insecure.err")"

# Three answers a connection, eight queries pipelined: five go once more on a second connection,
# where the last two are cut again and end without a retry used.
start_cut_server 3 || exit 1
expect "queries cut off by a closed connection go once more, then end as closed" \
    "1 1 1 1 1 1 1 1 success:6 timeout connection closed:2" \
    "$(for n in 1 2 3 4 5 6 7 8; do echo "c$n.synth.test"; done |
        "$RESQ" -server "$TLS_ADDR:$TLS_CUT_PORT" -tls -tls_ca "$TLS_CA" -tls_name "$TLS_NAME" \
            -f - -inflight 8 -json | tee "$TLS_RUNDIR/cut.json" |
        sed 's/.*"attempt":\([0-9]*\).*/\1/' | tr '\n' ' ')$(outcomes <"$TLS_RUNDIR/cut.json" |
        sort | uniq -c | awk '{n=$1; $1=""; sub(/^ /,""); sub(/ $/,""); printf "%s:%s ", $0, n}' |
        sed 's/ $//')"
expect "the second connection resumes the TLS session of the first" "new resumed" \
    "$(grep -E '^(new|resumed)$' "$TLS_RUNDIR/cut.out" | head -n 2 | tr '\n' ' ' | sed 's/ $//')"

start_stall_listener || exit 1
start=$(date +%s%N)
expect "a handshake that never ends is bounded by -timeout" "sock err tls: handshake timed out" \
    "$("$RESQ" -server "$TLS_ADDR:$TLS_STALL_PORT" -tls -timeout 0.5 www.demo.example -json |
        outcomes)"
elapsed_ms=$((($(date +%s%N) - start) / 1000000))
expect "within the time-out" yes "$([ "$elapsed_ms" -lt 1500 ] && echo yes || echo "$elapsed_ms ms")"
rm -f "$names"
exit $((failures != 0))
