#!/bin/sh
# Makes the certificates the tests over TLS and HTTPS present, in DIR (created when missing):
#   ca.pem                 the test CA, the one the clients are told to trust
#   other-ca.pem           an unrelated CA, never trusted
#   good.pem, good.key     dns.test with an IP SAN 127.0.0.1, signed by the test CA
#   wrong-name.pem, .key   other.test, no IP SAN, signed by the test CA
#   unknown-ca.pem, .key   dns.test and 127.0.0.1, signed by the unrelated CA
#   expired.pem, .key      dns.test and 127.0.0.1, signed by the test CA, valid only in 2020
# EC P-256 keys, so that it takes a fraction of a second. Idempotent: a DIR that already holds
# every file is left as it is. Prints nothing unless something fails.
# usage: make_certs.sh DIR
set -eu
if [ "$#" -ne 1 ]; then
    echo "usage: make_certs.sh DIR" >&2
    exit 2
fi
dir=$1
mkdir -p "$dir"
cd "$dir"

all_there=yes
for kind in good wrong-name unknown-ca expired; do
    [ -s "$kind.pem" ] && [ -s "$kind.key" ] || all_there=no
done
[ -s ca.pem ] && [ -s other-ca.pem ] || all_there=no
if [ "$all_there" = yes ]; then
    exit 0
fi

# Everything is made again in a scratch folder and moved in at the end, so that an interrupted
# run never leaves a mix of old and new certificates that do not chain.
work=$(mktemp -d "$PWD/.certs.XXXXXX")
trap 'rm -rf "$work"' EXIT
cd "$work"

newkey() {
    openssl genpkey -algorithm EC -pkeyopt ec_paramgen_curve:P-256 -out "$1" 2>/dev/null
}

# make_ca NAME SUBJECT: a self-signed CA certificate NAME.pem with its key NAME.key.
make_ca() {
    newkey "$1.key"
    openssl req -x509 -new -key "$1.key" -subj "/CN=$2" -days 3650 -sha256 \
        -addext basicConstraints=critical,CA:TRUE \
        -addext keyUsage=critical,keyCertSign,cRLSign -out "$1.pem" 2>/dev/null
}

# make_leaf NAME CN SAN CA: NAME.pem for CN with subjectAltName SAN, signed by CA, and its key.
make_leaf() {
    newkey "$1.key"
    openssl req -new -key "$1.key" -subj "/CN=$2" -out "$1.csr" 2>/dev/null
    printf 'subjectAltName=%s\nextendedKeyUsage=serverAuth\nbasicConstraints=CA:FALSE\n' "$3" \
        >"$1.ext"
    openssl x509 -req -in "$1.csr" -CA "$4.pem" -CAkey "$4.key" -CAcreateserial -days 3650 \
        -sha256 -extfile "$1.ext" -out "$1.pem" 2>/dev/null
}

make_ca ca "resq test CA"
make_ca other-ca "unrelated test CA"
make_leaf good dns.test "DNS:dns.test,IP:127.0.0.1" ca
make_leaf wrong-name other.test "DNS:other.test" ca
make_leaf unknown-ca dns.test "DNS:dns.test,IP:127.0.0.1" other-ca

# OpenSSL 3.0's req and x509 count validity from now; only `openssl ca` takes explicit dates, and
# it wants a configuration and a database of its own.
newkey expired.key
openssl req -new -key expired.key -subj "/CN=dns.test" -out expired.csr 2>/dev/null
: >index.txt
echo 1000 >serial
cat >ca.cnf <<'EOF'
[ca]
default_ca = test_ca
[test_ca]
database = index.txt
serial = serial
new_certs_dir = .
certificate = ca.pem
private_key = ca.key
default_md = sha256
policy = any_name
unique_subject = no
copy_extensions = none
x509_extensions = server
[any_name]
commonName = supplied
[server]
subjectAltName = DNS:dns.test,IP:127.0.0.1
extendedKeyUsage = serverAuth
basicConstraints = CA:FALSE
EOF
openssl ca -batch -notext -config ca.cnf -in expired.csr -out expired.pem \
    -startdate 20200101000000Z -enddate 20200201000000Z >/dev/null 2>&1

mv ca.pem ca.key other-ca.pem other-ca.key good.pem good.key wrong-name.pem wrong-name.key \
    unknown-ca.pem unknown-ca.key expired.pem expired.key ..
