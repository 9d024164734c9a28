// The SHA-2 test: its success for real against Wine's provider, and the error
// paths through a provider whose answers the test writes.

#include "system/sha2_support.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <string>
#include <utility>
#include <vector>

#include "tests/harness/log_capture.h"
#include "tests/harness/report_text.h"

namespace {

TEST(Sha2Support, WineProviderCreatesTheHash)
{
    CapturedRunLog log;
    ASSERT_TRUE(log.IsOpen());
    CheckSha2Support();
    EXPECT_EQ(log.Text(), std::wstring(kSha2Title) + L"\r\nOK");
}

// What the scripted provider answers, and every call it saw.
struct ScriptedAnswer {
    bool succeeds;
    DWORD error;  // last error on failure
};

struct Script {
    std::vector<ScriptedAnswer> acquire;
    ScriptedAnswer createHash;
    std::vector<std::string> calls;
    size_t acquireCount = 0;
    HCRYPTPROV nextProvider = 0x1000;
};
Script* g_script = nullptr;

std::string Hex(ULONG_PTR value)
{
    char text[32] = {};
    std::snprintf(text, sizeof(text), "%#llx", static_cast<unsigned long long>(value));
    return text;
}

// Failed calls leave a stray value behind, as a careless provider might.
BOOL WINAPI ScriptedAcquire(HCRYPTPROV* provider, LPCWSTR container, LPCWSTR providerName, DWORD type, DWORD flags)
{
    g_script->calls.push_back("acquire(" + std::string(container || providerName ? "named, " : "") +
                              std::to_string(type) + ", " + Hex(flags) + ")");
    const ScriptedAnswer answer = g_script->acquire.at(g_script->acquireCount++);
    if (!answer.succeeds) {
        *provider = 0xBAD;
        SetLastError(answer.error);
        return FALSE;
    }
    *provider = ++g_script->nextProvider;
    return TRUE;
}

BOOL WINAPI ScriptedCreateHash(HCRYPTPROV provider, ALG_ID algorithm, HCRYPTKEY key, DWORD flags, HCRYPTHASH* hash)
{
    g_script->calls.push_back("createHash(" + Hex(provider) + ", " + Hex(algorithm) + ", " + Hex(key) + ", " +
                              Hex(flags) + ")");
    if (!g_script->createHash.succeeds) {
        *hash = 0xBAD;
        SetLastError(g_script->createHash.error);
        return FALSE;
    }
    *hash = 0x2000;
    return TRUE;
}

BOOL WINAPI ScriptedDestroyHash(HCRYPTHASH hash)
{
    g_script->calls.push_back("destroyHash(" + Hex(hash) + ")");
    return TRUE;
}

BOOL WINAPI ScriptedReleaseContext(HCRYPTPROV provider, DWORD flags)
{
    g_script->calls.push_back("releaseContext(" + Hex(provider) + ", " + Hex(flags) + ")");
    return TRUE;
}

CryptoCalls ScriptedCalls()
{
    CryptoCalls calls;
    calls.acquireContext = ScriptedAcquire;
    calls.createHash = ScriptedCreateHash;
    calls.destroyHash.call = ScriptedDestroyHash;
    calls.releaseContext.call = ScriptedReleaseContext;
    return calls;
}

const std::string kVerify = "acquire(24, 0xf0000000)";
const std::string kNewKeyset = "acquire(24, 0x8)";
const std::string kCreate1001 = "createHash(0x1001, 0x800c, 0, 0)";
const std::string kDestroy = "destroyHash(0x2000)";

TEST(Sha2Support, ErrorPathsReportOnceAndReleaseHashBeforeProvider)
{
    const ScriptedAnswer ok = {true, 0};
    const struct {
        const char* name;
        std::vector<ScriptedAnswer> acquire;
        ScriptedAnswer createHash;
        std::wstring section;
        std::vector<std::string> calls;
    } cases[] = {
        {"verify context succeeds", {ok}, ok, L"\r\nOK",
         {kVerify, kCreate1001, kDestroy, "releaseContext(0x1001, 0)"}},
        {"missing key set, retry succeeds", {{false, 0x80090016}, ok}, ok, L"\r\nOK",
         {kVerify, kNewKeyset, kCreate1001, kDestroy, "releaseContext(0x1001, 0)"}},
        {"missing key set, retry fails with its own error", {{false, 0x80090016}, {false, 0x8009000F}}, ok,
         L"error: \r\nError: CryptAcquireContext(CRYPT_NEWKEYSET) failed with error gle: 0x8009000f",
         {kVerify, kNewKeyset}},
        {"no provider of the type", {{false, 0x80090017}}, ok,
         L"error: \r\nError: CryptAcquireContext failed with error gle: 0x80090017", {kVerify}},
        {"algorithm unknown", {ok}, {false, 0x80090008}, L"error: \r\nError: System does not support SHA2",
         {kVerify, kCreate1001, "releaseContext(0x1001, 0)"}},
        {"hash fails otherwise", {ok}, {false, ERROR_NOT_ENOUGH_MEMORY},
         L"error: \r\nError: CryptCreateHash failed with error gle : 0x00000008",
         {kVerify, kCreate1001, "releaseContext(0x1001, 0)"}},
        {"retry succeeds, algorithm unknown", {{false, 0x80090016}, ok}, {false, 0x80090008},
         L"error: \r\nError: System does not support SHA2",
         {kVerify, kNewKeyset, kCreate1001, "releaseContext(0x1001, 0)"}},
    };
    for (const auto& c : cases) {
        Script script;
        script.acquire = c.acquire;
        script.createHash = c.createHash;
        g_script = &script;
        CapturedRunLog log;
        ASSERT_TRUE(log.IsOpen());
        CheckSha2Support(ScriptedCalls());
        EXPECT_EQ(log.Text(), kSha2Title + c.section) << c.name;
        EXPECT_EQ(script.calls, c.calls) << c.name;
        EXPECT_EQ(script.acquireCount, c.acquire.size()) << c.name;
        g_script = nullptr;
    }
}

TEST(ScopedCryptOwners, ReleaseOnceAndTreatZeroAsNothing)
{
    Script script;
    g_script = &script;
    const CryptoCalls calls = ScriptedCalls();
    {
        ScopedCryptProvider empty(calls.releaseContext);
        EXPECT_FALSE(empty.Close());
        ScopedCryptProvider provider(calls.releaseContext, 0x1234);
        ScopedCryptProvider moved(std::move(provider));
        EXPECT_EQ(provider.get(), 0u);  // NOLINT(bugprone-use-after-move)
        ScopedCryptHash hash(calls.destroyHash, 0x5678);
        EXPECT_TRUE(hash.Close());
        EXPECT_FALSE(hash.Close());
        hash.reset(0x9abc);
    }
    g_script = nullptr;
    EXPECT_EQ(script.calls, (std::vector<std::string>{"destroyHash(0x5678)", "destroyHash(0x9abc)",
                                                      "releaseContext(0x1234, 0)"}));
}

}  // namespace
