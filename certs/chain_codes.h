#pragma once

// The verify chain test's codes and decoding tables. Shared by the diagnostic
// and zemlotriage, which builds natively: there the platform's constants are
// defined here under their own names; a Windows build checks each value
// against its own headers instead.

#include <cstdint>

#include "log/code_text.h"

#ifdef _WIN32
#include <windows.h>
#include <wincrypt.h>
#define ZEMLO_PLATFORM_CODE(name, value) \
    static_assert(static_cast<std::uint32_t>(name) == (value), #name " differs from the platform's value");
#else
#define ZEMLO_PLATFORM_CODE(name, value) inline constexpr std::uint32_t name = (value);
#endif

// Trust error bits of a chain (CERT_TRUST_STATUS dwErrorStatus).
ZEMLO_PLATFORM_CODE(CERT_TRUST_IS_NOT_TIME_VALID, 0x00000001)
ZEMLO_PLATFORM_CODE(CERT_TRUST_IS_REVOKED, 0x00000004)
ZEMLO_PLATFORM_CODE(CERT_TRUST_IS_NOT_SIGNATURE_VALID, 0x00000008)
ZEMLO_PLATFORM_CODE(CERT_TRUST_IS_NOT_VALID_FOR_USAGE, 0x00000010)
ZEMLO_PLATFORM_CODE(CERT_TRUST_IS_UNTRUSTED_ROOT, 0x00000020)
ZEMLO_PLATFORM_CODE(CERT_TRUST_REVOCATION_STATUS_UNKNOWN, 0x00000040)
ZEMLO_PLATFORM_CODE(CERT_TRUST_IS_CYCLIC, 0x00000080)
ZEMLO_PLATFORM_CODE(CERT_TRUST_INVALID_EXTENSION, 0x00000100)
ZEMLO_PLATFORM_CODE(CERT_TRUST_INVALID_POLICY_CONSTRAINTS, 0x00000200)
ZEMLO_PLATFORM_CODE(CERT_TRUST_INVALID_BASIC_CONSTRAINTS, 0x00000400)
ZEMLO_PLATFORM_CODE(CERT_TRUST_INVALID_NAME_CONSTRAINTS, 0x00000800)
ZEMLO_PLATFORM_CODE(CERT_TRUST_HAS_NOT_SUPPORTED_NAME_CONSTRAINT, 0x00001000)
ZEMLO_PLATFORM_CODE(CERT_TRUST_HAS_NOT_DEFINED_NAME_CONSTRAINT, 0x00002000)
ZEMLO_PLATFORM_CODE(CERT_TRUST_HAS_NOT_PERMITTED_NAME_CONSTRAINT, 0x00004000)
ZEMLO_PLATFORM_CODE(CERT_TRUST_HAS_EXCLUDED_NAME_CONSTRAINT, 0x00008000)
ZEMLO_PLATFORM_CODE(CERT_TRUST_IS_OFFLINE_REVOCATION, 0x01000000)
ZEMLO_PLATFORM_CODE(CERT_TRUST_NO_ISSUANCE_CHAIN_POLICY, 0x02000000)
ZEMLO_PLATFORM_CODE(CERT_TRUST_IS_EXPLICIT_DISTRUST, 0x04000000)
ZEMLO_PLATFORM_CODE(CERT_TRUST_HAS_NOT_SUPPORTED_CRITICAL_EXT, 0x08000000)
ZEMLO_PLATFORM_CODE(CERT_TRUST_HAS_WEAK_SIGNATURE, 0x00100000)
ZEMLO_PLATFORM_CODE(CERT_TRUST_IS_NOT_TIME_NESTED, 0x00000002)
ZEMLO_PLATFORM_CODE(CERT_TRUST_IS_PARTIAL_CHAIN, 0x00010000)

// SSL policy verdicts (CERT_CHAIN_POLICY_STATUS dwError).
ZEMLO_PLATFORM_CODE(TRUST_E_CERT_SIGNATURE, 0x80096004)
ZEMLO_PLATFORM_CODE(CRYPT_E_REVOKED, 0x80092010)
ZEMLO_PLATFORM_CODE(CERT_E_UNTRUSTEDROOT, 0x800B0109)
ZEMLO_PLATFORM_CODE(CERT_E_UNTRUSTEDTESTROOT, 0x800B010D)
ZEMLO_PLATFORM_CODE(CERT_E_CHAINING, 0x800B010A)
ZEMLO_PLATFORM_CODE(CERT_E_WRONG_USAGE, 0x800B0110)
ZEMLO_PLATFORM_CODE(CERT_E_EXPIRED, 0x800B0101)
ZEMLO_PLATFORM_CODE(CERT_E_INVALID_NAME, 0x800B0114)
ZEMLO_PLATFORM_CODE(CERT_E_INVALID_POLICY, 0x800B0113)
ZEMLO_PLATFORM_CODE(TRUST_E_BASIC_CONSTRAINTS, 0x80096019)
ZEMLO_PLATFORM_CODE(CERT_E_CRITICAL, 0x800B0105)
ZEMLO_PLATFORM_CODE(CERT_E_VALIDITYPERIODNESTING, 0x800B0102)
ZEMLO_PLATFORM_CODE(CRYPT_E_NO_REVOCATION_CHECK, 0x80092012)
ZEMLO_PLATFORM_CODE(CRYPT_E_REVOCATION_OFFLINE, 0x80092013)
ZEMLO_PLATFORM_CODE(CERT_E_PURPOSE, 0x800B0106)
ZEMLO_PLATFORM_CODE(CERT_E_REVOKED, 0x800B010C)
ZEMLO_PLATFORM_CODE(CERT_E_REVOCATION_FAILURE, 0x800B010E)
ZEMLO_PLATFORM_CODE(CERT_E_CN_NO_MATCH, 0x800B010F)
ZEMLO_PLATFORM_CODE(CERT_E_ROLE, 0x800B0103)

#undef ZEMLO_PLATFORM_CODE

// HRESULT constants are signed on Windows; the tables hold the bit pattern.
constexpr std::uint32_t PlatformCode(long long platformValue)
{
    return static_cast<std::uint32_t>(platformValue);
}

// Values of ChainTestResult::faultingStep.
enum ChainStep : std::uint32_t {
    kStepNone = 0,
    kStepOpenStore = 1,
    kStepAddCertificate = 2,
    kStepCreateEngine = 3,
    kStepGetChain = 4,
    kStepVerifyPolicy = 5,
};

// Start values of the verification's record: no chain built, no policy run.
inline constexpr std::uint32_t kNoChainStatus = 0xFFFFFFFF;

inline constexpr CodeText kFaultingFunctions[] = {
    {kStepOpenStore, L"CertOpenStore"},
    {kStepAddCertificate, L"CertAddEncodedCertificateToStore"},
    {kStepCreateEngine, L"CertCreateCertificateChainEngine"},
    {kStepGetChain, L"CertGetCertificateChain"},
    {kStepVerifyPolicy, L"CertVerifyCertificateChainPolicy"},
};

// Every set bit with a row is printed, in this order (the weak-signature bit
// comes last on purpose).
inline constexpr CodeText kTrustStatusBits[] = {
    {CERT_TRUST_IS_NOT_TIME_VALID, L"This certificate or one of the certificates in the certificate chain is not time valid."},
    {CERT_TRUST_IS_REVOKED, L"Trust for this certificate or one of the certificates in the certificate chain has been revoked."},
    {CERT_TRUST_IS_NOT_SIGNATURE_VALID, L"The certificate or one of the certificates in the certificate chain does not have a valid signature."},
    {CERT_TRUST_IS_NOT_VALID_FOR_USAGE, L"The certificate or certificate chain is not valid for its proposed usage."},
    {CERT_TRUST_IS_UNTRUSTED_ROOT, L"The certificate or certificate chain is based on an untrusted root."},
    {CERT_TRUST_REVOCATION_STATUS_UNKNOWN, L"The revocation status of the certificate or one of the certificates in the certificate chain is unknown."},
    {CERT_TRUST_IS_CYCLIC, L"One of the certificates in the chain was issued by a certification authority that the original certificate had certified."},
    {CERT_TRUST_INVALID_EXTENSION, L"One of the certificates has an extension that is not valid."},
    {CERT_TRUST_INVALID_POLICY_CONSTRAINTS, L"The certificate or one of the certificates in the certificate chain has a policy constraints extension, and one of the issued certificates has a disallowed policy mapping extension or does not have a required issuance policies extension."},
    {CERT_TRUST_INVALID_BASIC_CONSTRAINTS, L"The certificate or one of the certificates in the certificate chain has a basic constraints extension, and either the certificate cannot be used to issue other certificates, or the chain path length has been exceeded."},
    {CERT_TRUST_INVALID_NAME_CONSTRAINTS, L"The certificate or one of the certificates in the certificate chain has a name constraints extension that is not valid."},
    {CERT_TRUST_HAS_NOT_SUPPORTED_NAME_CONSTRAINT, L"The certificate or one of the certificates in the certificate chain has a name constraints extension that contains unsupported fields. The minimum and maximum fields are not supported. Thus minimum must always be zero and maximum must always be absent. Only UPN is supported for an Other Name. The following alternative name choices are not supported:[X400 Address, EDI Party Name, Registered Id]."},
    {CERT_TRUST_HAS_NOT_DEFINED_NAME_CONSTRAINT, L"The certificate or one of the certificates in the certificate chain has a name constraints extension and a name constraint is missing for one of the name choices in the end certificate."},
    {CERT_TRUST_HAS_NOT_PERMITTED_NAME_CONSTRAINT, L"The certificate or one of the certificates in the certificate chain has a name constraints extension, and there is not a permitted name constraint for one of the name choices in the end certificate."},
    {CERT_TRUST_HAS_EXCLUDED_NAME_CONSTRAINT, L"The certificate or one of the certificates in the certificate chain has a name constraints extension, and one of the name choices in the end certificate is explicitly excluded."},
    {CERT_TRUST_IS_OFFLINE_REVOCATION, L"The revocation status of the certificate or one of the certificates in the certificate chain is either offline or stale."},
    {CERT_TRUST_NO_ISSUANCE_CHAIN_POLICY, L"The end certificate does not have any resultant issuance policies, and one of the issuing certification authority certificates has a policy constraints extension requiring it."},
    {CERT_TRUST_IS_EXPLICIT_DISTRUST, L"The certificate is explicitly distrusted."},
    {CERT_TRUST_HAS_NOT_SUPPORTED_CRITICAL_EXT, L"The certificate does not support a critical extension."},
    {CERT_TRUST_HAS_WEAK_SIGNATURE, L"The certificate has not been strong signed. Typically this indicates that the MD2 or MD5 hashing algorithms were used to create a hash of the certificate."},
};

// Whole policy codes; the first exact match is printed.
inline constexpr CodeText kPolicyStatusCodes[] = {
    {PlatformCode(TRUST_E_CERT_SIGNATURE), L"The signature of the certificate cannot be verified."},
    {PlatformCode(CRYPT_E_REVOKED), L"The certificate or signature has been revoked."},
    {PlatformCode(CERT_E_UNTRUSTEDROOT), L"A certification chain processed correctly but terminated in a root certificate that is not trusted by the trust provider."},
    {PlatformCode(CERT_E_UNTRUSTEDTESTROOT), L"The root certificate is a testing certificate, and policy settings disallow test certificates."},
    {PlatformCode(CERT_E_CHAINING), L"A chain of certificates was not correctly created."},
    {PlatformCode(CERT_E_WRONG_USAGE), L"The certificate is not valid for the requested usage."},
    {PlatformCode(CERT_E_EXPIRED), L"A required certificate is not within its validity period."},
    {PlatformCode(CERT_E_INVALID_NAME), L"The certificate has an invalid name. Either the name is not included in the permitted list, or it is explicitly excluded."},
    {PlatformCode(CERT_E_INVALID_POLICY), L"The certificate has an invalid policy."},
    {PlatformCode(TRUST_E_BASIC_CONSTRAINTS), L"The basic constraints of the certificate are not valid, or they are missing."},
    {PlatformCode(CERT_E_CRITICAL), L"The certificate is being used for a purpose other than the purpose specified by its CA."},
    {PlatformCode(CERT_E_VALIDITYPERIODNESTING), L"The validity periods of the certification chain do not nest correctly."},
    {PlatformCode(CRYPT_E_NO_REVOCATION_CHECK), L"The revocation function was unable to check revocation for the certificate."},
    {PlatformCode(CRYPT_E_REVOCATION_OFFLINE), L"The revocation function was unable to check revocation because the revocation server was offline."},
    {PlatformCode(CERT_E_PURPOSE), L"The certificate is being used for a purpose other than one specified by the issuing CA."},
    {PlatformCode(CERT_E_REVOKED), L"The certificate has been explicitly revoked by the issuer."},
    {PlatformCode(CERT_E_REVOCATION_FAILURE), L"The revocation process could not continue, and the certificate could not be checked."},
    {PlatformCode(CERT_E_CN_NO_MATCH), L"The certificate's CN name does not match the passed value."},
    {PlatformCode(CERT_E_ROLE), L"A certificate that can only be used as an end-entity is being used as a CA or vice versa."},
};
