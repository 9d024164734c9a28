#!/usr/bin/env bash
# For the signing tests: a root and a code-signing certificate it issued,
# valid for two days, for each NAME: DIR/NAME-root.{pem,key},
# DIR/NAME-signer.{pem,key,csr}, and the signer's key and chain as
# DIR/NAME.p12 (password "throwaway pass"). Nothing here is a release key.
#
#   tools/throwaway-signing-pki.sh DIR NAME...
set -euo pipefail
[ $# -ge 2 ] || { echo "usage: $0 DIR NAME..." >&2; exit 2; }
dir=$1
shift
printf 'basicConstraints=critical,CA:FALSE\nkeyUsage=critical,digitalSignature\nextendedKeyUsage=codeSigning\n' \
    >"$dir/code-signing.ext"
for name in "$@"; do
    openssl req -x509 -newkey rsa:2048 -nodes -days 2 -subj "/O=ZEMLO Test/CN=ZEMLO Test $name Root" \
        -keyout "$dir/$name-root.key" -out "$dir/$name-root.pem" 2>/dev/null
    openssl req -newkey rsa:2048 -nodes -subj "/O=ZEMLO Test/CN=ZEMLO Test $name Code Signing" \
        -keyout "$dir/$name-signer.key" -out "$dir/$name-signer.csr" 2>/dev/null
    openssl x509 -req -in "$dir/$name-signer.csr" -CA "$dir/$name-root.pem" -CAkey "$dir/$name-root.key" \
        -CAcreateserial -days 2 -extfile "$dir/code-signing.ext" -out "$dir/$name-signer.pem" 2>/dev/null
    openssl pkcs12 -export -inkey "$dir/$name-signer.key" -in "$dir/$name-signer.pem" \
        -certfile "$dir/$name-root.pem" -passout pass:'throwaway pass' -out "$dir/$name.p12"
done
