#pragma once

// Certificates for tests: the test PKI that each test run generates, CertBlobs
// built from DER files, and trust seeded into the prefix's system stores
// through the real crypt32 of the prefix.

#include <windows.h>
#include <wincrypt.h>

#include <string>
#include <vector>

#include "certs/cert_blobs.h"

// One DER file of the run's test PKI (tests/data/make-test-pki.sh, in the
// folder named by ZEMLO_TEST_PKI_DIR). Empty, with a test failure, when absent.
// The three lines /fix writes about the root it imports, before any outcome.
extern const wchar_t kImportDescribingLines[];

std::string TestPkiCertificate(const std::string& fileName);

// CertBlob bytes: each record a 4-byte little-endian length and the DER.
std::string MakeCertBlobBytes(const std::vector<std::string>& derCertificates);
// A view of bytes that must outlive it.
CertBlob AsCertBlob(const std::string& blobBytes);

// The DER certificates of a blob, read by the format's definition.
std::vector<std::string> CertBlobRecords(const CertBlob& blob);
// True when the certificate is within its validity period now; false, with a
// test failure, when the bytes are not a certificate.
bool CertTimeValidNow(const std::string& derCertificate);
// True when every certificate of the blob is within its validity period now.
bool CertBlobTimeValidNow(const CertBlob& blob);

enum class StoreScope { CurrentUser, LocalMachine };

// Adds a certificate to the scope's "Root" store for the lifetime of the
// object, and deletes it again afterwards.
class ScopedTrustedRoot {
public:
    ScopedTrustedRoot(StoreScope scope, const std::string& derCertificate);
    ScopedTrustedRoot(const ScopedTrustedRoot&) = delete;
    ScopedTrustedRoot& operator=(const ScopedTrustedRoot&) = delete;
    ~ScopedTrustedRoot();
    bool added() const { return added_; }

private:
    StoreScope scope_;
    std::string der_;
    bool added_ = false;
};

// Deletes every entry of the scope's "Root" store that holds exactly this
// certificate.
bool RemoveFromRootStore(StoreScope scope, const std::string& derCertificate);

// How many entries of the scope's "Root" store hold exactly this certificate.
// -1 when the store cannot be opened.
int CountInRootStore(StoreScope scope, const std::string& derCertificate);

// Removes the local machine's "Root" store and forbids creating keys below
// SystemCertificates in both registry views, so that no later process (whose
// crypt32 would otherwise rebuild the store from the host's roots) can open it.
bool MakeLocalMachineRootStoreUnopenable();
