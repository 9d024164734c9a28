#include "certs/chain_report.h"

#include "log/code_text.h"
#include "log/run_log.h"

namespace {

constexpr CodeText kFaultingFunctions[] = {
    {kStepOpenStore, L"CertOpenStore"},
    {kStepAddCertificate, L"CertAddEncodedCertificateToStore"},
    {kStepCreateEngine, L"CertCreateCertificateChainEngine"},
    {kStepGetChain, L"CertGetCertificateChain"},
    {kStepVerifyPolicy, L"CertVerifyCertificateChainPolicy"},
};

// Every set bit with a row is printed, in this order (the weak-signature bit
// comes last on purpose).
constexpr CodeText kTrustStatusBits[] = {
    {0x00000001, L"This certificate or one of the certificates in the certificate chain is not time valid."},  // CERT_TRUST_IS_NOT_TIME_VALID
    {0x00000004, L"Trust for this certificate or one of the certificates in the certificate chain has been revoked."},  // CERT_TRUST_IS_REVOKED
    {0x00000008, L"The certificate or one of the certificates in the certificate chain does not have a valid signature."},  // CERT_TRUST_IS_NOT_SIGNATURE_VALID
    {0x00000010, L"The certificate or certificate chain is not valid for its proposed usage."},  // CERT_TRUST_IS_NOT_VALID_FOR_USAGE
    {0x00000020, L"The certificate or certificate chain is based on an untrusted root."},  // CERT_TRUST_IS_UNTRUSTED_ROOT
    {0x00000040, L"The revocation status of the certificate or one of the certificates in the certificate chain is unknown."},  // CERT_TRUST_REVOCATION_STATUS_UNKNOWN
    {0x00000080, L"One of the certificates in the chain was issued by a certification authority that the original certificate had certified."},  // CERT_TRUST_IS_CYCLIC
    {0x00000100, L"One of the certificates has an extension that is not valid."},  // CERT_TRUST_INVALID_EXTENSION
    {0x00000200, L"The certificate or one of the certificates in the certificate chain has a policy constraints extension, and one of the issued certificates has a disallowed policy mapping extension or does not have a required issuance policies extension."},  // CERT_TRUST_INVALID_POLICY_CONSTRAINTS
    {0x00000400, L"The certificate or one of the certificates in the certificate chain has a basic constraints extension, and either the certificate cannot be used to issue other certificates, or the chain path length has been exceeded."},  // CERT_TRUST_INVALID_BASIC_CONSTRAINTS
    {0x00000800, L"The certificate or one of the certificates in the certificate chain has a name constraints extension that is not valid."},  // CERT_TRUST_INVALID_NAME_CONSTRAINTS
    {0x00001000, L"The certificate or one of the certificates in the certificate chain has a name constraints extension that contains unsupported fields. The minimum and maximum fields are not supported. Thus minimum must always be zero and maximum must always be absent. Only UPN is supported for an Other Name. The following alternative name choices are not supported:[X400 Address, EDI Party Name, Registered Id]."},  // CERT_TRUST_HAS_NOT_SUPPORTED_NAME_CONSTRAINT
    {0x00002000, L"The certificate or one of the certificates in the certificate chain has a name constraints extension and a name constraint is missing for one of the name choices in the end certificate."},  // CERT_TRUST_HAS_NOT_DEFINED_NAME_CONSTRAINT
    {0x00004000, L"The certificate or one of the certificates in the certificate chain has a name constraints extension, and there is not a permitted name constraint for one of the name choices in the end certificate."},  // CERT_TRUST_HAS_NOT_PERMITTED_NAME_CONSTRAINT
    {0x00008000, L"The certificate or one of the certificates in the certificate chain has a name constraints extension, and one of the name choices in the end certificate is explicitly excluded."},  // CERT_TRUST_HAS_EXCLUDED_NAME_CONSTRAINT
    {0x01000000, L"The revocation status of the certificate or one of the certificates in the certificate chain is either offline or stale."},  // CERT_TRUST_IS_OFFLINE_REVOCATION
    {0x02000000, L"The end certificate does not have any resultant issuance policies, and one of the issuing certification authority certificates has a policy constraints extension requiring it."},  // CERT_TRUST_NO_ISSUANCE_CHAIN_POLICY
    {0x04000000, L"The certificate is explicitly distrusted."},  // CERT_TRUST_IS_EXPLICIT_DISTRUST
    {0x08000000, L"The certificate does not support a critical extension."},  // CERT_TRUST_HAS_NOT_SUPPORTED_CRITICAL_EXT
    {0x00100000, L"The certificate has not been strong signed. Typically this indicates that the MD2 or MD5 hashing algorithms were used to create a hash of the certificate."},  // CERT_TRUST_HAS_WEAK_SIGNATURE
};

// Whole policy codes; the first exact match is printed.
constexpr CodeText kPolicyStatusCodes[] = {
    {0x80096004, L"The signature of the certificate cannot be verified."},  // TRUST_E_CERT_SIGNATURE
    {0x80092010, L"The certificate or signature has been revoked."},  // CRYPT_E_REVOKED
    {0x800B0109, L"A certification chain processed correctly but terminated in a root certificate that is not trusted by the trust provider."},  // CERT_E_UNTRUSTEDROOT
    {0x800B010D, L"The root certificate is a testing certificate, and policy settings disallow test certificates."},  // CERT_E_UNTRUSTEDTESTROOT
    {0x800B010A, L"A chain of certificates was not correctly created."},  // CERT_E_CHAINING
    {0x800B0110, L"The certificate is not valid for the requested usage."},  // CERT_E_WRONG_USAGE
    {0x800B0101, L"A required certificate is not within its validity period."},  // CERT_E_EXPIRED
    {0x800B0114, L"The certificate has an invalid name. Either the name is not included in the permitted list, or it is explicitly excluded."},  // CERT_E_INVALID_NAME
    {0x800B0113, L"The certificate has an invalid policy."},  // CERT_E_INVALID_POLICY
    {0x80096019, L"The basic constraints of the certificate are not valid, or they are missing."},  // TRUST_E_BASIC_CONSTRAINTS
    {0x800B0105, L"The certificate is being used for a purpose other than the purpose specified by its CA."},  // CERT_E_CRITICAL
    {0x800B0102, L"The validity periods of the certification chain do not nest correctly."},  // CERT_E_VALIDITYPERIODNESTING
    {0x80092012, L"The revocation function was unable to check revocation for the certificate."},  // CRYPT_E_NO_REVOCATION_CHECK
    {0x80092013, L"The revocation function was unable to check revocation because the revocation server was offline."},  // CRYPT_E_REVOCATION_OFFLINE
    {0x800B0106, L"The certificate is being used for a purpose other than one specified by the issuing CA."},  // CERT_E_PURPOSE
    {0x800B010C, L"The certificate has been explicitly revoked by the issuer."},  // CERT_E_REVOKED
    {0x800B010E, L"The revocation process could not continue, and the certificate could not be checked."},  // CERT_E_REVOCATION_FAILURE
    {0x800B010F, L"The certificate's CN name does not match the passed value."},  // CERT_E_CN_NO_MATCH
    {0x800B0103, L"A certificate that can only be used as an end-entity is being used as a CA or vice versa."},  // CERT_E_ROLE
};

}  // namespace

void PrintFaultingFunction(int step)
{
    LogPrint(L"\r\n\tFaulting function: %d", step);
    if (step == 0)
        return;
    if (const wchar_t* function = FindCodeText(kFaultingFunctions, static_cast<DWORD>(step)))
        LogPrint(L" ( %s )", function);
}

void PrintChainTrustStatus(DWORD status)
{
    LogPrint(L"\r\n\tchainTrust: 0x%08x", status);
    if (status == 0) {
        LogPrint(L" = No error found for this certificate or chain.");
        return;
    }
    for (const CodeText& row : kTrustStatusBits) {
        if ((status & row.code) == row.code)
            LogPrint(L"\r\n\t\t0x%08x: %s", row.code, row.text);
    }
}

void PrintChainPolicyStatus(DWORD status)
{
    LogPrint(L"\r\n\tchainPolicyStatus: 0x%08x", status);
    if (const wchar_t* text = FindCodeText(kPolicyStatusCodes, status))
        LogPrint(L"\r\n\t\t0x%08x: %s", status, text);
}

void PrintChainTestOutcome(bool accepted, const ChainTestResult& result)
{
    if (accepted) {
        LogPrint(L"\r\nOK");
        return;
    }
    LogError(L"\r\nProblem detected!\r\n\tDiagnostic info for developers:\r\n\tLastApiError: 0x%08x", result.lastApiError);
    PrintFaultingFunction(static_cast<int>(result.faultingStep));
    PrintChainTrustStatus(result.chainTrustStatus);
    PrintChainPolicyStatus(result.chainPolicyStatus);
}

void RunVerifyChainTest(bool useLocalMachine)
{
    LogPrint(L"\r\n\r\nVerify chain test: [%s]", useLocalMachine ? L"LocalMachine" : L"CurrentUser");
    // The root is offered for building only; it is trusted only where the
    // scope's own root store holds it.
    const CertBlob extraCerts = kRootCertBlob;
    ChainTestResult result = {0, 0, 0, 0};
    const bool accepted = VerifyEmbeddedChain(kServiceChainBlob, &extraCerts, &result, useLocalMachine);
    PrintChainTestOutcome(accepted, result);
}
