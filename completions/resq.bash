# bash completion for resq(1): the options as the program itself lists them (resq --list-options,
# from its table of options), file names after the options that take a path, directories after
# -enumdir, classes after -class and record types after -type. Installed as
# share/bash-completion/completions/resq, which bash-completion loads on first use.

_resq() {
    local cur=${COMP_WORDS[COMP_CWORD]}
    local prev=
    ((COMP_CWORD > 0)) && prev=${COMP_WORDS[COMP_CWORD - 1]}

    # Options are matched in any letter case, so the previous word is compared in lower case.
    case ${prev,,} in
        -out | -outfile | -pcap | -diags | -f | -tls_ca | -servers)
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
    esac

    # One line an option: its name, what it takes, and whether it has an effect.
    local listing
    listing=$("${COMP_WORDS[0]}" --list-options 2>/dev/null) || return
    # After an option that takes a value: the user's own (a name, an address, a number...).
    if [[ -n $prev ]] && awk -v word="${prev,,}" '$1 == word && ($2 == "value" || $2 == "repeated") \
        { found = 1 } END { exit !found }' <<<"$listing"; then
        COMPREPLY=()
        return
    fi
    if [[ $cur == -* || -z $cur ]]; then
        mapfile -t COMPREPLY < <(compgen -W "$(awk '$3 == "offered" { print $1 }' <<<"$listing")" \
            -- "$cur")
    fi
}
complete -F _resq resq
