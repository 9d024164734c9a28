#include "certs/cert_blob_store.h"

namespace {

DWORD ReadRecordLength(const BYTE* at)
{
    return static_cast<DWORD>(at[0]) | (static_cast<DWORD>(at[1]) << 8) | (static_cast<DWORD>(at[2]) << 16) |
           (static_cast<DWORD>(at[3]) << 24);
}

}  // namespace

bool AddCertBlobToStore(HCERTSTORE store, const BYTE* bytes, DWORD totalLength, PCCERT_CONTEXT* firstCertOut)
{
    DWORD length = ReadRecordLength(bytes);
    const BYTE* certificate = bytes + 4;
    DWORD offset = 4 + length;
    for (;;) {
        PCCERT_CONTEXT* contextOut = firstCertOut != nullptr && *firstCertOut == nullptr ? firstCertOut : nullptr;
        if (!CertAddEncodedCertificateToStore(store, X509_ASN_ENCODING | PKCS_7_ASN_ENCODING, certificate, length,
                                              CERT_STORE_ADD_ALWAYS, contextOut))
            return false;
        if (offset >= totalLength)
            return true;
        length = ReadRecordLength(bytes + offset);
        certificate = bytes + offset + 4;
        offset += 4 + length;
    }
}
