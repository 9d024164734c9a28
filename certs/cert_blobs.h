#pragma once

#include <windows.h>

#include "certs/root_cert_blob.h"
#include "certs/service_chain_blob.h"

// A run of records, each a 32-bit little-endian length and that many bytes of
// one DER certificate; its extent always travels with it.
struct CertBlob {
    const BYTE* bytes;
    DWORD totalLength;
};

// "thawte Primary Root CA - G3", the root that /fix imports.
inline constexpr CertBlob kRootCertBlob = {RootCertBlob, RootCertBlobLength};
// The service host's TLS chain without its root: end entity, then its issuer.
inline constexpr CertBlob kServiceChainBlob = {ServiceChainBlob, ServiceChainBlobLength};
