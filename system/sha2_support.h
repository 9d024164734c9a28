#pragma once

#include <windows.h>
#include <wincrypt.h>

// The CryptoAPI calls of the SHA-2 test, as a table so that tests can
// substitute the provider's answers; the program uses SystemCryptoCalls().
struct CryptoCalls {
    BOOL(WINAPI* acquireContext)(HCRYPTPROV* provider, LPCWSTR container, LPCWSTR providerName, DWORD providerType,
                                 DWORD flags);
    BOOL(WINAPI* createHash)(HCRYPTPROV provider, ALG_ID algorithm, HCRYPTKEY key, DWORD flags, HCRYPTHASH* hash);
    BOOL(WINAPI* destroyHash)(HCRYPTHASH hash);
    BOOL(WINAPI* releaseContext)(HCRYPTPROV provider, DWORD flags);
};

const CryptoCalls& SystemCryptoCalls();

// Owner of a provider handle; 0 holds nothing.
class ScopedCryptProvider {
public:
    using ReleaseFn = BOOL(WINAPI*)(HCRYPTPROV provider, DWORD flags);

    explicit ScopedCryptProvider(ReleaseFn release) : release_(release) {}
    ScopedCryptProvider(const ScopedCryptProvider&) = delete;
    ScopedCryptProvider& operator=(const ScopedCryptProvider&) = delete;
    ScopedCryptProvider(ScopedCryptProvider&& other) noexcept : handle_(other.handle_), release_(other.release_)
    {
        other.handle_ = 0;
    }
    ScopedCryptProvider& operator=(ScopedCryptProvider&& other) noexcept
    {
        if (this != &other) {
            Release();
            handle_ = other.handle_;
            release_ = other.release_;
            other.handle_ = 0;
        }
        return *this;
    }
    ~ScopedCryptProvider() { Release(); }

    // Takes over a handle that a successful acquisition produced.
    void Attach(HCRYPTPROV handle)
    {
        Release();
        handle_ = handle;
    }
    // The release call's result; false when there was nothing to release.
    bool Release()
    {
        if (handle_ == 0)
            return false;
        const BOOL released = release_(handle_, 0);
        handle_ = 0;
        return released != FALSE;
    }
    HCRYPTPROV get() const { return handle_; }

private:
    HCRYPTPROV handle_ = 0;
    ReleaseFn release_;
};

// Owner of a hash handle; 0 holds nothing.
class ScopedCryptHash {
public:
    using DestroyFn = BOOL(WINAPI*)(HCRYPTHASH hash);

    explicit ScopedCryptHash(DestroyFn destroy) : destroy_(destroy) {}
    ScopedCryptHash(const ScopedCryptHash&) = delete;
    ScopedCryptHash& operator=(const ScopedCryptHash&) = delete;
    ScopedCryptHash(ScopedCryptHash&& other) noexcept : handle_(other.handle_), destroy_(other.destroy_)
    {
        other.handle_ = 0;
    }
    ScopedCryptHash& operator=(ScopedCryptHash&& other) noexcept
    {
        if (this != &other) {
            Release();
            handle_ = other.handle_;
            destroy_ = other.destroy_;
            other.handle_ = 0;
        }
        return *this;
    }
    ~ScopedCryptHash() { Release(); }

    void Attach(HCRYPTHASH handle)
    {
        Release();
        handle_ = handle;
    }
    bool Release()
    {
        if (handle_ == 0)
            return false;
        const BOOL destroyed = destroy_(handle_);
        handle_ = 0;
        return destroyed != FALSE;
    }
    HCRYPTHASH get() const { return handle_; }

private:
    HCRYPTHASH handle_ = 0;
    DestroyFn destroy_;
};

// Whether the default PROV_RSA_AES provider can create a SHA-256 hash.
void CheckSha2Support();
void CheckSha2Support(const CryptoCalls& calls);
