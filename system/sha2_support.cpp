#include "system/sha2_support.h"

#include "base/sha256_algorithm.h"
#include "log/report_texts.h"
#include "log/run_log.h"

void CheckSha2Support()
{
    CheckSha2Support(CryptoCalls{});
}

void CheckSha2Support(const CryptoCalls& calls)
{
    LogPrint(kSha2Title);

    // Handles land in locals first and reach the owners only on success, so a
    // failed call that leaves a stray value behind is never released.
    ScopedCryptProvider provider(calls.releaseContext);
    HCRYPTPROV providerHandle = 0;
    if (calls.acquireContext(&providerHandle, nullptr, nullptr, PROV_RSA_AES, CRYPT_VERIFYCONTEXT)) {
        provider.reset(providerHandle);
    } else {
        const DWORD acquireError = GetLastError();
        if (acquireError != static_cast<DWORD>(NTE_BAD_KEYSET)) {
            LogError(kAcquireFailed, acquireError);
            return;
        }
        providerHandle = 0;
        if (!calls.acquireContext(&providerHandle, nullptr, nullptr, PROV_RSA_AES, CRYPT_NEWKEYSET)) {
            const DWORD retryError = GetLastError();
            LogError(kAcquireNewKeysetFailed, retryError);
            return;
        }
        provider.reset(providerHandle);
    }

    // Declared after the provider: on every way out the hash goes first.
    ScopedCryptHash hash(calls.destroyHash);
    HCRYPTHASH hashHandle = 0;
    if (calls.createHash(provider.get(), CALG_SHA_256, 0, 0, &hashHandle)) {
        hash.reset(hashHandle);
        LogPrint(kOk);
    } else {
        const DWORD hashError = GetLastError();
        if (hashError == static_cast<DWORD>(NTE_BAD_ALGID))
            LogError(kSha2Unsupported);
        else
            LogError(kCreateHashFailed, hashError);
    }

    hash.Close();
    provider.Close();
}
