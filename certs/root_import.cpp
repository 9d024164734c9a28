#include "certs/root_import.h"

#include "base/crypto_handles.h"
#include "certs/cert_blob_store.h"
#include "log/report_texts.h"
#include "log/run_log.h"

bool ImportRootCertificateFrom(const CertBlob& rootBlob)
{
    // Fixed texts: they describe the embedded root, not whatever is parsed.
    LogPrint(kImportingCertificate);
    LogPrint(kImportSubject);
    LogPrint(kImportSerial);

    ScopedCertStore rootStore(CertStoreClose(CERT_CLOSE_STORE_FORCE_FLAG));
    // Opened for writing; OPEN_EXISTING refuses to create a missing store.
    rootStore.reset(CertOpenStore(CERT_STORE_PROV_SYSTEM_W, 0, 0,
                                  CERT_SYSTEM_STORE_LOCAL_MACHINE | CERT_STORE_OPEN_EXISTING_FLAG, L"Root"));
    if (!rootStore) {
        LogError(kImportCannotOpenStore);
        return false;
    }
    if (!AddCertBlobToStore(rootStore.get(), rootBlob.bytes, rootBlob.totalLength, nullptr)) {
        const DWORD addError = GetLastError();
        LogError(kImportAddFailed, addError);
        return false;
    }
    LogPrint(kImportSucceeded);
    return true;
}

bool ImportRootCertificate()
{
    return ImportRootCertificateFrom(kRootCertBlob);
}
