#include "certs/root_import.h"

#include "base/unique_resource.h"
#include "certs/cert_blob_store.h"
#include "log/run_log.h"

bool ImportRootCertificateFrom(const CertBlob& rootBlob)
{
    // Fixed texts: they describe the embedded root, not whatever is parsed.
    LogPrint(L"\r\nImporting certificate: ");
    LogPrint(L"\r\n\r\nSubject: CN = thawte Primary Root CA - G3, OU = (c) 2008 thawte, Inc. - For authorized use only, "
             L"OU = Certification Services Division, O = thawte, Inc., C = US");
    LogPrint(L"\r\nSerial number: 60 01 97 b7 46 a7 ea b4 b4 9a d6 4b 2f f7 90 fb");

    ScopedCertStore rootStore(CertStoreClose(CERT_CLOSE_STORE_FORCE_FLAG));
    // Opened for writing; OPEN_EXISTING refuses to create a missing store.
    rootStore.reset(CertOpenStore(CERT_STORE_PROV_SYSTEM_W, 0, 0,
                                  CERT_SYSTEM_STORE_LOCAL_MACHINE | CERT_STORE_OPEN_EXISTING_FLAG, L"Root"));
    if (!rootStore) {
        LogError(L"\r\nError: Cannot open system trusted root store");
        return false;
    }
    if (!AddCertBlobToStore(rootStore.get(), rootBlob.bytes, rootBlob.totalLength, nullptr)) {
        const DWORD addError = GetLastError();
        LogError(L"\r\nError: CertAddCertificateContextToStore returned error %u\r\n", addError);
        return false;
    }
    LogPrint(L"\r\n\r\nCertificate successfully imported");
    return true;
}

bool ImportRootCertificate()
{
    return ImportRootCertificateFrom(kRootCertBlob);
}
