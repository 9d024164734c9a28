#pragma once

#include <windows.h>
#include <wincrypt.h>

#include <cstddef>

#include "base/crypto_handles.h"
#include "certs/cert_blobs.h"
#include "certs/chain_codes.h"

// What VerifyEmbeddedChain found, for the developers' block of the report.
struct ChainTestResult {
    DWORD lastApiError;       // GetLastError right after the call that failed, else 0
    DWORD faultingStep;       // ChainStep of that call, else 0
    DWORD chainTrustStatus;   // TrustStatus.dwErrorStatus; 0xFFFFFFFF when no chain was built
    DWORD chainPolicyStatus;  // SSL policy dwError; 0xFFFFFFFF when the policy was not evaluated
};


// True only when a PROV_RSA_AES provider exists and refuses SHA-256 with
// NTE_BAD_ALGID. May create the user's default key container.
bool IsSha256Unsupported();

// The engine configuration ends at CycleDetectionModulus: the exclusive-root
// fields that later Windows versions appended are left out, so that older
// systems accept the size.
inline constexpr DWORD kChainEngineConfigSize =
    static_cast<DWORD>(offsetof(CERT_CHAIN_ENGINE_CONFIG, CycleDetectionModulus) + sizeof(DWORD));

// The system calls whose failures the verification reports but a healthy
// system never produces, and the calls that release what it obtained; tests
// replace single members to reach those paths and to watch the releases.
struct ChainVerificationApi {
    decltype(&CertOpenStore) openStore = &CertOpenStore;
    decltype(&CertCreateCertificateChainEngine) createChainEngine = &CertCreateCertificateChainEngine;
    decltype(&CertGetCertificateChain) getCertificateChain = &CertGetCertificateChain;
    decltype(&CertVerifyCertificateChainPolicy) verifyChainPolicy = &CertVerifyCertificateChainPolicy;
    bool (*isSha256Unsupported)() = &IsSha256Unsupported;
    CertContextFree freeCertificateContext;
    CertChainFree freeCertificateChain;
    ChainEngineFree freeChainEngine;
    CertStoreClose closeStore;  // flags 0
};

// Does Windows, with the current user's or the local machine's trust, accept
// chainBlob (end entity first) as a TLS server chain for the service host?
// extraCerts (optional, ignored when empty) join the private store the chain
// is built from, without being trusted for that. result is optional; the
// verdict is the same without it.
//
// Where the end certificate is signed with SHA-2 with RSA and the system
// cannot compute SHA-256 (IsSha2SignatureUnverifiable), the chain is accepted
// without being built: true, with trust and policy status 0 and no extra
// certificate added.
bool VerifyEmbeddedChain(const CertBlob& chainBlob, const CertBlob* extraCerts, ChainTestResult* result,
                         bool useLocalMachine);
bool VerifyEmbeddedChainWith(const ChainVerificationApi& api, const CertBlob& chainBlob, const CertBlob* extraCerts,
                             ChainTestResult* result, bool useLocalMachine);

// True when cert is signed with SHA-256/384/512 with RSA and the system cannot
// compute SHA-256, so it could never verify that signature. The probe is only
// run for those signatures.
bool IsSha2SignatureUnverifiable(PCCERT_CONTEXT cert, bool (*sha256Probe)() = &IsSha256Unsupported);
