#!/usr/bin/env bash
# Makes a throwaway PKI for the chain tests, fresh on every test run so that
# nothing in it expires. Public certificates land in OUTPUT_DIR as DER:
#   root.der              self-signed test root (CA)
#   intermediate.der      CA issued by root.der, path length 0
#   leaf.der              service.zemlo.example, valid from yesterday for a year
#   leaf-expired.der      service.zemlo.example, validity wholly in the past
#   leaf-other-name.der   CN and only DNS name other.zemlo.example
# Private keys stay in a temporary folder and are thrown away.
#
# Usage: make-test-pki.sh OUTPUT_DIR
set -euo pipefail
[ $# -eq 1 ] || { echo "usage: $0 OUTPUT_DIR" >&2; exit 2; }
mkdir -p "$1"
out=$(cd "$1" && pwd)

script_dir=$(cd "$(dirname "$0")" && pwd)
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
cd "$work"

stamp() { date -u -d "$1" +%Y%m%d%H%M%SZ; }
yesterday=$(stamp '1 day ago')
next_year=$(stamp '1 year')
ca_end=$(stamp '5 years')

# shellcheck source=../../certs/data/openssl-ca.sh
source "$script_dir/../../certs/data/openssl-ca.sh"

leaf() { # name host start end
    new_request "$1.key" "$1.csr" "/CN=$2"
    LEAF_HOST=$2 sign "$1.csr" "$1.pem" intermediate.pem intermediate.key leaf_ext "$3" "$4"
    openssl x509 -in "$1.pem" -outform DER -out "$out/$1.der"
}

new_request root.key root.csr "/O=ZEMLO Test/CN=ZEMLO Test Root CA"
sign root.csr root.pem root.csr root.key root_ext "$yesterday" "$ca_end" selfsign
new_request intermediate.key intermediate.csr "/O=ZEMLO Test/CN=ZEMLO Test TLS CA"
sign intermediate.csr intermediate.pem root.pem root.key intermediate_ext "$yesterday" "$ca_end"
openssl x509 -in root.pem -outform DER -out "$out/root.der"
openssl x509 -in intermediate.pem -outform DER -out "$out/intermediate.der"

leaf leaf service.zemlo.example "$yesterday" "$next_year"
leaf leaf-expired service.zemlo.example 20200101000000Z 20210101000000Z
leaf leaf-other-name other.zemlo.example "$yesterday" "$next_year"
