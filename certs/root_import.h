#pragma once

#include <windows.h>
#include <wincrypt.h>

#include "certs/cert_blobs.h"

// Owns one open certificate store and closes it exactly once.
class ScopedCertStore {
public:
    explicit ScopedCertStore(DWORD closeFlags, HCERTSTORE store = nullptr) : store_(store), closeFlags_(closeFlags) {}
    ScopedCertStore(ScopedCertStore&& other) noexcept : store_(other.store_), closeFlags_(other.closeFlags_)
    {
        other.store_ = nullptr;
    }
    ScopedCertStore& operator=(ScopedCertStore&& other) noexcept;
    ScopedCertStore(const ScopedCertStore&) = delete;
    ScopedCertStore& operator=(const ScopedCertStore&) = delete;
    ~ScopedCertStore() { Close(); }

    // Takes a newly opened store; one held before is closed first.
    void Reset(HCERTSTORE store);
    // CertCloseStore's result; false, and nothing done, when no store is held.
    bool Close();
    HCERTSTORE get() const { return store_; }

private:
    HCERTSTORE store_;
    DWORD closeFlags_;
};

// /fix: adds the embedded root certificate to the local machine's trusted
// root store, reporting through the run log. False when the store cannot be
// opened or an add fails.
bool ImportRootCertificate();
// The same import for another blob (which the fixed describing lines then do
// not describe): lets the add failure be reproduced with a malformed record.
bool ImportRootCertificateFrom(const CertBlob& rootBlob);
