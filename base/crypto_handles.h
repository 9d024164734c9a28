#pragma once

// Owners of CryptoAPI providers and hashes and of certificate stores,
// contexts, chains and chain engines. Each policy carries its close `call`,
// so that tests can watch or replace it together with the calls that open
// the handles.

#include <windows.h>
#include <wincrypt.h>

#include "base/unique_resource.h"

struct CertStoreClose : NullIsEmpty<HCERTSTORE> {
    CertStoreClose() = default;
    explicit CertStoreClose(DWORD closeFlags) : flags(closeFlags) {}
    bool Close(HCERTSTORE store) const { return call(store, flags) != FALSE; }
    DWORD flags = 0;
    decltype(&CertCloseStore) call = &CertCloseStore;
};

struct CertContextFree : NullIsEmpty<PCCERT_CONTEXT> {
    bool Close(PCCERT_CONTEXT cert) const { return call(cert) != FALSE; }
    decltype(&CertFreeCertificateContext) call = &CertFreeCertificateContext;
};

struct CertChainFree : NullIsEmpty<PCCERT_CHAIN_CONTEXT> {
    bool Close(PCCERT_CHAIN_CONTEXT chain) const
    {
        call(chain);
        return true;
    }
    decltype(&CertFreeCertificateChain) call = &CertFreeCertificateChain;
};

struct ChainEngineFree : NullIsEmpty<HCERTCHAINENGINE> {
    bool Close(HCERTCHAINENGINE engine) const
    {
        call(engine);
        return true;
    }
    decltype(&CertFreeCertificateChainEngine) call = &CertFreeCertificateChainEngine;
};

struct CryptProviderRelease : NullIsEmpty<HCRYPTPROV> {
    bool Close(HCRYPTPROV provider) const { return call(provider, 0) != FALSE; }
    BOOL(WINAPI* call)(HCRYPTPROV provider, DWORD flags) = &CryptReleaseContext;
};

struct CryptHashDestroy : NullIsEmpty<HCRYPTHASH> {
    bool Close(HCRYPTHASH hash) const { return call(hash) != FALSE; }
    BOOL(WINAPI* call)(HCRYPTHASH hash) = &CryptDestroyHash;
};

using ScopedCertStore = UniqueResource<CertStoreClose>;
using ScopedCertContext = UniqueResource<CertContextFree>;
using ScopedCertChain = UniqueResource<CertChainFree>;
using ScopedChainEngine = UniqueResource<ChainEngineFree>;
// Close() is the release of the handle: the call's result, false with nothing held.
using ScopedCryptProvider = UniqueResource<CryptProviderRelease>;
using ScopedCryptHash = UniqueResource<CryptHashDestroy>;
