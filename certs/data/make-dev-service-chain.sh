#!/usr/bin/env bash
# Makes the development service chain that the program embeds until a release
# swaps in the service host's real chain (see README):
#   service-host.der          end entity, CN and only DNS name service.zemlo.example
#   service-intermediate.der  the CA that issued it (CA, path length 0)
#   dev-root.der              the development root that issued the CA; it is
#                             deliberately not embedded, so on real PCs the chain
#                             is truthfully reported as not trusted
# The private keys stay in a temporary folder and are thrown away.
#
# Usage: make-dev-service-chain.sh [OUTPUT_DIR]   (default: this folder)
set -euo pipefail
out=$(cd "${1:-$(dirname "$0")}" && pwd)
host=service.zemlo.example
leaf_start=20261201000000Z
leaf_end=20281130235959Z
ca_start=20261101000000Z
ca_end=20311031235959Z

work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
cd "$work"

cat >ca.cnf <<CNF
[ca]
default_ca = dev_ca
[dev_ca]
database = index.txt
new_certs_dir = .
serial = serial
default_md = sha256
policy = any
unique_subject = no
copy_extensions = none
[any]
commonName = supplied
organizationName = optional
countryName = optional
[root_ext]
basicConstraints = critical, CA:TRUE
keyUsage = critical, keyCertSign, cRLSign
subjectKeyIdentifier = hash
[intermediate_ext]
basicConstraints = critical, CA:TRUE, pathlen:0
keyUsage = critical, keyCertSign, cRLSign
subjectKeyIdentifier = hash
authorityKeyIdentifier = keyid:always
[leaf_ext]
basicConstraints = CA:FALSE
keyUsage = critical, digitalSignature, keyEncipherment
extendedKeyUsage = serverAuth, clientAuth
subjectAltName = DNS:$host
subjectKeyIdentifier = hash
authorityKeyIdentifier = keyid:always
CNF

sign() { # csr cert issuer_cert issuer_key ext start end [selfsign]
    : >index.txt
    openssl rand -hex 16 >serial
    openssl ca -batch -config ca.cnf -notext -in "$1" -out "$2" -cert "$3" -keyfile "$4" \
        -extensions "$5" -startdate "$6" -enddate "$7" ${8:+-selfsign} >/dev/null 2>&1
}

openssl req -new -newkey rsa:2048 -nodes -keyout root.key -out root.csr \
    -subj "/C=US/O=ZEMLO Development/CN=ZEMLO Development Root CA" 2>/dev/null
sign root.csr root.pem root.csr root.key root_ext $ca_start 20361031235959Z selfsign
openssl req -new -newkey rsa:2048 -nodes -keyout ca.key -out ca.csr \
    -subj "/C=US/O=ZEMLO Development/CN=ZEMLO Development TLS CA" 2>/dev/null
sign ca.csr ca.pem root.pem root.key intermediate_ext $ca_start $ca_end
openssl req -new -newkey rsa:2048 -nodes -keyout leaf.key -out leaf.csr -subj "/CN=$host" 2>/dev/null
sign leaf.csr leaf.pem ca.pem ca.key leaf_ext $leaf_start $leaf_end

openssl x509 -in leaf.pem -outform DER -out "$out/service-host.der"
openssl x509 -in ca.pem -outform DER -out "$out/service-intermediate.der"
openssl x509 -in root.pem -outform DER -out "$out/dev-root.der"
openssl verify -CAfile root.pem -untrusted ca.pem -purpose sslserver leaf.pem >/dev/null
