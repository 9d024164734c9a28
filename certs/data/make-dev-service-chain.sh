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

script_dir=$(cd "$(dirname "$0")" && pwd)
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
cd "$work"

# shellcheck source=openssl-ca.sh
source "$script_dir/openssl-ca.sh"
export LEAF_HOST=$host

new_request root.key root.csr "/C=US/O=ZEMLO Development/CN=ZEMLO Development Root CA"
sign root.csr root.pem root.csr root.key root_ext $ca_start 20361031235959Z selfsign
new_request ca.key ca.csr "/C=US/O=ZEMLO Development/CN=ZEMLO Development TLS CA"
sign ca.csr ca.pem root.pem root.key intermediate_ext $ca_start $ca_end
new_request leaf.key leaf.csr "/CN=$host"
sign leaf.csr leaf.pem ca.pem ca.key leaf_ext $leaf_start $leaf_end

openssl x509 -in leaf.pem -outform DER -out "$out/service-host.der"
openssl x509 -in ca.pem -outform DER -out "$out/service-intermediate.der"
openssl x509 -in root.pem -outform DER -out "$out/dev-root.der"
openssl verify -CAfile root.pem -untrusted ca.pem -purpose sslserver leaf.pem >/dev/null
