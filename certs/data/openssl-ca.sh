# Shell helpers around certs/data/openssl-ca.cnf, sourced by the scripts that
# make certificates. They work in the current folder, where keys and CA
# bookkeeping stay.
ZEMLO_CA_CONFIG="$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)/openssl-ca.cnf"
export LEAF_HOST=${LEAF_HOST:-unused}

sign() { # csr cert issuer_cert issuer_key ext start end [selfsign]
    : >index.txt
    openssl rand -hex 16 >serial
    openssl ca -batch -config "$ZEMLO_CA_CONFIG" -notext -in "$1" -out "$2" -cert "$3" -keyfile "$4" \
        -extensions "$5" -startdate "$6" -enddate "$7" ${8:+-selfsign} >/dev/null 2>&1
}

new_request() { # key csr subject
    openssl req -new -newkey rsa:2048 -nodes -keyout "$1" -out "$2" -subj "$3" 2>/dev/null
}
