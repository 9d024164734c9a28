#!/usr/bin/env bash
# The release signing path with a throwaway code-signing PKI made here: the
# signed image verifies against its root and no other, and it is still the
# same program: the image checks pass on it and it writes the clean PC's
# transcript under Wine. Where Wine cannot run the image (a 32-bit one on a
# host without 32-bit code), the checks that need no Wine still run, and then
# the test exits 77 (skipped), saying what was not run.
#
# Usage: sign-exe_test.sh x86|x64 OBJDUMP PRODUCT_EXE UNIT_TESTS_EXE E2E_TESTS_EXE
set -euo pipefail
[ $# -eq 5 ] || { echo "usage: $0 x86|x64 OBJDUMP PRODUCT_EXE UNIT_TESTS_EXE E2E_TESTS_EXE" >&2; exit 2; }
arch=$1 objdump=$2 product=$3 unit_tests=$4 e2e_tests=$5
source_dir=$(cd "$(dirname "$0")/.." && pwd)
work=$(mktemp -d)
timestamp_server=""
trap '[ -z "$timestamp_server" ] || kill "$timestamp_server"; rm -rf "$work"' EXIT
failures=0
check() { # description command...
    local description=$1
    shift
    if "$@" >"$work/check.log" 2>&1; then
        echo "ok: $description"
    else
        echo "FAILED: $description"
        cat "$work/check.log"
        failures=$((failures + 1))
    fi
}
fails() { ! "$@"; }

"$source_dir/tools/throwaway-signing-pki.sh" "$work" release other timestamp

signed="$work/zemlodiag.exe"
cp "$product" "$signed"
check "the signing script signs" env ZEMLO_SIGN_PKCS12="$work/release.p12" ZEMLO_SIGN_PASSWORD='throwaway pass' \
    ZEMLO_SIGN_CAFILE="$work/release-root.pem" "$source_dir/tools/sign-exe.sh" "$signed"
check "the image changed" fails cmp -s "$product" "$signed"
check "the signature verifies against the signing root" \
    osslsigncode verify -CAfile "$work/release-root.pem" -in "$signed"
check "the signature does not verify against another root" \
    fails osslsigncode verify -CAfile "$work/other-root.pem" -in "$signed"
check "the unsigned build has no signature to verify" \
    fails osslsigncode verify -CAfile "$work/release-root.pem" -in "$product"
check "a wrong password signs nothing" fails env ZEMLO_SIGN_PKCS12="$work/release.p12" ZEMLO_SIGN_PASSWORD=wrong \
    "$source_dir/tools/sign-exe.sh" "$product"

# The timestamp: a throwaway RFC 3161 server whose certificate may only stamp.
printf 'basicConstraints=critical,CA:FALSE\nkeyUsage=critical,digitalSignature\nextendedKeyUsage=critical,timeStamping\n' \
    >"$work/signer.ext"
openssl x509 -req -in "$work/timestamp-signer.csr" -CA "$work/timestamp-root.pem" -CAkey "$work/timestamp-root.key" \
    -CAcreateserial -days 2 -extfile "$work/signer.ext" -out "$work/timestamp-signer.pem" 2>/dev/null
echo 01 >"$work/timestamp-serial"
cat >"$work/timestamp.cnf" <<EOF
[ tsa ]
default_tsa = test_tsa
[ test_tsa ]
serial = $work/timestamp-serial
signer_cert = $work/timestamp-signer.pem
certs = $work/timestamp-root.pem
signer_key = $work/timestamp-signer.key
signer_digest = sha256
default_policy = 1.3.6.1.4.1.99999.1
digests = sha256, sha384, sha512
accuracy = secs:1
ess_cert_id_alg = sha256
EOF
"$source_dir/tools/test-timestamp-server.py" "$work/timestamp.cnf" "$work" >"$work/timestamp-port" &
timestamp_server=$!
for _ in $(seq 50); do [ -s "$work/timestamp-port" ] && break; sleep 0.1; done
stamped="$work/stamped.exe"
cp "$product" "$stamped"
check "the signing script signs with a timestamp" env ZEMLO_SIGN_PKCS12="$work/release.p12" \
    ZEMLO_SIGN_PASSWORD='throwaway pass' ZEMLO_SIGN_TIMESTAMP_URL="http://127.0.0.1:$(cat "$work/timestamp-port")" \
    "$source_dir/tools/sign-exe.sh" "$stamped"
timestamp_verified() { # image
    osslsigncode verify -CAfile "$work/release-root.pem" -TSA-CAfile "$work/timestamp-root.pem" -in "$1" \
        >"$work/verify.log" 2>&1
    local status=$?
    cat "$work/verify.log"
    [ "$status" -eq 0 ] && grep -q 'Timestamp Server Signature verification: ok' "$work/verify.log"
}
check "the timestamp verifies against the timestamp root" timestamp_verified "$stamped"
check "a signature made without a timestamp server has no timestamp" fails timestamp_verified "$signed"

# Runs test cases against the signed image; a filter that matched nothing
# would pass, so the count of passed cases is checked too.
passes() { # program filter minimum
    ZEMLO_PRODUCT_EXE="$signed" "$source_dir/tests/harness/wine-run.sh" "$1" --gtest_filter="$2" >"$work/run.log" 2>&1
    local status=$?
    cat "$work/run.log"
    local passed
    passed=$(sed -n 's/^\[  PASSED  \] \([0-9]*\) tests\?\..*/\1/p' "$work/run.log" | tr -d '\r')
    [ "$status" -eq 0 ] && [ "${passed:-0}" -ge "$3" ]
}
check "the image checks read on the build host pass on the signed image" \
    "$source_dir/app/pe_image_test.py" "$arch" "$signed" "$(dirname "$product")/zemlodiag.map" "$source_dir" "$objdump"
if ! "$source_dir/tests/harness/wine-run.sh" --can-run "$signed"; then
    [ "$failures" -eq 0 ] || exit 1
    echo "not run: the image checks under Wine and the clean PC's transcript of the signed image"
    exit 77
fi
check "the image checks under Wine pass on the signed image" \
    passes "$unit_tests" 'ProductImage.*:ProductVersionResource.*' 3
check "the signed image writes the clean PC's transcript" \
    passes "$e2e_tests" 'Golden/FullReport.IsTheTranscriptOnLogAndConsole/CleanPc' 1

[ "$failures" -eq 0 ]
