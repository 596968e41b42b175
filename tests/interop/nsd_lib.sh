# Starts and stops a private NSD for the interoperability test and the benchmarks. Sourced by
# their runners, which run inside a private network namespace (tests/tools/netns_run.sh) and set
# NSD_LIB to the path of this file before sourcing it, so that it finds its nsd.conf.in.

# Loopback address the private NSD listens on: 127.0.0.1 inside a namespace of our own; a
# loopback address nothing else uses when running as root without one, so that no resolver of
# the host is ever asked or displaced.
nsd_default_addr() {
    if [ -n "$RESQ_IN_NETNS" ]; then
        echo 127.0.0.1
    else
        echo 127.0.53.1
    fi
}

# nsd_start RUNDIR ADDRS ZONE FILE [ZONE FILE ...]: writes RUNDIR/nsd.conf from the template,
# starts NSD in the foreground in the background of this shell (its process id in NSD_PID) and
# waits, at most about ten seconds, until it answers for the first zone on the first address.
# ADDRS is one listening address or several separated by spaces, each IPv4 or IPv6 and
# optionally followed by @PORT (port 53 otherwise): "127.0.0.1 ::1 ::1@5353". Returns 1 when it
# does not come up, after printing its log. NSD_MINIMAL_RESPONSES=yes leaves the authority and
# additional sections out of positive answers (the benchmarks want one record per reply).
nsd_start() {
    nsd_rundir=$1
    nsd_addrs=$2
    shift 2
    nsd_probe_zone=$1
    nsd_lib_dir=$(dirname "$(readlink -f "$NSD_LIB")")
    # One ip-address line per address; IPv6 sockets only when an address asks for them.
    nsd_listen=
    nsd_ip6=no
    for nsd_addr in $nsd_addrs; do
        nsd_listen="$nsd_listen\tip-address: $nsd_addr\n"
        case $nsd_addr in *:*) nsd_ip6=yes ;; esac
    done
    sed -e "s|^\tip-address: @ADDR@\$|$nsd_listen|" -e "s|@RUNDIR@|$nsd_rundir|g" \
        -e "s|do-ip6: no|do-ip6: $nsd_ip6|" \
        -e "s|minimal-responses: no|minimal-responses: ${NSD_MINIMAL_RESPONSES:-no}|" \
        "$nsd_lib_dir/nsd.conf.in" >"$nsd_rundir/nsd.conf" || return 1
    # The first address is the one probed: dig takes its port apart.
    nsd_addr=${nsd_addrs%% *}
    nsd_port=53
    case $nsd_addr in *@*) nsd_port=${nsd_addr#*@} nsd_addr=${nsd_addr%@*} ;; esac
    while [ "$#" -ge 2 ]; do
        printf 'zone:\n\tname: %s\n\tzonefile: "%s"\n' "$1" "$2" >>"$nsd_rundir/nsd.conf"
        shift 2
    done
    nsd -d -c "$nsd_rundir/nsd.conf" >"$nsd_rundir/nsd.out" 2>&1 &
    NSD_PID=$!
    nsd_tries=0
    while [ "$nsd_tries" -lt 40 ]; do
        if ! kill -0 "$NSD_PID" 2>/dev/null; then
            break
        fi
        if dig @"$nsd_addr" -p "$nsd_port" +tries=1 +time=1 +noedns +short "$nsd_probe_zone" SOA \
            2>/dev/null | grep -q .; then
            return 0
        fi
        sleep 0.25
        nsd_tries=$((nsd_tries + 1))
    done
    echo "nsd did not answer on $nsd_addr port $nsd_port:" >&2
    cat "$nsd_rundir/nsd.out" "$nsd_rundir/nsd.log" >&2 2>/dev/null
    nsd_stop
    return 1
}

# nsd_stop: stops the NSD that nsd_start started, if it still runs, and waits for it.
nsd_stop() {
    if [ -n "$NSD_PID" ]; then
        kill "$NSD_PID" 2>/dev/null
        wait "$NSD_PID" 2>/dev/null
        NSD_PID=
    fi
}
