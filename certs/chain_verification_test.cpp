// Chain verification against the real crypt32 of the prefix, with a test PKI
// made for this test run. The paths a healthy system never takes (a memory
// store or engine that cannot be made, a failing policy call, a provider
// without SHA-256) go through ChainVerificationApi with one call replaced.

#include "certs/chain_verification.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "network/service_names.h"
#include "tests/harness/cert_seed.h"
#include "tests/harness/prefix_seed.h"

namespace {

struct TestPki {
    std::string root = TestPkiCertificate("root.der");
    std::string intermediate = TestPkiCertificate("intermediate.der");
    std::string leaf = TestPkiCertificate("leaf.der");
    std::string expiredLeaf = TestPkiCertificate("leaf-expired.der");
    std::string otherNameLeaf = TestPkiCertificate("leaf-other-name.der");

    std::string Chain() const { return MakeCertBlobBytes({leaf, intermediate}); }
    std::string Root() const { return MakeCertBlobBytes({root}); }
};

const TestPki& Pki()
{
    static const TestPki pki;
    return pki;
}

const std::string kNotACertificate = "this is not a DER certificate";

struct Outcome {
    bool verdict;
    ChainTestResult result;
};

// Runs the verification with and without a result record; the verdict must
// not depend on it. The record starts with junk so that every field is seen
// to be set.
Outcome Verify(const ChainVerificationApi& api, const std::string& chain, const CertBlob* extra, bool useLocalMachine)
{
    Outcome outcome = {false, {0xA5A5A5A5, 0xA5A5A5A5, 0xA5A5A5A5, 0xA5A5A5A5}};
    outcome.verdict = VerifyEmbeddedChainWith(api, AsCertBlob(chain), extra, &outcome.result, useLocalMachine);
    EXPECT_EQ(VerifyEmbeddedChainWith(api, AsCertBlob(chain), extra, nullptr, useLocalMachine), outcome.verdict)
        << "the verdict without a result record differs";
    return outcome;
}

Outcome Verify(const std::string& chain, const CertBlob* extra, bool useLocalMachine)
{
    return Verify(ChainVerificationApi{}, chain, extra, useLocalMachine);
}

std::string Describe(const ChainTestResult& r)
{
    char text[128];
    snprintf(text, sizeof(text), "{0x%08lx, %lu, 0x%08lx, 0x%08lx}", static_cast<unsigned long>(r.lastApiError),
             static_cast<unsigned long>(r.faultingStep), static_cast<unsigned long>(r.chainTrustStatus),
             static_cast<unsigned long>(r.chainPolicyStatus));
    return text;
}

#define EXPECT_RECORD(outcome, a, b, c, d) \
    EXPECT_EQ(Describe((outcome).result), Describe(ChainTestResult{a, b, c, d}))

const bool kScopes[] = {false, true};
const char* ScopeName(bool useLocalMachine) { return useLocalMachine ? "LocalMachine" : "CurrentUser"; }

// ---- real chains --------------------------------------------------------------

TEST(VerifyEmbeddedChain, RootOfferedOnlyAsExtraCertificateIsNotTrusted)
{
    const std::string root = Pki().Root();
    const CertBlob extra = AsCertBlob(root);
    for (bool scope : kScopes) {
        SCOPED_TRACE(ScopeName(scope));
        const Outcome outcome = Verify(Pki().Chain(), &extra, scope);
        EXPECT_FALSE(outcome.verdict);
        EXPECT_RECORD(outcome, 0, 0, CERT_TRUST_IS_UNTRUSTED_ROOT, 0xFFFFFFFF);
    }
}

TEST(VerifyEmbeddedChain, AcceptsAChainWhoseRootTheLocalMachineTrusts)
{
    const ScopedTrustedRoot trusted(StoreScope::LocalMachine, Pki().root);
    ASSERT_TRUE(trusted.added());
    const std::string root = Pki().Root();
    const CertBlob extra = AsCertBlob(root);
    for (bool scope : kScopes) {
        SCOPED_TRACE(ScopeName(scope));
        for (const CertBlob* offered : {static_cast<const CertBlob*>(nullptr), &extra}) {
            const Outcome outcome = Verify(Pki().Chain(), offered, scope);
            EXPECT_TRUE(outcome.verdict);
            EXPECT_RECORD(outcome, 0, 0, 0, 0);
        }
    }
}

TEST(VerifyEmbeddedChain, AcceptsAChainWhoseRootTheCurrentUserTrusts)
{
    const ScopedTrustedRoot trusted(StoreScope::CurrentUser, Pki().root);
    ASSERT_TRUE(trusted.added());
    const Outcome outcome = Verify(Pki().Chain(), nullptr, false);
    EXPECT_TRUE(outcome.verdict);
    EXPECT_RECORD(outcome, 0, 0, 0, 0);
}

TEST(VerifyEmbeddedChain, TrustEndsWithTheRootsRemoval)
{
    const std::string root = Pki().Root();
    const CertBlob extra = AsCertBlob(root);
    {
        const ScopedTrustedRoot trusted(StoreScope::LocalMachine, Pki().root);
        ASSERT_TRUE(trusted.added());
        ASSERT_TRUE(Verify(Pki().Chain(), &extra, true).verdict);
    }
    const Outcome outcome = Verify(Pki().Chain(), &extra, true);
    EXPECT_FALSE(outcome.verdict);
    EXPECT_RECORD(outcome, 0, 0, CERT_TRUST_IS_UNTRUSTED_ROOT, 0xFFFFFFFF);
}

TEST(VerifyEmbeddedChain, ExpiredEndEntityFailsOnTrustWithoutPolicy)
{
    const ScopedTrustedRoot trusted(StoreScope::LocalMachine, Pki().root);
    ASSERT_TRUE(trusted.added());
    for (bool scope : kScopes) {
        SCOPED_TRACE(ScopeName(scope));
        const Outcome outcome = Verify(MakeCertBlobBytes({Pki().expiredLeaf, Pki().intermediate}), nullptr, scope);
        EXPECT_FALSE(outcome.verdict);
        EXPECT_EQ(outcome.result.chainTrustStatus & CERT_TRUST_IS_NOT_TIME_VALID,
                  static_cast<DWORD>(CERT_TRUST_IS_NOT_TIME_VALID));
        EXPECT_EQ(outcome.result.chainPolicyStatus, 0xFFFFFFFFu);
        EXPECT_EQ(outcome.result.lastApiError, 0u);
        EXPECT_EQ(outcome.result.faultingStep, 0u);
    }
}

TEST(VerifyEmbeddedChain, OtherHostNameFailsOnPolicyWithoutApiError)
{
    const ScopedTrustedRoot trusted(StoreScope::LocalMachine, Pki().root);
    ASSERT_TRUE(trusted.added());
    for (bool scope : kScopes) {
        SCOPED_TRACE(ScopeName(scope));
        const Outcome outcome = Verify(MakeCertBlobBytes({Pki().otherNameLeaf, Pki().intermediate}), nullptr, scope);
        EXPECT_FALSE(outcome.verdict);
        EXPECT_RECORD(outcome, 0, 0, 0, static_cast<DWORD>(CERT_E_CN_NO_MATCH));
    }
}

// Without its issuer the chain stops at the end entity or the intermediate.
TEST(VerifyEmbeddedChain, ChainThatCannotReachItsRootIsPartial)
{
    const struct {
        const char* name;
        std::string chain;
    } cases[] = {{"no root anywhere", Pki().Chain()}, {"no intermediate", MakeCertBlobBytes({Pki().leaf})}};
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        const Outcome outcome = Verify(c.chain, nullptr, true);
        EXPECT_FALSE(outcome.verdict);
        EXPECT_RECORD(outcome, 0, 0, CERT_TRUST_IS_PARTIAL_CHAIN, 0xFFFFFFFF);
    }
}

TEST(VerifyEmbeddedChain, EmptyExtraCertificatesAreIgnored)
{
    // Were either of these walked, the malformed bytes (or the null pointer)
    // would end the verification at step 2.
    const CertBlob noBytes = {nullptr, 100};
    const CertBlob noLength = {reinterpret_cast<const BYTE*>(kNotACertificate.data()), 0};
    for (const CertBlob* extra : {static_cast<const CertBlob*>(nullptr), &noBytes, &noLength}) {
        const Outcome outcome = Verify(Pki().Chain(), extra, false);
        EXPECT_FALSE(outcome.verdict);
        EXPECT_RECORD(outcome, 0, 0, CERT_TRUST_IS_PARTIAL_CHAIN, 0xFFFFFFFF);
    }
}

DWORD AddError(const std::string& der)
{
    const HCERTSTORE store = CertOpenStore(CERT_STORE_PROV_MEMORY, X509_ASN_ENCODING | PKCS_7_ASN_ENCODING, 0,
                                           CERT_STORE_CREATE_NEW_FLAG, nullptr);
    const BOOL added = CertAddEncodedCertificateToStore(store, X509_ASN_ENCODING | PKCS_7_ASN_ENCODING,
                                                        reinterpret_cast<const BYTE*>(der.data()),
                                                        static_cast<DWORD>(der.size()), CERT_STORE_ADD_ALWAYS, nullptr);
    const DWORD error = added ? 0 : GetLastError();
    CertCloseStore(store, 0);
    return error;
}

TEST(VerifyEmbeddedChain, RecordThatIsNotACertificateFailsAtStepTwo)
{
    const DWORD addError = AddError(kNotACertificate);
    ASSERT_NE(addError, 0u);
    const std::string badExtra = MakeCertBlobBytes({Pki().root, kNotACertificate});
    const CertBlob extra = AsCertBlob(badExtra);
    const struct {
        const char* name;
        std::string chain;
        const CertBlob* extra;
    } cases[] = {
        {"end entity", MakeCertBlobBytes({kNotACertificate, Pki().intermediate}), nullptr},
        {"intermediate", MakeCertBlobBytes({Pki().leaf, kNotACertificate}), nullptr},
        {"extra certificate", Pki().Chain(), &extra},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        for (bool scope : kScopes) {
            const Outcome outcome = Verify(c.chain, c.extra, scope);
            EXPECT_FALSE(outcome.verdict);
            EXPECT_RECORD(outcome, addError, 2, 0xFFFFFFFF, 0xFFFFFFFF);
        }
    }
}

// ---- substituted calls ------------------------------------------------------------

constexpr DWORD kInjectedError = 0x8009000E;  // NTE_NO_MEMORY, as a failing call might leave it

HCERTSTORE WINAPI FailOpenStore(LPCSTR, DWORD, HCRYPTPROV_LEGACY, DWORD, const void*)
{
    SetLastError(kInjectedError);
    return nullptr;
}

BOOL WINAPI FailCreateEngine(PCERT_CHAIN_ENGINE_CONFIG, HCERTCHAINENGINE*)
{
    SetLastError(kInjectedError);
    return FALSE;
}

BOOL WINAPI FailGetChain(HCERTCHAINENGINE, PCCERT_CONTEXT, LPFILETIME, HCERTSTORE, PCERT_CHAIN_PARA, DWORD, LPVOID,
                         PCCERT_CHAIN_CONTEXT*)
{
    SetLastError(kInjectedError);
    return FALSE;
}

BOOL WINAPI FailPolicyUntouched(LPCSTR, PCCERT_CHAIN_CONTEXT, PCERT_CHAIN_POLICY_PARA, PCERT_CHAIN_POLICY_STATUS)
{
    SetLastError(kInjectedError);
    return FALSE;
}

BOOL WINAPI FailPolicyAfterSettingStatus(LPCSTR, PCCERT_CHAIN_CONTEXT, PCERT_CHAIN_POLICY_PARA,
                                         PCERT_CHAIN_POLICY_STATUS status)
{
    status->dwError = static_cast<DWORD>(CERT_E_CHAINING);
    SetLastError(kInjectedError);
    return FALSE;
}

TEST(VerifyEmbeddedChain, FailingCallsRecordTheirStepAndError)
{
    const ScopedTrustedRoot trusted(StoreScope::LocalMachine, Pki().root);
    ASSERT_TRUE(trusted.added());
    const std::string root = Pki().Root();
    const CertBlob extra = AsCertBlob(root);
    const struct {
        const char* name;
        void (*replace)(ChainVerificationApi& api);
        ChainTestResult expected;
    } cases[] = {
        {"memory store", [](ChainVerificationApi& api) { api.openStore = FailOpenStore; },
         {kInjectedError, 1, 0xFFFFFFFF, 0xFFFFFFFF}},
        {"engine", [](ChainVerificationApi& api) { api.createChainEngine = FailCreateEngine; },
         {kInjectedError, 3, 0xFFFFFFFF, 0xFFFFFFFF}},
        {"chain", [](ChainVerificationApi& api) { api.getCertificateChain = FailGetChain; },
         {kInjectedError, 4, 0xFFFFFFFF, 0xFFFFFFFF}},
        {"policy call", [](ChainVerificationApi& api) { api.verifyChainPolicy = FailPolicyUntouched; },
         {kInjectedError, 5, 0, 0}},
        {"policy call that set a status",
         [](ChainVerificationApi& api) { api.verifyChainPolicy = FailPolicyAfterSettingStatus; },
         {kInjectedError, 5, 0, static_cast<DWORD>(CERT_E_CHAINING)}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        ChainVerificationApi api;
        c.replace(api);
        for (bool scope : kScopes) {
            const Outcome outcome = Verify(api, Pki().Chain(), &extra, scope);
            EXPECT_FALSE(outcome.verdict);
            EXPECT_EQ(Describe(outcome.result), Describe(c.expected));
        }
    }
}

// The chain and policy verdicts a real chain does not give on demand: the
// real calls are made, then their answers replaced.
DWORD g_trustErrors = 0;
DWORD g_policyError = 0;
int g_policyCalls = 0;

BOOL WINAPI GetChainWithTrustErrors(HCERTCHAINENGINE engine, PCCERT_CONTEXT cert, LPFILETIME time, HCERTSTORE extra,
                                    PCERT_CHAIN_PARA para, DWORD flags, LPVOID reserved, PCCERT_CHAIN_CONTEXT* chain)
{
    if (!CertGetCertificateChain(engine, cert, time, extra, para, flags, reserved, chain))
        return FALSE;
    const_cast<CERT_CHAIN_CONTEXT*>(*chain)->TrustStatus.dwErrorStatus = g_trustErrors;
    return TRUE;
}

BOOL WINAPI PolicyWithError(LPCSTR policy, PCCERT_CHAIN_CONTEXT chain, PCERT_CHAIN_POLICY_PARA para,
                            PCERT_CHAIN_POLICY_STATUS status)
{
    ++g_policyCalls;
    if (!CertVerifyCertificateChainPolicy(policy, chain, para, status))
        return FALSE;
    status->dwError = g_policyError;
    return TRUE;
}

TEST(VerifyEmbeddedChain, OnlyRevocationBitsPassToThePolicyWhichDecides)
{
    const ScopedTrustedRoot trusted(StoreScope::LocalMachine, Pki().root);
    ASSERT_TRUE(trusted.added());
    constexpr DWORD kUnknown = CERT_TRUST_REVOCATION_STATUS_UNKNOWN;
    constexpr DWORD kOffline = CERT_TRUST_IS_OFFLINE_REVOCATION;
    constexpr DWORD kRevocationOffline = static_cast<DWORD>(CRYPT_E_REVOCATION_OFFLINE);
    const struct {
        DWORD trustErrors;
        DWORD policyError;
        bool verdict;
        bool policyEvaluated;
    } cases[] = {
        {kUnknown | kOffline, kRevocationOffline, true, true},
        {kUnknown | kOffline, 0, true, true},
        {kUnknown, 0, true, true},
        {kOffline, kRevocationOffline, true, true},
        {kUnknown, static_cast<DWORD>(CRYPT_E_NO_REVOCATION_CHECK), false, true},
        {0, static_cast<DWORD>(CERT_E_UNTRUSTEDROOT), false, true},
        {kUnknown | kOffline | CERT_TRUST_IS_NOT_TIME_VALID, 0, false, false},
        {CERT_TRUST_IS_PARTIAL_CHAIN, 0, false, false},
        {0x80000000, 0, false, false},
    };
    ChainVerificationApi api;
    api.getCertificateChain = GetChainWithTrustErrors;
    api.verifyChainPolicy = PolicyWithError;
    for (const auto& c : cases) {
        g_trustErrors = c.trustErrors;
        g_policyError = c.policyError;
        g_policyCalls = 0;
        SCOPED_TRACE(testing::Message() << std::hex << "trust 0x" << c.trustErrors << ", policy 0x" << c.policyError);
        const Outcome outcome = Verify(api, Pki().Chain(), nullptr, true);
        EXPECT_EQ(outcome.verdict, c.verdict);
        EXPECT_EQ(g_policyCalls, c.policyEvaluated ? 2 : 0);
        EXPECT_RECORD(outcome, 0, 0, c.trustErrors, c.policyEvaluated ? c.policyError : 0xFFFFFFFF);
    }
}

// What the verification asks of the system, as the substituted calls see it.
struct SeenCall {
    DWORD engineConfigSize = 0;
    DWORD engineFlags = 0;
    bool engineRestrictsNothing = false;
    DWORD additionalStores = 0;
    DWORD chainParaSize = 0;
    DWORD chainFlags = 0;
    bool chainAtCurrentTime = false;
    DWORD policyParaSize = 0;
    DWORD sslParaSize = 0;
    DWORD sslAuthType = 0;
    DWORD sslChecks = 0xFFFFFFFF;
    std::wstring serverName;
    DWORD policyStatusSize = 0;
    bool sslPolicy = false;
};
SeenCall g_seen;
int g_engines = 0;

BOOL WINAPI SeeCreateEngine(PCERT_CHAIN_ENGINE_CONFIG config, HCERTCHAINENGINE* engine)
{
    ++g_engines;
    g_seen.engineConfigSize = config->cbSize;
    g_seen.engineFlags = config->dwFlags;
    g_seen.engineRestrictsNothing = config->hRestrictedRoot == nullptr && config->hRestrictedTrust == nullptr &&
                                    config->hRestrictedOther == nullptr;
    g_seen.additionalStores = config->cAdditionalStore;
    return CertCreateCertificateChainEngine(config, engine);
}

BOOL WINAPI SeeGetChain(HCERTCHAINENGINE engine, PCCERT_CONTEXT cert, LPFILETIME time, HCERTSTORE extra,
                        PCERT_CHAIN_PARA para, DWORD flags, LPVOID reserved, PCCERT_CHAIN_CONTEXT* chain)
{
    g_seen.chainParaSize = para->cbSize;
    g_seen.chainFlags = flags;
    g_seen.chainAtCurrentTime = time == nullptr && extra == nullptr;
    return CertGetCertificateChain(engine, cert, time, extra, para, flags, reserved, chain);
}

BOOL WINAPI SeePolicy(LPCSTR policy, PCCERT_CHAIN_CONTEXT chain, PCERT_CHAIN_POLICY_PARA para,
                      PCERT_CHAIN_POLICY_STATUS status)
{
    g_seen.sslPolicy = policy == CERT_CHAIN_POLICY_SSL;
    g_seen.policyParaSize = para->cbSize;
    const auto* ssl = static_cast<const SSL_EXTRA_CERT_CHAIN_POLICY_PARA*>(para->pvExtraPolicyPara);
    g_seen.sslParaSize = ssl->cbSize;
    g_seen.sslAuthType = ssl->dwAuthType;
    g_seen.sslChecks = ssl->fdwChecks;
    g_seen.serverName = ssl->pwszServerName;
    g_seen.policyStatusSize = status->cbSize;
    return CertVerifyCertificateChainPolicy(policy, chain, para, status);
}

ChainVerificationApi SeeingApi()
{
    ChainVerificationApi api;
    api.createChainEngine = SeeCreateEngine;
    api.getCertificateChain = SeeGetChain;
    api.verifyChainPolicy = SeePolicy;
    return api;
}

TEST(VerifyEmbeddedChain, AsksForTheScopeAndTheServiceHostName)
{
    const ScopedTrustedRoot trusted(StoreScope::LocalMachine, Pki().root);
    ASSERT_TRUE(trusted.added());
    for (bool scope : kScopes) {
        SCOPED_TRACE(ScopeName(scope));
        g_seen = SeenCall();
        EXPECT_TRUE(VerifyEmbeddedChainWith(SeeingApi(), AsCertBlob(Pki().Chain()), nullptr, nullptr, scope));
        EXPECT_EQ(g_seen.engineFlags, scope ? 0x9u : 0x1u);
        EXPECT_TRUE(g_seen.engineRestrictsNothing);
        EXPECT_EQ(g_seen.additionalStores, 1u);
        EXPECT_EQ(g_seen.chainFlags, static_cast<DWORD>(CERT_CHAIN_CACHE_END_CERT));
        EXPECT_TRUE(g_seen.chainAtCurrentTime);
        EXPECT_TRUE(g_seen.sslPolicy);
        EXPECT_EQ(g_seen.sslAuthType, static_cast<DWORD>(AUTHTYPE_SERVER));
        EXPECT_EQ(g_seen.sslChecks, 0u);
        EXPECT_EQ(g_seen.serverName, kServiceHostW);
    }
}

// The sizes older systems expect are those of the 32-bit structures; the
// engine configuration stops before the exclusive-root fields.
TEST(VerifyEmbeddedChain, StructureSizesAreThoseOfThe32BitLayout)
{
#if defined(_M_IX86) || defined(__i386__)
    const ScopedTrustedRoot trusted(StoreScope::LocalMachine, Pki().root);
    ASSERT_TRUE(trusted.added());
    g_seen = SeenCall();
    EXPECT_TRUE(VerifyEmbeddedChainWith(SeeingApi(), AsCertBlob(Pki().Chain()), nullptr, nullptr, true));
    EXPECT_EQ(g_seen.engineConfigSize, 40u);
    EXPECT_EQ(g_seen.chainParaSize, 16u);
    EXPECT_EQ(g_seen.sslParaSize, 16u);
    EXPECT_EQ(g_seen.policyParaSize, 12u);
    EXPECT_EQ(g_seen.policyStatusSize, 20u);
#else
    GTEST_SKIP() << "the quoted sizes are those of the x86 build";
#endif
}

int g_probeCalls = 0;
bool ProbeSaysUnsupported()
{
    ++g_probeCalls;
    return true;
}
bool ProbeSaysSupported()
{
    ++g_probeCalls;
    return false;
}

TEST(VerifyEmbeddedChain, SystemWithoutSha256AcceptsAtOnce)
{
    // Neither trusted nor complete: only the shortcut can accept it. The
    // malformed extra shows the extras are not even added.
    const std::string badExtra = MakeCertBlobBytes({kNotACertificate});
    const CertBlob extra = AsCertBlob(badExtra);
    ChainVerificationApi api = SeeingApi();
    api.isSha256Unsupported = ProbeSaysUnsupported;
    for (bool scope : kScopes) {
        SCOPED_TRACE(ScopeName(scope));
        g_engines = 0;
        const Outcome outcome = Verify(api, Pki().Chain(), &extra, scope);
        EXPECT_TRUE(outcome.verdict);
        EXPECT_RECORD(outcome, 0, 0, 0, 0);
        EXPECT_EQ(g_engines, 0);
    }
    api.isSha256Unsupported = ProbeSaysSupported;
    g_engines = 0;
    const Outcome normal = Verify(api, Pki().Chain(), nullptr, false);
    EXPECT_FALSE(normal.verdict);
    EXPECT_RECORD(normal, 0, 0, CERT_TRUST_IS_PARTIAL_CHAIN, 0xFFFFFFFF);
    EXPECT_EQ(g_engines, 2);
}

// Every release the verification makes, in order, each checked against what
// the system handed out.
std::vector<std::string> g_releases;
PCCERT_CHAIN_CONTEXT g_builtChain = nullptr;
HCERTCHAINENGINE g_createdEngine = nullptr;

BOOL WINAPI RecordCreateEngine(PCERT_CHAIN_ENGINE_CONFIG config, HCERTCHAINENGINE* engine)
{
    const BOOL created = CertCreateCertificateChainEngine(config, engine);
    g_createdEngine = created ? *engine : nullptr;
    return created;
}

BOOL WINAPI RecordGetChain(HCERTCHAINENGINE engine, PCCERT_CONTEXT cert, LPFILETIME time, HCERTSTORE extra,
                           PCERT_CHAIN_PARA para, DWORD flags, LPVOID reserved, PCCERT_CHAIN_CONTEXT* chain)
{
    const BOOL built = CertGetCertificateChain(engine, cert, time, extra, para, flags, reserved, chain);
    g_builtChain = built ? *chain : nullptr;
    return built;
}

BOOL WINAPI RecordFreeContext(PCCERT_CONTEXT cert)
{
    g_releases.push_back("end certificate");
    return CertFreeCertificateContext(cert);
}

VOID WINAPI RecordFreeChain(PCCERT_CHAIN_CONTEXT chain)
{
    g_releases.push_back(chain == g_builtChain ? "chain" : "unknown chain");
    CertFreeCertificateChain(chain);
}

VOID WINAPI RecordFreeEngine(HCERTCHAINENGINE engine)
{
    g_releases.push_back(engine == g_createdEngine ? "engine" : "unknown engine");
    CertFreeCertificateChainEngine(engine);
}

BOOL WINAPI RecordCloseStore(HCERTSTORE store, DWORD flags)
{
    g_releases.push_back("store, flags " + std::to_string(flags));
    return CertCloseStore(store, flags);
}

TEST(VerifyEmbeddedChain, ReleasesEndCertificateChainEngineStoreOnEveryPath)
{
    const ScopedTrustedRoot trusted(StoreScope::LocalMachine, Pki().root);
    ASSERT_TRUE(trusted.added());
    const std::string badExtra = MakeCertBlobBytes({kNotACertificate});
    const CertBlob extra = AsCertBlob(badExtra);
    const std::vector<std::string> all = {"end certificate", "chain", "engine", "store, flags 0"};
    const std::vector<std::string> storeAndCert = {"end certificate", "store, flags 0"};
    const struct {
        const char* name;
        void (*change)(ChainVerificationApi& api);
        const CertBlob* extra;
        bool verdict;
        std::vector<std::string> releases;
    } cases[] = {
        {"accepted", [](ChainVerificationApi&) {}, nullptr, true, all},
        {"policy call fails", [](ChainVerificationApi& api) { api.verifyChainPolicy = FailPolicyUntouched; },
         nullptr, false, all},
        {"chain not built", [](ChainVerificationApi& api) { api.getCertificateChain = FailGetChain; }, nullptr,
         false, {"end certificate", "engine", "store, flags 0"}},
        {"engine not created", [](ChainVerificationApi& api) { api.createChainEngine = FailCreateEngine; },
         nullptr, false, storeAndCert},
        {"extra certificate refused", [](ChainVerificationApi&) {}, &extra, false, storeAndCert},
        {"SHA-2 shortcut", [](ChainVerificationApi& api) { api.isSha256Unsupported = ProbeSaysUnsupported; },
         nullptr, true, storeAndCert},
        {"no store", [](ChainVerificationApi& api) { api.openStore = FailOpenStore; }, nullptr, false, {}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        ChainVerificationApi api;
        api.createChainEngine = RecordCreateEngine;
        api.getCertificateChain = RecordGetChain;
        api.freeCertificateContext.call = RecordFreeContext;
        api.freeCertificateChain.call = RecordFreeChain;
        api.freeChainEngine.call = RecordFreeEngine;
        api.closeStore.call = RecordCloseStore;
        c.change(api);
        g_releases.clear();
        EXPECT_EQ(VerifyEmbeddedChainWith(api, AsCertBlob(Pki().Chain()), c.extra, nullptr, true), c.verdict);
        EXPECT_EQ(g_releases, c.releases);
    }
}

// ---- the SHA-2 probes --------------------------------------------------------------

TEST(IsSha2SignatureUnverifiable, ProbesOnlyForSha2WithRsaSignatures)
{
    const struct {
        const char* oid;
        bool probed;
    } cases[] = {
        {"1.2.840.113549.1.1.11", true},   // sha256WithRSAEncryption
        {"1.2.840.113549.1.1.12", true},   // sha384WithRSAEncryption
        {"1.2.840.113549.1.1.13", true},   // sha512WithRSAEncryption
        {"1.2.840.113549.1.1.5", false},   // sha1WithRSAEncryption
        {"1.2.840.113549.1.1.10", false},  // RSASSA-PSS
        {"1.2.840.10045.4.3.2", false},    // ecdsa-with-SHA256
        {"1.2.840.113549.1.1.110", false},
        {"1.2.840.113549.1.1.1", false},
        {"", false},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.oid);
        CERT_INFO info = {};
        info.SignatureAlgorithm.pszObjId = const_cast<char*>(c.oid);
        CERT_CONTEXT cert = {};
        cert.pCertInfo = &info;
        g_probeCalls = 0;
        EXPECT_EQ(IsSha2SignatureUnverifiable(&cert, ProbeSaysUnsupported), c.probed);
        EXPECT_EQ(g_probeCalls, c.probed ? 1 : 0);
        EXPECT_FALSE(IsSha2SignatureUnverifiable(&cert, ProbeSaysSupported));
    }

    CERT_INFO noOid = {};
    CERT_CONTEXT withoutOid = {};
    withoutOid.pCertInfo = &noOid;
    CERT_CONTEXT withoutInfo = {};
    g_probeCalls = 0;
    EXPECT_FALSE(IsSha2SignatureUnverifiable(nullptr, ProbeSaysUnsupported));
    EXPECT_FALSE(IsSha2SignatureUnverifiable(&withoutInfo, ProbeSaysUnsupported));
    EXPECT_FALSE(IsSha2SignatureUnverifiable(&withoutOid, ProbeSaysUnsupported));
    EXPECT_EQ(g_probeCalls, 0);
}

TEST(IsSha256Unsupported, WineProviderHashesSha256AndGetsADefaultContainer)
{
    HCRYPTPROV provider = 0;
    // Start without the user's default container, as on a PC that never had one.
    CryptAcquireContextW(&provider, nullptr, nullptr, PROV_RSA_AES, CRYPT_DELETEKEYSET);
    ASSERT_FALSE(CryptAcquireContextW(&provider, nullptr, nullptr, PROV_RSA_AES, 0));
    ASSERT_EQ(GetLastError(), static_cast<DWORD>(NTE_BAD_KEYSET));

    EXPECT_FALSE(IsSha256Unsupported());
    ASSERT_TRUE(CryptAcquireContextW(&provider, nullptr, nullptr, PROV_RSA_AES, 0))
        << "the probe leaves the default container it had to create";
    CryptReleaseContext(provider, 0);
    EXPECT_FALSE(IsSha256Unsupported());
}

// Removes the PROV_RSA_AES provider type from both registry views while it
// lives, as on a system that has no such provider, and puts it back.
class MissingAesProviderType {
public:
    MissingAesProviderType()
    {
        for (RegView view : {RegView::Native64, RegView::Wow32}) {
            Saved entry = {view, ReadString(view, L"Name"), ReadString(view, L"TypeName")};
            if (entry.name.empty())
                continue;
            saved_.push_back(entry);
            removed_ = DeleteRegTree(HKEY_LOCAL_MACHINE, kKey, view) || removed_;
        }
    }
    ~MissingAesProviderType()
    {
        for (const Saved& entry : saved_) {
            SeedRegString(HKEY_LOCAL_MACHINE, kKey, L"Name", entry.name, REG_SZ, entry.view);
            SeedRegString(HKEY_LOCAL_MACHINE, kKey, L"TypeName", entry.typeName, REG_SZ, entry.view);
        }
    }
    bool removed() const { return removed_; }

private:
    static constexpr const wchar_t* kKey = L"Software\\Microsoft\\Cryptography\\Defaults\\Provider Types\\Type 024";
    struct Saved {
        RegView view;
        std::wstring name;
        std::wstring typeName;
    };
    static std::wstring ReadString(RegView view, const wchar_t* valueName)
    {
        HKEY key = nullptr;
        if (RegOpenKeyExW(HKEY_LOCAL_MACHINE, kKey, 0, KEY_QUERY_VALUE | RegViewFlag(view), &key) != ERROR_SUCCESS)
            return std::wstring();
        wchar_t text[256] = {};
        DWORD size = sizeof(text) - sizeof(wchar_t);
        DWORD type = 0;
        const LSTATUS status = RegQueryValueExW(key, valueName, nullptr, &type, reinterpret_cast<BYTE*>(text), &size);
        RegCloseKey(key);
        return status == ERROR_SUCCESS && type == REG_SZ ? std::wstring(text) : std::wstring();
    }
    std::vector<Saved> saved_;
    bool removed_ = false;
};

TEST(IsSha256Unsupported, SystemWithoutTheProviderCountsAsSupportingSha256)
{
    {
        const MissingAesProviderType missing;
        ASSERT_TRUE(missing.removed());
        HCRYPTPROV provider = 0;
        ASSERT_FALSE(CryptAcquireContextW(&provider, nullptr, nullptr, PROV_RSA_AES, CRYPT_VERIFYCONTEXT));
        EXPECT_NE(GetLastError(), static_cast<DWORD>(NTE_BAD_KEYSET));

        EXPECT_FALSE(IsSha256Unsupported());
        // The chain is built as usual: here it cannot reach its root.
        const Outcome outcome = Verify(Pki().Chain(), nullptr, false);
        EXPECT_FALSE(outcome.verdict);
        EXPECT_RECORD(outcome, 0, 0, CERT_TRUST_IS_PARTIAL_CHAIN, 0xFFFFFFFF);
    }
    HCRYPTPROV provider = 0;
    ASSERT_TRUE(CryptAcquireContextW(&provider, nullptr, nullptr, PROV_RSA_AES, CRYPT_VERIFYCONTEXT))
        << "the provider type is back";
    CryptReleaseContext(provider, 0);
}

}  // namespace
