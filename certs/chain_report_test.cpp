// The "Verify chain test" section as the run log receives it: the three
// decoders with crafted codes, the verdict block, and the whole section for
// the embedded chain in this prefix.

#include "certs/chain_report.h"

#include <gtest/gtest.h>

#include <iterator>
#include <string>

#include "certs/chain_codes.h"
#include "tests/harness/cert_seed.h"
#include "tests/harness/log_capture.h"
#include "tests/harness/report_text.h"

namespace {

// The platform's constants in the order the report prints them. A copy of
// the product's tables could not catch a row that names the wrong constant;
// this list comes from the platform headers, not from the tables.
constexpr DWORD kTrustBitsInReportOrder[] = {
    CERT_TRUST_IS_NOT_TIME_VALID,
    CERT_TRUST_IS_REVOKED,
    CERT_TRUST_IS_NOT_SIGNATURE_VALID,
    CERT_TRUST_IS_NOT_VALID_FOR_USAGE,
    CERT_TRUST_IS_UNTRUSTED_ROOT,
    CERT_TRUST_REVOCATION_STATUS_UNKNOWN,
    CERT_TRUST_IS_CYCLIC,
    CERT_TRUST_INVALID_EXTENSION,
    CERT_TRUST_INVALID_POLICY_CONSTRAINTS,
    CERT_TRUST_INVALID_BASIC_CONSTRAINTS,
    CERT_TRUST_INVALID_NAME_CONSTRAINTS,
    CERT_TRUST_HAS_NOT_SUPPORTED_NAME_CONSTRAINT,
    CERT_TRUST_HAS_NOT_DEFINED_NAME_CONSTRAINT,
    CERT_TRUST_HAS_NOT_PERMITTED_NAME_CONSTRAINT,
    CERT_TRUST_HAS_EXCLUDED_NAME_CONSTRAINT,
    CERT_TRUST_IS_OFFLINE_REVOCATION,
    CERT_TRUST_NO_ISSUANCE_CHAIN_POLICY,
    CERT_TRUST_IS_EXPLICIT_DISTRUST,
    CERT_TRUST_HAS_NOT_SUPPORTED_CRITICAL_EXT,
    CERT_TRUST_HAS_WEAK_SIGNATURE,
};

constexpr HRESULT kPolicyCodesInReportOrder[] = {
    TRUST_E_CERT_SIGNATURE,
    CRYPT_E_REVOKED,
    CERT_E_UNTRUSTEDROOT,
    CERT_E_UNTRUSTEDTESTROOT,
    CERT_E_CHAINING,
    CERT_E_WRONG_USAGE,
    CERT_E_EXPIRED,
    CERT_E_INVALID_NAME,
    CERT_E_INVALID_POLICY,
    TRUST_E_BASIC_CONSTRAINTS,
    CERT_E_CRITICAL,
    CERT_E_VALIDITYPERIODNESTING,
    CRYPT_E_NO_REVOCATION_CHECK,
    CRYPT_E_REVOCATION_OFFLINE,
    CERT_E_PURPOSE,
    CERT_E_REVOKED,
    CERT_E_REVOCATION_FAILURE,
    CERT_E_CN_NO_MATCH,
    CERT_E_ROLE,
};

std::wstring Hex8(DWORD value)
{
    std::wstring digits;
    for (int shift = 28; shift >= 0; shift -= 4)
        digits += L"0123456789abcdef"[(value >> shift) & 0xF];
    return digits;
}

std::wstring RowLine(DWORD code, const wchar_t* text)
{
    return L"\r\n\t\t0x" + Hex8(code) + L": " + text;
}

// Every row of the trust table, as the decoder prints them for 0xffffffff.
std::wstring AllTrustRows()
{
    std::wstring rows;
    for (const CodeText& row : kTrustStatusBits)
        rows += RowLine(row.code, row.text);
    return rows;
}

template <typename Print>
std::wstring Logged(Print print)
{
    CapturedRunLog log;
    if (!log.IsOpen())
        return L"<no log>";
    print();
    return log.Text();
}

TEST(ChainReport, FaultingFunctionNamesOnlyTheFiveSteps)
{
    const struct {
        int step;
        const wchar_t* expected;
    } cases[] = {
        {0, L"\r\n\tFaulting function: 0"},
        {1, L"\r\n\tFaulting function: 1 ( CertOpenStore )"},
        {2, L"\r\n\tFaulting function: 2 ( CertAddEncodedCertificateToStore )"},
        {3, L"\r\n\tFaulting function: 3 ( CertCreateCertificateChainEngine )"},
        {4, L"\r\n\tFaulting function: 4 ( CertGetCertificateChain )"},
        {5, L"\r\n\tFaulting function: 5 ( CertVerifyCertificateChainPolicy )"},
        {6, L"\r\n\tFaulting function: 6"},
        {-1, L"\r\n\tFaulting function: -1"},
    };
    for (const auto& c : cases)
        EXPECT_EQ(Logged([&] { PrintFaultingFunction(c.step); }), c.expected) << "step " << c.step;
}

TEST(ChainReport, TablesNameThePlatformConstantsInReportOrder)
{
    ASSERT_EQ(std::size(kTrustStatusBits), std::size(kTrustBitsInReportOrder));
    for (size_t row = 0; row < std::size(kTrustStatusBits); ++row)
        EXPECT_EQ(kTrustStatusBits[row].code, kTrustBitsInReportOrder[row]) << "trust row " << row + 1;
    ASSERT_EQ(std::size(kPolicyStatusCodes), std::size(kPolicyCodesInReportOrder));
    for (size_t row = 0; row < std::size(kPolicyStatusCodes); ++row)
        EXPECT_EQ(kPolicyStatusCodes[row].code, static_cast<DWORD>(kPolicyCodesInReportOrder[row]))
            << "policy row " << row + 1;
    // Every trust row is a single bit, so that "(status & bit) == bit" tests one flag.
    for (const CodeText& row : kTrustStatusBits)
        EXPECT_TRUE(row.code != 0 && (row.code & (row.code - 1)) == 0) << std::hex << row.code;
}

TEST(ChainReport, TrustStatusPrintsEveryKnownSetBitInTableOrder)
{
    const std::wstring weakSignature =
        RowLine(CERT_TRUST_HAS_WEAK_SIGNATURE, FindCodeText(kTrustStatusBits, CERT_TRUST_HAS_WEAK_SIGNATURE));
    const std::wstring criticalExtension =
        RowLine(CERT_TRUST_HAS_NOT_SUPPORTED_CRITICAL_EXT,
                FindCodeText(kTrustStatusBits, CERT_TRUST_HAS_NOT_SUPPORTED_CRITICAL_EXT));
    const std::wstring untrustedRoot =
        RowLine(CERT_TRUST_IS_UNTRUSTED_ROOT, FindCodeText(kTrustStatusBits, CERT_TRUST_IS_UNTRUSTED_ROOT));
    const struct {
        DWORD status;
        std::wstring expected;
    } cases[] = {
        {0, L"\r\n\tchainTrust: 0x00000000 = No error found for this certificate or chain."},
        {CERT_TRUST_IS_UNTRUSTED_ROOT, L"\r\n\tchainTrust: 0x00000020" + untrustedRoot},
        // The weak-signature row stands last, out of numeric order.
        {CERT_TRUST_HAS_NOT_SUPPORTED_CRITICAL_EXT | CERT_TRUST_HAS_WEAK_SIGNATURE,
         L"\r\n\tchainTrust: 0x08100000" + criticalExtension + weakSignature},
        // Bits without a row show only in the header.
        {CERT_TRUST_IS_NOT_TIME_NESTED, L"\r\n\tchainTrust: 0x00000002"},
        {CERT_TRUST_IS_PARTIAL_CHAIN, L"\r\n\tchainTrust: 0x00010000"},
        {CERT_TRUST_IS_PARTIAL_CHAIN | CERT_TRUST_IS_UNTRUSTED_ROOT, L"\r\n\tchainTrust: 0x00010020" + untrustedRoot},
        {0xFFFFFFFF, L"\r\n\tchainTrust: 0xffffffff" + AllTrustRows()},
    };
    for (const auto& c : cases) {
        const std::wstring logged = Logged([&] { PrintChainTrustStatus(c.status); });
        EXPECT_EQ(logged, c.expected) << std::hex << "status 0x" << c.status << "\n" << Printable(logged);
    }
}

// Policy codes are whole values: the first row equal to the status is
// printed, never a row whose bits the status merely contains (the name
// mismatch 0x800b010f contains every bit of the expiry 0x800b0101).
TEST(ChainReport, PolicyStatusPrintsOnlyTheRowOfItsExactCode)
{
    for (const CodeText& row : kPolicyStatusCodes) {
        const std::wstring expected = L"\r\n\tchainPolicyStatus: 0x" + Hex8(row.code) + RowLine(row.code, row.text);
        EXPECT_EQ(Logged([&] { PrintChainPolicyStatus(row.code); }), expected) << std::hex << row.code;
    }
    const std::wstring cnMismatch = Logged([&] { PrintChainPolicyStatus(CERT_E_CN_NO_MATCH); });
    EXPECT_EQ(cnMismatch.find(FindCodeText(kPolicyStatusCodes, static_cast<DWORD>(CERT_E_EXPIRED))),
              std::wstring::npos);
    // No row for 0 (unlike the trust status), nor for unknown codes.
    const struct {
        DWORD status;
        const wchar_t* expected;
    } headerOnly[] = {{0, L"\r\n\tchainPolicyStatus: 0x00000000"},
                      {0xFFFFFFFF, L"\r\n\tchainPolicyStatus: 0xffffffff"},
                      {0x800B0104, L"\r\n\tchainPolicyStatus: 0x800b0104"},
                      {0x00092013, L"\r\n\tchainPolicyStatus: 0x00092013"}};
    for (const auto& c : headerOnly)
        EXPECT_EQ(Logged([&] { PrintChainPolicyStatus(c.status); }), c.expected) << std::hex << c.status;
}

const std::wstring kProblemHeader =
    L"error: \r\nProblem detected!\r\n\tDiagnostic info for developers:\r\n\tLastApiError: ";

TEST(ChainReport, OutcomeIsOkOrTheFullDevelopersBlock)
{
    const struct {
        const char* name;
        bool accepted;
        ChainTestResult result;
        std::wstring expected;
    } cases[] = {
        {"accepted", true, {5, 4, 3, 2}, L"\r\nOK"},
        {"failed before the chain", false, {0x80092004, 3, 0xFFFFFFFF, 0xFFFFFFFF},
         kProblemHeader + L"0x80092004\r\n\tFaulting function: 3 ( CertCreateCertificateChainEngine )"
                          L"\r\n\tchainTrust: 0xffffffff" + AllTrustRows() + L"\r\n\tchainPolicyStatus: 0xffffffff"},
        {"untrusted root", false, {0, 0, 0x20, 0xFFFFFFFF},
         kProblemHeader + L"0x00000000\r\n\tFaulting function: 0\r\n\tchainTrust: 0x00000020"
                          L"\r\n\t\t0x00000020: The certificate or certificate chain is based on an untrusted root."
                          L"\r\n\tchainPolicyStatus: 0xffffffff"},
        {"name mismatch", false, {0, 0, 0, 0x800B010F},
         kProblemHeader + L"0x00000000\r\n\tFaulting function: 0"
                          L"\r\n\tchainTrust: 0x00000000 = No error found for this certificate or chain."
                          L"\r\n\tchainPolicyStatus: 0x800b010f"
                          L"\r\n\t\t0x800b010f: The certificate's CN name does not match the passed value."},
        {"policy call failed", false, {0x00000057, 5, 0, 0},
         kProblemHeader + L"0x00000057\r\n\tFaulting function: 5 ( CertVerifyCertificateChainPolicy )"
                          L"\r\n\tchainTrust: 0x00000000 = No error found for this certificate or chain."
                          L"\r\n\tchainPolicyStatus: 0x00000000"},
    };
    for (const auto& c : cases) {
        const std::wstring logged = Logged([&] { PrintChainTestOutcome(c.accepted, c.result); });
        EXPECT_EQ(logged, c.expected) << c.name << "\n" << Printable(logged);
    }
}

// The embedded chain's issuing root is not on this PC: the chain stops at the
// intermediate. Whether its certificates are time valid depends on the day.
TEST(ChainReport, EmbeddedChainWithoutItsRootIsReportedPerScope)
{
    const std::wstring trust = CertBlobTimeValidNow(kServiceChainBlob)
                                   ? L"\r\n\tchainTrust: 0x00010000"
                                   : L"\r\n\tchainTrust: 0x00010001\r\n\t\t0x00000001: This certificate or one of the "
                                     L"certificates in the certificate chain is not time valid.";
    for (bool scope : {false, true}) {
        const std::wstring title =
            std::wstring(L"\r\n\r\nVerify chain test: [") + (scope ? L"LocalMachine" : L"CurrentUser") + L"]";
        const std::wstring logged = Logged([&] { RunVerifyChainTest(scope); });
        EXPECT_EQ(logged, title + kProblemHeader + L"0x00000000\r\n\tFaulting function: 0" + trust +
                              L"\r\n\tchainPolicyStatus: 0xffffffff")
            << Printable(logged);
    }
}

}  // namespace
