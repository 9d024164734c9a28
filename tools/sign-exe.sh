#!/usr/bin/env bash
# Authenticode-signs Windows images in place with osslsigncode: SHA-256, and
# an RFC 3161 timestamp when a timestamp server is named, so the signature
# outlives the certificate. Signing must be the last change to an image: any
# later byte change breaks the signature.
#
#   ZEMLO_SIGN_PKCS12=key.p12 ZEMLO_SIGN_PASSWORD=... \
#   [ZEMLO_SIGN_TIMESTAMP_URL=http://timestamp.example] tools/sign-exe.sh EXE...
#
# ZEMLO_SIGN_CAFILE, when given, is what each signed image is verified
# against right after signing. ZEMLO_SIGN_DESCRIPTION names the program in
# the signature (default: ZEMLO Diagnostic).
set -euo pipefail
[ $# -gt 0 ] || { echo "usage: $0 EXE..." >&2; exit 2; }
: "${ZEMLO_SIGN_PKCS12:?names the PKCS#12 file with the code-signing key and certificate}"
[ -r "$ZEMLO_SIGN_PKCS12" ] || { echo "sign-exe.sh: cannot read $ZEMLO_SIGN_PKCS12" >&2; exit 1; }

timestamp=()
[ -z "${ZEMLO_SIGN_TIMESTAMP_URL:-}" ] || timestamp=(-ts "$ZEMLO_SIGN_TIMESTAMP_URL")

for image in "$@"; do
    signed="$image.signing"
    rm -f "$signed"
    # The password goes through a descriptor, not the command line others can see.
    if ! osslsigncode sign -pkcs12 "$ZEMLO_SIGN_PKCS12" -readpass <(printf '%s' "${ZEMLO_SIGN_PASSWORD:-}") \
        -h sha256 -n "${ZEMLO_SIGN_DESCRIPTION:-ZEMLO Diagnostic}" "${timestamp[@]}" -in "$image" -out "$signed" >"$signed.log" 2>&1; then
        cat "$signed.log" >&2
        rm -f "$signed" "$signed.log"
        echo "sign-exe.sh: signing $image failed" >&2
        exit 1
    fi
    rm -f "$signed.log"
    if [ -n "${ZEMLO_SIGN_CAFILE:-}" ] &&
        ! osslsigncode verify -CAfile "$ZEMLO_SIGN_CAFILE" -in "$signed" >"$signed.log" 2>&1; then
        cat "$signed.log" >&2
        rm -f "$signed" "$signed.log"
        echo "sign-exe.sh: the signature of $image does not verify against $ZEMLO_SIGN_CAFILE" >&2
        exit 1
    fi
    rm -f "$signed.log"
    mv "$signed" "$image"
done
