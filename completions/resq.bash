# bash completion for resq(1): every option the program offers, file names after the options
# that take a path, directories after -enumdir and record types after -type. Installed as
# share/bash-completion/completions/resq, which bash-completion loads on first use.

_resq() {
    local cur=${COMP_WORDS[COMP_CWORD]}
    local prev=
    ((COMP_CWORD > 0)) && prev=${COMP_WORDS[COMP_CWORD - 1]}

    # Options are matched in any letter case, so the previous word is compared in lower case.
    case ${prev,,} in
        -out | -outfile | -pcap | -diags | -f | -tls_ca)
            compopt -o filenames 2>/dev/null
            mapfile -t COMPREPLY < <(compgen -f -- "$cur")
            return
            ;;
        -enumdir)
            compopt -o filenames 2>/dev/null
            mapfile -t COMPREPLY < <(compgen -d -- "$cur")
            return
            ;;
        -class)
            mapfile -t COMPREPLY < <(compgen -W "IN CH HS NONE ANY" -- "${cur^^}")
            return
            ;;
        -type)
            local types="A NS CNAME SOA PTR HINFO MX TXT RP AFSDB SIG KEY AAAA LOC SRV NAPTR KX
                CERT DNAME OPT APL DS SSHFP IPSECKEY RRSIG NSEC DNSKEY DHCID NSEC3 NSEC3PARAM TLSA
                SMIMEA HIP CDS CDNSKEY OPENPGPKEY CSYNC ZONEMD SVCB HTTPS SPF EUI48 EUI64 TKEY TSIG
                IXFR AXFR ANY URI CAA TA DLV"
            mapfile -t COMPREPLY < <(compgen -W "$types" -- "${cur^^}")
            return
            ;;
        -servers)
            mapfile -t COMPREPLY < <(compgen -f -- "$cur")
            return
            ;;
        -source)
            COMPREPLY=()
            return
            ;;
        -url | -ip | -mx | -ns | -cname | -txt | -aaaa | -soa | -srv | -caa | -any | -server | \
            -timeout | -retry | -delay | -inflight | -rate | -filter | -filter_path | -num_subdirs | \
            -subnet | -csv_separator | -dateformat | -timeformat | -fields | -shard)
            # A value of the user's own: a name, an address, a number or a pattern.
            COMPREPLY=()
            return
            ;;
    esac

    if [[ $cur == -* || -z $cur ]]; then
        local options="-url -ip -mx -ns -cname -txt -aaaa -soa -srv -caa -any -type
            -url_pipe -ip_pipe -mx_pipe -ns_pipe -cname_pipe -txt_pipe -aaaa_pipe -soa_pipe
            -srv_pipe -caa_pipe -any_pipe -pipe -filter -filter_path -enumdir -num_subdirs
            -f -typed_lines -idn -shard
            -server -servers -source -timeout -retry -delay -inflight -rate -tcp -tcp_fallback
            -tls -https -https_get -tls_ca -tls_name -tls_insecure
            -edns -ipv6 -class -norecurse -adflag -cd -dnssec -nsid -subnet -cookie
            -csv -csvgen -csvl2t -bodyfile -pair_datetime -csv_separator -no_whitespace
            -enable_quoted_csv_fields -xml -multiline -json -fields -short -dateformat -timeformat
            -verbose -v
            -out -outfile -append -pcap -diags -exit_status -progress -summary -quiet
            -h -help --help -version --version"
        mapfile -t COMPREPLY < <(compgen -W "$options" -- "$cur")
    fi
}
complete -F _resq resq
