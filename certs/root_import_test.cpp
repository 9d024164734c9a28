// The root import against the real local-machine Root store of the prefix;
// the add failure is reproduced with a malformed record.

#include "certs/root_import.h"

#include <gtest/gtest.h>

#include <string>

#include "base/crypto_handles.h"
#include "tests/harness/cert_seed.h"
#include "tests/harness/log_capture.h"
#include "tests/harness/report_text.h"

namespace {

const std::string kNotACertificate = "this is not a DER certificate";

HCERTSTORE OpenMemoryStore()
{
    return CertOpenStore(CERT_STORE_PROV_MEMORY, X509_ASN_ENCODING | PKCS_7_ASN_ENCODING, 0,
                         CERT_STORE_CREATE_NEW_FLAG, nullptr);
}

// The close flags travel with the owner, also through a move.
DWORD g_closeFlags = 0xFFFFFFFF;
int g_closeCalls = 0;

BOOL WINAPI SeeCloseStore(HCERTSTORE store, DWORD flags)
{
    ++g_closeCalls;
    g_closeFlags = flags;
    return CertCloseStore(store, flags);
}

TEST(ScopedCertStore, ClosesWhatItHoldsExactlyOnceWithItsFlags)
{
    CertStoreClose forced(CERT_CLOSE_STORE_FORCE_FLAG);
    forced.call = SeeCloseStore;
    CertStoreClose plain;
    plain.call = SeeCloseStore;

    ScopedCertStore empty(forced);
    EXPECT_EQ(empty.get(), nullptr);
    EXPECT_FALSE(empty.Close()) << "nothing to close";
    EXPECT_EQ(g_closeCalls, 0);

    ScopedCertStore held(forced, OpenMemoryStore());
    ASSERT_NE(held.get(), nullptr);
    EXPECT_TRUE(held.Close());
    EXPECT_EQ(g_closeFlags, static_cast<DWORD>(CERT_CLOSE_STORE_FORCE_FLAG));
    EXPECT_EQ(held.get(), nullptr);
    EXPECT_FALSE(held.Close()) << "closed twice";
    EXPECT_EQ(g_closeCalls, 1);

    ScopedCertStore source(forced, OpenMemoryStore());
    const HCERTSTORE handle = source.get();
    ScopedCertStore moved(std::move(source));
    EXPECT_EQ(moved.get(), handle);
    EXPECT_FALSE(source.Close()) << "the moved-from owner must not close the store";  // NOLINT(bugprone-use-after-move)
    ScopedCertStore assigned(plain, OpenMemoryStore());
    g_closeFlags = 0xFFFFFFFF;
    assigned = std::move(moved);
    EXPECT_EQ(g_closeFlags, 0u) << "the store held before is closed with its own flags";
    EXPECT_EQ(assigned.get(), handle);
    EXPECT_TRUE(assigned.Close());
    EXPECT_EQ(g_closeFlags, static_cast<DWORD>(CERT_CLOSE_STORE_FORCE_FLAG)) << "the flags moved with the store";
    EXPECT_EQ(g_closeCalls, 3);
}

std::wstring Decimal(DWORD value)
{
    return std::to_wstring(value);
}

TEST(ImportRootCertificate, FailingAddReportsItsErrorInDecimal)
{
    const std::string thawte = CertBlobRecords(kRootCertBlob).at(0);
    const std::string malformedFirst = MakeCertBlobBytes({kNotACertificate});
    const std::string malformedSecond = MakeCertBlobBytes({thawte, kNotACertificate});

    // The error crypt32 gives for these bytes, as any add would report it.
    const HCERTSTORE memory = OpenMemoryStore();
    ASSERT_FALSE(CertAddEncodedCertificateToStore(memory, X509_ASN_ENCODING | PKCS_7_ASN_ENCODING,
                                                  reinterpret_cast<const BYTE*>(kNotACertificate.data()),
                                                  static_cast<DWORD>(kNotACertificate.size()), CERT_STORE_ADD_ALWAYS,
                                                  nullptr));
    const DWORD addError = GetLastError();
    CertCloseStore(memory, 0);
    ASSERT_GT(addError, 0x7FFFFFFFu) << "an HRESULT, so decimal and hexadecimal differ visibly";

    ASSERT_EQ(CountInRootStore(StoreScope::LocalMachine, thawte), 0);
    for (const std::string* blob : {&malformedFirst, &malformedSecond}) {
        bool imported = true;
        std::wstring body;
        {
            CapturedRunLog log;
            ASSERT_TRUE(log.IsOpen());
            imported = ImportRootCertificateFrom(AsCertBlob(*blob));
            body = log.Text();
        }
        EXPECT_FALSE(imported);
        EXPECT_EQ(body, std::wstring(kImportDescribingLines) + L"error: \r\nError: CertAddCertificateContextToStore returned error " +
                            Decimal(addError) + L"\r\n")
            << Printable(body);
    }
    // What was added before the failing record stays (the second blob's first).
    EXPECT_GE(CountInRootStore(StoreScope::LocalMachine, thawte), 1);
    EXPECT_TRUE(RemoveFromRootStore(StoreScope::LocalMachine, thawte));
}

}  // namespace
