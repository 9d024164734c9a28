#include "system/sha2_support.h"

#include "log/report_texts.h"
#include "log/run_log.h"

const CryptoCalls& SystemCryptoCalls()
{
    static const CryptoCalls calls = {CryptAcquireContextW, CryptCreateHash, CryptDestroyHash, CryptReleaseContext};
    return calls;
}

void CheckSha2Support()
{
    CheckSha2Support(SystemCryptoCalls());
}

void CheckSha2Support(const CryptoCalls& calls)
{
    LogPrint(kSha2Title);

    // Handles land in locals first and reach the owners only on success, so a
    // failed call that leaves a stray value behind is never released.
    ScopedCryptProvider provider(calls.releaseContext);
    HCRYPTPROV providerHandle = 0;
    if (calls.acquireContext(&providerHandle, nullptr, nullptr, PROV_RSA_AES, CRYPT_VERIFYCONTEXT)) {
        provider.Attach(providerHandle);
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
        provider.Attach(providerHandle);
    }

    // Declared after the provider: on every way out the hash goes first.
    ScopedCryptHash hash(calls.destroyHash);
    HCRYPTHASH hashHandle = 0;
    if (calls.createHash(provider.get(), CALG_SHA_256, 0, 0, &hashHandle)) {
        hash.Attach(hashHandle);
        LogPrint(kOk);
    } else {
        const DWORD hashError = GetLastError();
        if (hashError == static_cast<DWORD>(NTE_BAD_ALGID))
            LogError(kSha2Unsupported);
        else
            LogError(kCreateHashFailed, hashError);
    }

    hash.Release();
    provider.Release();
}
