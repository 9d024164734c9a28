#pragma once

#include <windows.h>
#include <wincrypt.h>

#include "base/crypto_handles.h"

// The CryptoAPI calls of the SHA-2 test, the real ones unless a test
// substitutes the provider's answers.
struct CryptoCalls {
    decltype(&CryptAcquireContextW) acquireContext = &CryptAcquireContextW;
    decltype(&CryptCreateHash) createHash = &CryptCreateHash;
    CryptHashDestroy destroyHash;
    CryptProviderRelease releaseContext;
};

// Whether the default PROV_RSA_AES provider can create a SHA-256 hash.
void CheckSha2Support();
void CheckSha2Support(const CryptoCalls& calls);
