#include "certs/chain_verification.h"

#include <cstring>

#include "base/crypto_handles.h"
#include "certs/cert_blob_store.h"
#include "network/service_names.h"
#include "base/sha256_algorithm.h"

namespace {

constexpr DWORD kCertEncoding = X509_ASN_ENCODING | PKCS_7_ASN_ENCODING;
// Revocation cannot be checked on many PCs (no route to the CRL or OCSP
// servers); that alone must not fail the test.
constexpr DWORD kToleratedTrustErrors = CERT_TRUST_REVOCATION_STATUS_UNKNOWN | CERT_TRUST_IS_OFFLINE_REVOCATION;
constexpr DWORD kNotRecorded = 0xFFFFFFFF;

constexpr const char* kSha2WithRsaOids[] = {
    "1.2.840.113549.1.1.11",  // sha256WithRSAEncryption
    "1.2.840.113549.1.1.12",  // sha384WithRSAEncryption
    "1.2.840.113549.1.1.13",  // sha512WithRSAEncryption
};

// What one verification obtains, each owner with the api's way of letting it
// go. Declared in reverse, so that the single exit releases the end
// certificate, the chain, the engine and the store, in this order, each only
// if obtained.
struct ChainResources {
    ScopedCertStore store;
    ScopedChainEngine engine;
    ScopedCertChain chain;
    ScopedCertContext endCert;
};

// Call right after the failing call: the last error is read first.
bool Failed(ChainTestResult* result, ChainStep step)
{
    if (result != nullptr) {
        result->lastApiError = GetLastError();
        result->faultingStep = step;
    }
    return false;
}

bool BuildAndJudge(const ChainVerificationApi& api, const CertBlob& chainBlob, const CertBlob* extraCerts,
                   ChainTestResult* result, bool useLocalMachine, ChainResources& held)
{
    held.store.reset(api.openStore(CERT_STORE_PROV_MEMORY, kCertEncoding, 0, CERT_STORE_CREATE_NEW_FLAG, nullptr));
    if (!held.store)
        return Failed(result, kStepOpenStore);
    if (!AddCertBlobToStore(held.store.get(), chainBlob.bytes, chainBlob.totalLength, held.endCert.put()))
        return Failed(result, kStepAddCertificate);

    // A system that cannot verify the signature would reject every chain;
    // the SHA-2 test reports that cause, this one stays silent about it.
    if (IsSha2SignatureUnverifiable(held.endCert.get(), api.isSha256Unsupported)) {
        if (result != nullptr) {
            result->chainTrustStatus = 0;
            result->chainPolicyStatus = 0;
        }
        return true;
    }

    if (extraCerts != nullptr && extraCerts->bytes != nullptr && extraCerts->totalLength != 0 &&
        !AddCertBlobToStore(held.store.get(), extraCerts->bytes, extraCerts->totalLength, nullptr))
        return Failed(result, kStepAddCertificate);

    HCERTSTORE additionalStore = held.store.get();
    CERT_CHAIN_ENGINE_CONFIG config = {};
    config.cbSize = kChainEngineConfigSize;
    config.cAdditionalStore = 1;
    config.rghAdditionalStore = &additionalStore;
    config.dwFlags = useLocalMachine ? CERT_CHAIN_CACHE_END_CERT | CERT_CHAIN_USE_LOCAL_MACHINE_STORE
                                     : CERT_CHAIN_CACHE_END_CERT;
    HCERTCHAINENGINE engine = nullptr;
    if (!api.createChainEngine(&config, &engine))
        return Failed(result, kStepCreateEngine);
    held.engine.reset(engine);

    CERT_CHAIN_PARA chainPara = {};
    chainPara.cbSize = sizeof(chainPara);
    chainPara.RequestedUsage.dwType = USAGE_MATCH_TYPE_AND;
    PCCERT_CHAIN_CONTEXT chain = nullptr;
    if (!api.getCertificateChain(held.engine.get(), held.endCert.get(), nullptr, nullptr, &chainPara, CERT_CHAIN_CACHE_END_CERT,
                                 nullptr, &chain))
        return Failed(result, kStepGetChain);
    held.chain.reset(chain);

    const DWORD trustErrors = chain->TrustStatus.dwErrorStatus;
    if (result != nullptr)
        result->chainTrustStatus = trustErrors;
    if ((trustErrors & ~kToleratedTrustErrors) != 0)
        return false;

    SSL_EXTRA_CERT_CHAIN_POLICY_PARA sslPara = {};
    sslPara.cbSize = sizeof(sslPara);
    sslPara.dwAuthType = AUTHTYPE_SERVER;
    sslPara.fdwChecks = 0;
    // The policy only reads the name; the structure is declared without const.
    sslPara.pwszServerName = const_cast<wchar_t*>(kServiceHostW);
    CERT_CHAIN_POLICY_PARA policyPara = {};
    policyPara.cbSize = sizeof(policyPara);
    policyPara.pvExtraPolicyPara = &sslPara;
    CERT_CHAIN_POLICY_STATUS policyStatus = {};
    policyStatus.cbSize = sizeof(policyStatus);
    const BOOL evaluated = api.verifyChainPolicy(CERT_CHAIN_POLICY_SSL, chain, &policyPara, &policyStatus);
    if (!evaluated)
        Failed(result, kStepVerifyPolicy);
    if (result != nullptr)
        result->chainPolicyStatus = policyStatus.dwError;
    if (!evaluated)
        return false;
    return policyStatus.dwError == 0 || policyStatus.dwError == static_cast<DWORD>(CRYPT_E_REVOCATION_OFFLINE);
}

}  // namespace

bool IsSha256Unsupported()
{
    // Flags 0 opens the user's default key container; a successful retry
    // creates it and leaves it behind.
    HCRYPTPROV handle = 0;
    if (!CryptAcquireContextW(&handle, nullptr, nullptr, PROV_RSA_AES, 0)) {
        if (GetLastError() != static_cast<DWORD>(NTE_BAD_KEYSET))
            return false;
        if (!CryptAcquireContextW(&handle, nullptr, nullptr, PROV_RSA_AES, CRYPT_NEWKEYSET))
            return false;
    }
    const ScopedCryptProvider provider(handle);

    HCRYPTHASH hashHandle = 0;
    if (CryptCreateHash(provider.get(), CALG_SHA_256, 0, 0, &hashHandle)) {
        const ScopedCryptHash hash(hashHandle);
        return false;
    }
    return GetLastError() == static_cast<DWORD>(NTE_BAD_ALGID);
}

bool IsSha2SignatureUnverifiable(PCCERT_CONTEXT cert, bool (*sha256Probe)())
{
    if (cert == nullptr || cert->pCertInfo == nullptr || cert->pCertInfo->SignatureAlgorithm.pszObjId == nullptr)
        return false;
    const char* signatureOid = cert->pCertInfo->SignatureAlgorithm.pszObjId;
    for (const char* sha2Oid : kSha2WithRsaOids) {
        if (std::strcmp(signatureOid, sha2Oid) == 0)
            return sha256Probe != nullptr ? sha256Probe() : IsSha256Unsupported();
    }
    return false;
}

bool VerifyEmbeddedChainWith(const ChainVerificationApi& api, const CertBlob& chainBlob, const CertBlob* extraCerts,
                             ChainTestResult* result, bool useLocalMachine)
{
    if (result != nullptr)
        *result = {0, kStepNone, kNotRecorded, kNotRecorded};
    ChainResources held = {ScopedCertStore(api.closeStore), ScopedChainEngine(api.freeChainEngine),
                           ScopedCertChain(api.freeCertificateChain), ScopedCertContext(api.freeCertificateContext)};
    return BuildAndJudge(api, chainBlob, extraCerts, result, useLocalMachine, held);
}

bool VerifyEmbeddedChain(const CertBlob& chainBlob, const CertBlob* extraCerts, ChainTestResult* result,
                         bool useLocalMachine)
{
    return VerifyEmbeddedChainWith(ChainVerificationApi{}, chainBlob, extraCerts, result, useLocalMachine);
}
