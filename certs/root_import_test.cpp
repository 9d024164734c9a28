// The root import against the real local-machine Root store of the prefix;
// the add failure is reproduced with a malformed record.

#include "certs/root_import.h"

#include <gtest/gtest.h>

#include <string>

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

TEST(ScopedCertStore, ClosesWhatItHoldsExactlyOnce)
{
    ScopedCertStore empty(CERT_CLOSE_STORE_FORCE_FLAG);
    EXPECT_EQ(empty.get(), nullptr);
    EXPECT_FALSE(empty.Close()) << "nothing to close";

    ScopedCertStore held(CERT_CLOSE_STORE_FORCE_FLAG, OpenMemoryStore());
    ASSERT_NE(held.get(), nullptr);
    EXPECT_TRUE(held.Close());
    EXPECT_EQ(held.get(), nullptr);
    EXPECT_FALSE(held.Close()) << "closed twice";

    ScopedCertStore source(CERT_CLOSE_STORE_FORCE_FLAG, OpenMemoryStore());
    const HCERTSTORE handle = source.get();
    ScopedCertStore moved(std::move(source));
    EXPECT_EQ(moved.get(), handle);
    EXPECT_FALSE(source.Close()) << "the moved-from owner must not close the store";  // NOLINT(bugprone-use-after-move)
    ScopedCertStore assigned(0, OpenMemoryStore());
    assigned = std::move(moved);
    EXPECT_EQ(assigned.get(), handle);
    EXPECT_TRUE(assigned.Close());
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
