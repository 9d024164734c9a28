#include "tests/harness/cert_seed.h"

#include <gtest/gtest.h>
#include <sddl.h>

#include <algorithm>
#include <cstdlib>

#include "base/crypto_handles.h"
#include "tests/harness/prefix_seed.h"

const wchar_t kImportDescribingLines[] =
    L"\r\nImporting certificate: "
    L"\r\n\r\nSubject: CN = thawte Primary Root CA - G3, OU = (c) 2008 thawte, Inc. - For authorized use only, "
    L"OU = Certification Services Division, O = thawte, Inc., C = US"
    L"\r\nSerial number: 60 01 97 b7 46 a7 ea b4 b4 9a d6 4b 2f f7 90 fb";

namespace {

constexpr DWORD kCertEncoding = X509_ASN_ENCODING | PKCS_7_ASN_ENCODING;
constexpr wchar_t kSystemCertificatesKey[] = L"Software\\Microsoft\\SystemCertificates";

DWORD StoreLocation(StoreScope scope)
{
    return scope == StoreScope::LocalMachine ? CERT_SYSTEM_STORE_LOCAL_MACHINE : CERT_SYSTEM_STORE_CURRENT_USER;
}

// Without OPEN_EXISTING: a fresh prefix has no current-user Root store yet.
HCERTSTORE OpenRootStore(StoreScope scope)
{
    return CertOpenStore(CERT_STORE_PROV_SYSTEM_W, 0, 0, StoreLocation(scope), L"Root");
}

// Every entry of the store that has exactly these bytes; the caller frees them.
std::vector<PCCERT_CONTEXT> FindEncoded(HCERTSTORE store, const std::string& der)
{
    std::vector<PCCERT_CONTEXT> found;
    PCCERT_CONTEXT context = nullptr;
    while ((context = CertEnumCertificatesInStore(store, context)) != nullptr) {
        if (context->cbCertEncoded == der.size() &&
            std::string(reinterpret_cast<const char*>(context->pbCertEncoded), context->cbCertEncoded) == der)
            found.push_back(CertDuplicateCertificateContext(context));
    }
    return found;
}

}  // namespace

std::string TestPkiCertificate(const std::string& fileName)
{
    const char* folder = std::getenv("ZEMLO_TEST_PKI_DIR");
    if (folder == nullptr) {
        ADD_FAILURE() << "ZEMLO_TEST_PKI_DIR is not set: run the tests through CTest";
        return std::string();
    }
    std::string der;
    if (!ReadWholeFile(UnixToWindowsPath(std::string(folder) + "/" + fileName), &der) || der.empty())
        ADD_FAILURE() << "cannot read " << fileName << " of the test PKI in " << folder;
    return der;
}

std::string MakeCertBlobBytes(const std::vector<std::string>& derCertificates)
{
    std::string blob;
    for (const std::string& der : derCertificates) {
        const DWORD length = static_cast<DWORD>(der.size());
        for (int shift = 0; shift < 32; shift += 8)
            blob += static_cast<char>((length >> shift) & 0xFF);
        blob += der;
    }
    return blob;
}

CertBlob AsCertBlob(const std::string& blobBytes)
{
    return CertBlob{reinterpret_cast<const BYTE*>(blobBytes.data()), static_cast<DWORD>(blobBytes.size())};
}

std::vector<std::string> CertBlobRecords(const CertBlob& blob)
{
    std::vector<std::string> records;
    for (DWORD at = 0; at + 4 <= blob.totalLength;) {
        const BYTE* record = blob.bytes + at;
        const DWORD length = record[0] | (record[1] << 8) | (record[2] << 16) | (static_cast<DWORD>(record[3]) << 24);
        if (length > blob.totalLength - at - 4) {
            ADD_FAILURE() << "record at " << at << " runs past the blob";
            break;
        }
        records.emplace_back(reinterpret_cast<const char*>(record + 4), length);
        at += 4 + length;
    }
    return records;
}

bool CertTimeValidNow(const std::string& derCertificate)
{
    const ScopedCertContext cert(CertCreateCertificateContext(
        kCertEncoding, reinterpret_cast<const BYTE*>(derCertificate.data()), static_cast<DWORD>(derCertificate.size())));
    if (!cert) {
        ADD_FAILURE() << "not a certificate";
        return false;
    }
    return CertVerifyTimeValidity(nullptr, cert.get()->pCertInfo) == 0;
}

bool CertBlobTimeValidNow(const CertBlob& blob)
{
    const std::vector<std::string> records = CertBlobRecords(blob);
    return !records.empty() && std::all_of(records.begin(), records.end(), CertTimeValidNow);
}

ScopedTrustedRoot::ScopedTrustedRoot(StoreScope scope, const std::string& derCertificate)
    : scope_(scope), der_(derCertificate)
{
    const HCERTSTORE store = OpenRootStore(scope_);
    if (store == nullptr) {
        ADD_FAILURE() << "opening the Root store failed with " << GetLastError();
        return;
    }
    added_ = CertAddEncodedCertificateToStore(store, kCertEncoding, reinterpret_cast<const BYTE*>(der_.data()),
                                              static_cast<DWORD>(der_.size()), CERT_STORE_ADD_NEW, nullptr) != FALSE;
    if (!added_)
        ADD_FAILURE() << "adding to the Root store failed with 0x" << std::hex << GetLastError();
    CertCloseStore(store, 0);
}

ScopedTrustedRoot::~ScopedTrustedRoot()
{
    if (added_)
        RemoveFromRootStore(scope_, der_);
}

bool RemoveFromRootStore(StoreScope scope, const std::string& derCertificate)
{
    // Through the registry provider: Wine reports a delete through the system
    // store as done but keeps the certificate.
    const HCERTSTORE store = CertOpenStore(CERT_STORE_PROV_SYSTEM_REGISTRY_W, 0, 0, StoreLocation(scope), L"Root");
    if (store == nullptr) {
        ADD_FAILURE() << "opening the Root store failed with " << GetLastError();
        return false;
    }
    bool removed = true;
    for (PCCERT_CONTEXT context : FindEncoded(store, derCertificate)) {
        // Deleting frees the context, also on failure.
        if (!CertDeleteCertificateFromStore(context)) {
            ADD_FAILURE() << "removing from the Root store failed with 0x" << std::hex << GetLastError();
            removed = false;
        }
    }
    CertCloseStore(store, 0);
    return removed;
}

int CountInRootStore(StoreScope scope, const std::string& derCertificate)
{
    const HCERTSTORE store = CertOpenStore(CERT_STORE_PROV_SYSTEM_W, 0, 0,
                                           StoreLocation(scope) | CERT_STORE_OPEN_EXISTING_FLAG |
                                               CERT_STORE_READONLY_FLAG,
                                           L"Root");
    if (store == nullptr)
        return -1;
    const std::vector<PCCERT_CONTEXT> found = FindEncoded(store, derCertificate);
    for (PCCERT_CONTEXT context : found)
        CertFreeCertificateContext(context);
    CertCloseStore(store, 0);
    return static_cast<int>(found.size());
}

bool MakeLocalMachineRootStoreUnopenable()
{
    const std::wstring rootKey = std::wstring(kSystemCertificatesKey) + L"\\Root";
    PSECURITY_DESCRIPTOR noNewKeys = nullptr;
    // Everyone: no KEY_CREATE_SUB_KEY (0x4), everything else allowed.
    if (!ConvertStringSecurityDescriptorToSecurityDescriptorW(L"D:P(D;;0x4;;;WD)(A;;KA;;;WD)", SDDL_REVISION_1,
                                                              &noNewKeys, nullptr)) {
        ADD_FAILURE() << "building the security descriptor failed with " << GetLastError();
        return false;
    }
    const RegView views[] = {RegView::Native64, RegView::Wow32};
    bool done = true;
    // All deletions first: once restricted, the key refuses even those.
    for (RegView view : views) {
        if (!DeleteRegTree(HKEY_LOCAL_MACHINE, rootKey, view) ||
            !SeedRegKey(HKEY_LOCAL_MACHINE, kSystemCertificatesKey, view))
            done = false;
    }
    for (RegView view : views) {
        if (!done)
            break;
        HKEY key = nullptr;
        LSTATUS status =
            RegOpenKeyExW(HKEY_LOCAL_MACHINE, kSystemCertificatesKey, 0, WRITE_DAC | RegViewFlag(view), &key);
        if (status == ERROR_SUCCESS) {
            status = RegSetKeySecurity(key, DACL_SECURITY_INFORMATION, noNewKeys);
            RegCloseKey(key);
        }
        if (status != ERROR_SUCCESS) {
            ADD_FAILURE() << "restricting SystemCertificates failed with " << status;
            done = false;
        }
    }
    LocalFree(noNewKeys);
    return done;
}
