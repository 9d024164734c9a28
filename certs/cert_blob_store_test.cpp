// The CertBlob walk against real crypt32 memory stores, and the facts about
// the embedded certificates that the rest of the program relies on.

#include "certs/cert_blob_store.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <vector>

#include "certs/cert_blobs.h"
#include "network/service_names.h"
#include "tests/harness/cert_seed.h"

namespace {

constexpr DWORD kCertEncoding = X509_ASN_ENCODING | PKCS_7_ASN_ENCODING;

class MemoryStore {
public:
    MemoryStore() : store_(CertOpenStore(CERT_STORE_PROV_MEMORY, kCertEncoding, 0, CERT_STORE_CREATE_NEW_FLAG, nullptr))
    {
    }
    MemoryStore(const MemoryStore&) = delete;
    MemoryStore& operator=(const MemoryStore&) = delete;
    ~MemoryStore() { CertCloseStore(store_, CERT_CLOSE_STORE_FORCE_FLAG); }
    HCERTSTORE get() const { return store_; }

    // The encodings of the store's entries, sorted (Wine enumerates a memory
    // store newest first).
    std::vector<std::string> Encodings() const
    {
        std::vector<std::string> encodings;
        PCCERT_CONTEXT context = nullptr;
        while ((context = CertEnumCertificatesInStore(store_, context)) != nullptr)
            encodings.push_back(Encoding(context));
        std::sort(encodings.begin(), encodings.end());
        return encodings;
    }

    static std::string Encoding(PCCERT_CONTEXT context)
    {
        return std::string(reinterpret_cast<const char*>(context->pbCertEncoded), context->cbCertEncoded);
    }

private:
    HCERTSTORE store_;
};

std::vector<std::string> Sorted(std::vector<std::string> encodings)
{
    std::sort(encodings.begin(), encodings.end());
    return encodings;
}

struct FreeContext {
    PCCERT_CONTEXT context = nullptr;
    ~FreeContext()
    {
        if (context != nullptr)
            CertFreeCertificateContext(context);
    }
};

const std::string kNotACertificate = "this is not a DER certificate";

TEST(CertBlobWalk, EmbeddedBlobsAddEveryRecordInOrderAndCaptureTheFirst)
{
    struct Case {
        const char* name;
        CertBlob blob;
        size_t records;
    };
    for (const Case& c : {Case{"root", kRootCertBlob, 1}, Case{"service chain", kServiceChainBlob, 2}}) {
        SCOPED_TRACE(c.name);
        const std::vector<std::string> records = CertBlobRecords(c.blob);
        ASSERT_EQ(records.size(), c.records);
        MemoryStore store;
        FreeContext first;
        EXPECT_TRUE(AddCertBlobToStore(store.get(), c.blob.bytes, c.blob.totalLength, &first.context));
        EXPECT_TRUE(store.Encodings() == Sorted(records)) << store.Encodings().size() << " entries";
        ASSERT_NE(first.context, nullptr);
        EXPECT_TRUE(MemoryStore::Encoding(first.context) == records[0]) << "captured another certificate";
    }
}

// The stop test comes after each add and is reached-or-passed: every total
// length up to the end of record 0 adds record 0 alone, even 0.
TEST(CertBlobWalk, TotalLengthDecidesAfterEachAddWhetherToGoOn)
{
    const std::vector<std::string> records = CertBlobRecords(kServiceChainBlob);
    ASSERT_EQ(records.size(), 2u);
    const DWORD endOfFirst = 4 + static_cast<DWORD>(records[0].size());
    const DWORD total = kServiceChainBlob.totalLength;
    const struct {
        DWORD totalLength;
        size_t added;
    } cases[] = {{0, 1},     {1, 1},         {4, 1},         {endOfFirst - 1, 1}, {endOfFirst, 1},
                 {endOfFirst + 1, 2}, {total - 1, 2}, {total, 2}};
    for (const auto& c : cases) {
        MemoryStore store;
        EXPECT_TRUE(AddCertBlobToStore(store.get(), kServiceChainBlob.bytes, c.totalLength, nullptr))
            << "total length " << c.totalLength;
        const std::vector<std::string> expected =
            c.added == 1 ? std::vector<std::string>{records[0]} : Sorted(records);
        EXPECT_TRUE(store.Encodings() == expected)
            << "total length " << c.totalLength << ": " << store.Encodings().size() << " entries";
    }
}

TEST(CertBlobWalk, StopsAtTheFirstFailingAddAndKeepsWhatWasAdded)
{
    const std::vector<std::string> records = CertBlobRecords(kServiceChainBlob);
    const std::string leaf = records.at(0);
    const std::string third = records.at(1);
    const struct {
        const char* name;
        std::vector<std::string> blobRecords;
        std::vector<std::string> kept;
        bool captured;
    } cases[] = {
        {"first record", {kNotACertificate, leaf}, {}, false},
        {"second record", {leaf, kNotACertificate, third}, {leaf}, true},
        {"third record", {leaf, third, kNotACertificate}, {leaf, third}, true},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        const std::string bytes = MakeCertBlobBytes(c.blobRecords);
        MemoryStore store;
        FreeContext first;
        SetLastError(0);
        const bool added =
            AddCertBlobToStore(store.get(), AsCertBlob(bytes).bytes, AsCertBlob(bytes).totalLength, &first.context);
        const DWORD error = GetLastError();
        EXPECT_FALSE(added);
        EXPECT_NE(error, 0u) << "the failing add's error is left for the caller";
        EXPECT_TRUE(store.Encodings() == Sorted(c.kept)) << store.Encodings().size() << " entries";
        EXPECT_EQ(first.context != nullptr, c.captured);
        if (first.context != nullptr) {
            EXPECT_TRUE(MemoryStore::Encoding(first.context) == leaf) << "captured another certificate";
        }
    }
}

TEST(CertBlobWalk, CapturesNothingWhenTheOutValueIsAlreadySet)
{
    MemoryStore other;
    FreeContext preset;
    ASSERT_TRUE(AddCertBlobToStore(other.get(), kRootCertBlob.bytes, kRootCertBlob.totalLength, &preset.context));
    const PCCERT_CONTEXT before = preset.context;

    MemoryStore store;
    EXPECT_TRUE(AddCertBlobToStore(store.get(), kServiceChainBlob.bytes, kServiceChainBlob.totalLength,
                                   &preset.context));
    EXPECT_EQ(preset.context, before);
    EXPECT_TRUE(store.Encodings() == Sorted(CertBlobRecords(kServiceChainBlob)));
}

// ---- what the embedded certificates are ------------------------------------

std::wstring NameAsReported(const CERT_NAME_BLOB& name)
{
    // "CN = ..., OU = ..., O = ..., C = ...": last RDN first, as /fix prints it.
    DWORD size = 0;
    CERT_NAME_INFO* info = nullptr;
    if (!CryptDecodeObjectEx(kCertEncoding, X509_NAME, name.pbData, name.cbData, CRYPT_DECODE_ALLOC_FLAG, nullptr,
                             &info, &size))
        return L"<undecodable>";
    const struct {
        const char* oid;
        const wchar_t* label;
    } labels[] = {{szOID_COMMON_NAME, L"CN"},
                  {szOID_ORGANIZATIONAL_UNIT_NAME, L"OU"},
                  {szOID_ORGANIZATION_NAME, L"O"},
                  {szOID_COUNTRY_NAME, L"C"}};
    std::wstring text;
    for (DWORD rdn = info->cRDN; rdn-- > 0;) {
        for (DWORD attr = 0; attr < info->rgRDN[rdn].cRDNAttr; ++attr) {
            const CERT_RDN_ATTR& value = info->rgRDN[rdn].rgRDNAttr[attr];
            std::wstring label = L"?";
            for (const auto& known : labels) {
                if (std::string(value.pszObjId) == known.oid)
                    label = known.label;
            }
            wchar_t buffer[512] = {};
            CertRDNValueToStrW(value.dwValueType, const_cast<CERT_RDN_VALUE_BLOB*>(&value.Value), buffer, 512);
            text += (text.empty() ? L"" : L", ") + label + L" = " + buffer;
        }
    }
    LocalFree(info);
    return text;
}

std::wstring SerialAsReported(const CRYPT_INTEGER_BLOB& serial)
{
    static const wchar_t hex[] = L"0123456789abcdef";
    std::wstring text;
    for (DWORD at = serial.cbData; at-- > 0;) {  // stored least significant byte first
        text += (text.empty() ? L"" : L" ");
        text += hex[serial.pbData[at] >> 4];
        text += hex[serial.pbData[at] & 0xF];
    }
    return text;
}

SYSTEMTIME Utc(const FILETIME& time)
{
    SYSTEMTIME utc = {};
    FileTimeToSystemTime(&time, &utc);
    return utc;
}

std::string Sha256Hex(const std::string& bytes)
{
    HCRYPTPROV provider = 0;
    if (!CryptAcquireContextW(&provider, nullptr, nullptr, PROV_RSA_AES, CRYPT_VERIFYCONTEXT))
        return "no provider";
    BYTE digest[32] = {};
    DWORD digestSize = sizeof(digest);
    HCRYPTHASH hash = 0;
    std::string text;
    if (CryptCreateHash(provider, CALG_SHA_256, 0, 0, &hash)) {
        if (CryptHashData(hash, reinterpret_cast<const BYTE*>(bytes.data()), static_cast<DWORD>(bytes.size()), 0) &&
            CryptGetHashParam(hash, HP_HASHVAL, digest, &digestSize, 0)) {
            static const char hex[] = "0123456789ABCDEF";
            for (DWORD at = 0; at < digestSize; ++at) {
                text += (text.empty() ? "" : ":");
                text += hex[digest[at] >> 4];
                text += hex[digest[at] & 0xF];
            }
        }
        CryptDestroyHash(hash);
    }
    CryptReleaseContext(provider, 0);
    return text;
}

// The texts /fix prints about the root are fixed; they stay true only while
// the embedded bytes are exactly this certificate.
TEST(EmbeddedCertificates, RootIsTheThawteG3RootThatFixDescribes)
{
    const std::vector<std::string> records = CertBlobRecords(kRootCertBlob);
    ASSERT_EQ(kRootCertBlob.totalLength, 1074u);
    ASSERT_EQ(records.size(), 1u);
    ASSERT_EQ(records[0].size(), 1070u);
    EXPECT_EQ(Sha256Hex(records[0]),
              "4B:03:F4:58:07:AD:70:F2:1B:FC:2C:AE:71:C9:FD:E4:60:4C:06:4C:F5:FF:B6:86:BA:E5:DB:AA:D7:FD:D3:4C");

    FreeContext root;
    root.context = CertCreateCertificateContext(kCertEncoding, reinterpret_cast<const BYTE*>(records[0].data()),
                                                static_cast<DWORD>(records[0].size()));
    ASSERT_NE(root.context, nullptr);
    const CERT_INFO& info = *root.context->pCertInfo;
    const std::wstring subject =
        L"CN = thawte Primary Root CA - G3, OU = (c) 2008 thawte, Inc. - For authorized use only, "
        L"OU = Certification Services Division, O = thawte, Inc., C = US";
    EXPECT_EQ(NameAsReported(info.Subject), subject);
    EXPECT_EQ(NameAsReported(info.Issuer), subject);
    EXPECT_EQ(SerialAsReported(info.SerialNumber), L"60 01 97 b7 46 a7 ea b4 b4 9a d6 4b 2f f7 90 fb");
    const SYSTEMTIME notBefore = Utc(info.NotBefore);
    const SYSTEMTIME notAfter = Utc(info.NotAfter);
    EXPECT_EQ(std::vector<WORD>({notBefore.wYear, notBefore.wMonth, notBefore.wDay, notBefore.wHour,
                                 notBefore.wMinute, notBefore.wSecond}),
              std::vector<WORD>({2008, 4, 2, 0, 0, 0}));
    EXPECT_EQ(std::vector<WORD>({notAfter.wYear, notAfter.wMonth, notAfter.wDay, notAfter.wHour, notAfter.wMinute,
                                 notAfter.wSecond}),
              std::vector<WORD>({2037, 12, 1, 23, 59, 59}));
    EXPECT_STREQ(info.SignatureAlgorithm.pszObjId, "1.2.840.113549.1.1.11");
}

// The chain verification names the service host to the SSL policy; the end
// entity must carry exactly that name, and the intermediate must be its issuer.
TEST(EmbeddedCertificates, ServiceChainIsIssuedForTheServiceHost)
{
    const std::vector<std::string> records = CertBlobRecords(kServiceChainBlob);
    ASSERT_EQ(records.size(), 2u);
    DWORD sum = 0;
    for (const std::string& record : records)
        sum += 4 + static_cast<DWORD>(record.size());
    EXPECT_EQ(sum, kServiceChainBlob.totalLength);

    FreeContext leaf;
    FreeContext issuer;
    leaf.context = CertCreateCertificateContext(kCertEncoding, reinterpret_cast<const BYTE*>(records[0].data()),
                                                static_cast<DWORD>(records[0].size()));
    issuer.context = CertCreateCertificateContext(kCertEncoding, reinterpret_cast<const BYTE*>(records[1].data()),
                                                  static_cast<DWORD>(records[1].size()));
    ASSERT_NE(leaf.context, nullptr);
    ASSERT_NE(issuer.context, nullptr);

    wchar_t commonName[256] = {};
    CertGetNameStringW(leaf.context, CERT_NAME_ATTR_TYPE, 0, const_cast<char*>(szOID_COMMON_NAME), commonName, 256);
    EXPECT_STREQ(commonName, kServiceHostW);

    const CERT_EXTENSION* altName = CertFindExtension(szOID_SUBJECT_ALT_NAME2, leaf.context->pCertInfo->cExtension,
                                                      leaf.context->pCertInfo->rgExtension);
    ASSERT_NE(altName, nullptr);
    CERT_ALT_NAME_INFO* names = nullptr;
    DWORD size = 0;
    ASSERT_TRUE(CryptDecodeObjectEx(kCertEncoding, X509_ALTERNATE_NAME, altName->Value.pbData, altName->Value.cbData,
                                    CRYPT_DECODE_ALLOC_FLAG, nullptr, &names, &size));
    ASSERT_EQ(names->cAltEntry, 1u);
    EXPECT_EQ(names->rgAltEntry[0].dwAltNameChoice, static_cast<DWORD>(CERT_ALT_NAME_DNS_NAME));
    EXPECT_STREQ(names->rgAltEntry[0].pwszDNSName, kServiceHostW);
    LocalFree(names);

    EXPECT_TRUE(CertCompareCertificateName(kCertEncoding, &leaf.context->pCertInfo->Issuer,
                                           &issuer.context->pCertInfo->Subject));
    DWORD flags = CERT_STORE_SIGNATURE_FLAG;
    EXPECT_TRUE(CertVerifySubjectCertificateContext(leaf.context, issuer.context, &flags));
    EXPECT_EQ(flags, 0u) << "the intermediate's key signed the end entity";
    for (PCCERT_CONTEXT context : {leaf.context, issuer.context})
        EXPECT_STREQ(context->pCertInfo->SignatureAlgorithm.pszObjId, "1.2.840.113549.1.1.11");
}

}  // namespace
