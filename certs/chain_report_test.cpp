// The "Verify chain test" section as the run log receives it: the three
// decoders with crafted codes, the verdict block, and the whole section for
// the embedded chain in this prefix.

#include "certs/chain_report.h"

#include <gtest/gtest.h>

#include <string>

#include "tests/harness/cert_seed.h"
#include "tests/harness/log_capture.h"
#include "tests/harness/report_text.h"

namespace {

// The 20 trust rows in their table order.
const std::wstring kAllTrustRows =
    L"\r\n\t\t0x00000001: This certificate or one of the certificates in the certificate chain is not time valid."
    L"\r\n\t\t0x00000004: Trust for this certificate or one of the certificates in the certificate chain has been revoked."
    L"\r\n\t\t0x00000008: The certificate or one of the certificates in the certificate chain does not have a valid signature."
    L"\r\n\t\t0x00000010: The certificate or certificate chain is not valid for its proposed usage."
    L"\r\n\t\t0x00000020: The certificate or certificate chain is based on an untrusted root."
    L"\r\n\t\t0x00000040: The revocation status of the certificate or one of the certificates in the certificate chain is unknown."
    L"\r\n\t\t0x00000080: One of the certificates in the chain was issued by a certification authority that the original certificate had certified."
    L"\r\n\t\t0x00000100: One of the certificates has an extension that is not valid."
    L"\r\n\t\t0x00000200: The certificate or one of the certificates in the certificate chain has a policy constraints extension, and one of the issued certificates has a disallowed policy mapping extension or does not have a required issuance policies extension."
    L"\r\n\t\t0x00000400: The certificate or one of the certificates in the certificate chain has a basic constraints extension, and either the certificate cannot be used to issue other certificates, or the chain path length has been exceeded."
    L"\r\n\t\t0x00000800: The certificate or one of the certificates in the certificate chain has a name constraints extension that is not valid."
    L"\r\n\t\t0x00001000: The certificate or one of the certificates in the certificate chain has a name constraints extension that contains unsupported fields. The minimum and maximum fields are not supported. Thus minimum must always be zero and maximum must always be absent. Only UPN is supported for an Other Name. The following alternative name choices are not supported:[X400 Address, EDI Party Name, Registered Id]."
    L"\r\n\t\t0x00002000: The certificate or one of the certificates in the certificate chain has a name constraints extension and a name constraint is missing for one of the name choices in the end certificate."
    L"\r\n\t\t0x00004000: The certificate or one of the certificates in the certificate chain has a name constraints extension, and there is not a permitted name constraint for one of the name choices in the end certificate."
    L"\r\n\t\t0x00008000: The certificate or one of the certificates in the certificate chain has a name constraints extension, and one of the name choices in the end certificate is explicitly excluded."
    L"\r\n\t\t0x01000000: The revocation status of the certificate or one of the certificates in the certificate chain is either offline or stale."
    L"\r\n\t\t0x02000000: The end certificate does not have any resultant issuance policies, and one of the issuing certification authority certificates has a policy constraints extension requiring it."
    L"\r\n\t\t0x04000000: The certificate is explicitly distrusted."
    L"\r\n\t\t0x08000000: The certificate does not support a critical extension."
    L"\r\n\t\t0x00100000: The certificate has not been strong signed. Typically this indicates that the MD2 or MD5 hashing algorithms were used to create a hash of the certificate.";

// The 19 policy rows: code and text.
const struct {
    DWORD code;
    const wchar_t* text;
} kPolicyRows[] = {
    {0x80096004, L"The signature of the certificate cannot be verified."},
    {0x80092010, L"The certificate or signature has been revoked."},
    {0x800B0109, L"A certification chain processed correctly but terminated in a root certificate that is not trusted by the trust provider."},
    {0x800B010D, L"The root certificate is a testing certificate, and policy settings disallow test certificates."},
    {0x800B010A, L"A chain of certificates was not correctly created."},
    {0x800B0110, L"The certificate is not valid for the requested usage."},
    {0x800B0101, L"A required certificate is not within its validity period."},
    {0x800B0114, L"The certificate has an invalid name. Either the name is not included in the permitted list, or it is explicitly excluded."},
    {0x800B0113, L"The certificate has an invalid policy."},
    {0x80096019, L"The basic constraints of the certificate are not valid, or they are missing."},
    {0x800B0105, L"The certificate is being used for a purpose other than the purpose specified by its CA."},
    {0x800B0102, L"The validity periods of the certification chain do not nest correctly."},
    {0x80092012, L"The revocation function was unable to check revocation for the certificate."},
    {0x80092013, L"The revocation function was unable to check revocation because the revocation server was offline."},
    {0x800B0106, L"The certificate is being used for a purpose other than one specified by the issuing CA."},
    {0x800B010C, L"The certificate has been explicitly revoked by the issuer."},
    {0x800B010E, L"The revocation process could not continue, and the certificate could not be checked."},
    {0x800B010F, L"The certificate's CN name does not match the passed value."},
    {0x800B0103, L"A certificate that can only be used as an end-entity is being used as a CA or vice versa."},
};

std::wstring Hex8(DWORD value)
{
    std::wstring digits;
    for (int shift = 28; shift >= 0; shift -= 4)
        digits += L"0123456789abcdef"[(value >> shift) & 0xF];
    return digits;
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

TEST(ChainReport, TrustStatusPrintsEveryKnownSetBitInTableOrder)
{
    const struct {
        DWORD status;
        std::wstring expected;
    } cases[] = {
        {0, L"\r\n\tchainTrust: 0x00000000 = No error found for this certificate or chain."},
        {0x00000020, L"\r\n\tchainTrust: 0x00000020"
                     L"\r\n\t\t0x00000020: The certificate or certificate chain is based on an untrusted root."},
        {0x08100000, L"\r\n\tchainTrust: 0x08100000"
                     L"\r\n\t\t0x08000000: The certificate does not support a critical extension."
                     L"\r\n\t\t0x00100000: The certificate has not been strong signed. Typically this indicates that "
                     L"the MD2 or MD5 hashing algorithms were used to create a hash of the certificate."},
        {0x01000041, L"\r\n\tchainTrust: 0x01000041"
                     L"\r\n\t\t0x00000001: This certificate or one of the certificates in the certificate chain is "
                     L"not time valid."
                     L"\r\n\t\t0x00000040: The revocation status of the certificate or one of the certificates in the "
                     L"certificate chain is unknown."
                     L"\r\n\t\t0x01000000: The revocation status of the certificate or one of the certificates in the "
                     L"certificate chain is either offline or stale."},
        {0x00000002, L"\r\n\tchainTrust: 0x00000002"},
        {0x00010000, L"\r\n\tchainTrust: 0x00010000"},
        {0x00010020, L"\r\n\tchainTrust: 0x00010020"
                     L"\r\n\t\t0x00000020: The certificate or certificate chain is based on an untrusted root."},
        {0xFFFFFFFF, L"\r\n\tchainTrust: 0xffffffff" + kAllTrustRows},
    };
    for (const auto& c : cases) {
        const std::wstring logged = Logged([&] { PrintChainTrustStatus(c.status); });
        EXPECT_EQ(logged, c.expected) << std::hex << "status 0x" << c.status << "\n" << Printable(logged);
    }
}

TEST(ChainReport, PolicyStatusPrintsTheRowOfItsExactCode)
{
    for (const auto& row : kPolicyRows) {
        const std::wstring code = Hex8(row.code);
        const std::wstring expected = L"\r\n\tchainPolicyStatus: 0x" + code + L"\r\n\t\t0x" + code + L": " + row.text;
        EXPECT_EQ(Logged([&] { PrintChainPolicyStatus(row.code); }), expected) << std::hex << row.code;
    }
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
                          L"\r\n\tchainTrust: 0xffffffff" + kAllTrustRows + L"\r\n\tchainPolicyStatus: 0xffffffff"},
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
