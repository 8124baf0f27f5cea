#!/usr/bin/env bash
# Makes throw-away certificates for tests in DIR with the openssl command:
#   ca.pem                  a test certificate authority (its key stays in DIR/ca)
#   server.pem/.key         signed by it, for localhost, 127.0.0.1 and ::1
#   expired.pem/.key        signed by it, same names, valid only in January 2020
#   wrongname.pem/.key      signed by it, for wrong.example only
#   cnonly.pem/.key         signed by it, subject CN localhost but names only 127.0.0.1
#   selfsigned.pem/.key     self-signed for the same names as server.pem
#
#   make-test-certs.sh DIR
set -euo pipefail

[[ $# -eq 1 ]] || { echo "usage: make-test-certs.sh DIR" >&2; exit 1; }
dir=$1
mkdir -p "$dir/ca/new"
chmod 755 "$dir"  # the server may read its certificate under another uid
cd "$dir"
names="DNS:localhost,IP:127.0.0.1,IP:::1"

openssl req -x509 -newkey rsa:2048 -nodes -days 30 -subj "/CN=Vornask Test CA" \
    -keyout ca/ca.key -out ca.pem 2>/dev/null
: >ca/index.txt
echo 1000 >ca/serial
cat >ca/ca.cnf <<CNF
[ca]
default_ca = test
[test]
dir = $PWD/ca
database = \$dir/index.txt
new_certs_dir = \$dir/new
serial = \$dir/serial
certificate = $PWD/ca.pem
private_key = \$dir/ca.key
default_md = sha256
policy = anything
copy_extensions = copy
unique_subject = no
[anything]
commonName = supplied
CNF

# sign NAME CN SAN [ca options...]
sign() {
    local name=$1 cn=$2 san=$3
    shift 3
    openssl req -newkey rsa:2048 -nodes -subj "/CN=$cn" -addext "subjectAltName=$san" \
        -keyout "$name.key" -out "ca/$name.csr" 2>/dev/null
    openssl ca -batch -config ca/ca.cnf -notext -in "ca/$name.csr" -out "$name.pem" "$@" \
        2>/dev/null
}
sign server localhost "$names" -days 30
sign expired localhost "$names" -startdate 20200101000000Z -enddate 20200201000000Z
sign wrongname wrong.example "DNS:wrong.example" -days 30
sign cnonly localhost "IP:127.0.0.1" -days 30
openssl req -x509 -newkey rsa:2048 -nodes -days 30 -subj /CN=localhost \
    -addext "subjectAltName=$names" -keyout selfsigned.key -out selfsigned.pem 2>/dev/null
chmod 644 ./*.pem ./*.key
