#pragma once

// One owner for every kind of handle the program opens: UniqueResource holds
// one handle, closes it when its scope is left, and treats the empty value as
// nothing to close. A close policy says how a handle is closed, what counts
// as empty and what Close() answers; policies that carry state (close flags,
// a replaceable close call for tests) travel inside the owner.
//
// Owners are move-only. Owners in one scope close in the reverse order of
// their declaration: a function fixes its release order by the order in which
// it declares its owners.

#include <winsock2.h>
#include <windows.h>
#include <wincrypt.h>
#include <ws2tcpip.h>

#include <cstddef>
#include <cstdlib>
#include <utility>

template <typename ClosePolicy>
class UniqueResource {
public:
    using Handle = typename ClosePolicy::Handle;

    UniqueResource() = default;
    explicit UniqueResource(Handle handle) : handle_(handle) {}
    explicit UniqueResource(ClosePolicy policy, Handle handle = ClosePolicy::Empty())
        : handle_(handle), policy_(std::move(policy))
    {
    }
    UniqueResource(const UniqueResource&) = delete;
    UniqueResource& operator=(const UniqueResource&) = delete;
    UniqueResource(UniqueResource&& other) noexcept : handle_(other.handle_), policy_(std::move(other.policy_))
    {
        other.handle_ = ClosePolicy::Empty();
    }
    UniqueResource& operator=(UniqueResource&& other) noexcept
    {
        if (this != &other) {
            Close();
            handle_ = other.handle_;
            policy_ = std::move(other.policy_);
            other.handle_ = ClosePolicy::Empty();
        }
        return *this;
    }
    ~UniqueResource() { Close(); }

    // The close call's result. With nothing held: ClosePolicy::kResultWhenEmpty.
    // A failed close leaves the owner empty unless the policy keeps the
    // handle for another try (the destructor's).
    bool Close()
    {
        if (handle_ == ClosePolicy::Empty())
            return ClosePolicy::kResultWhenEmpty;
        const bool closed = policy_.Close(handle_);
        if (closed || !ClosePolicy::kKeepsOnFailure)
            handle_ = ClosePolicy::Empty();
        return closed;
    }
    // Closes what is held and takes `handle`.
    void reset(Handle handle = ClosePolicy::Empty())
    {
        Close();
        handle_ = handle;
    }
    // For a call that returns its handle through an out-parameter. Only for
    // calls that leave it empty when they fail.
    Handle* put()
    {
        reset();
        return &handle_;
    }
    Handle get() const { return handle_; }
    explicit operator bool() const { return handle_ != ClosePolicy::Empty(); }

private:
    Handle handle_ = ClosePolicy::Empty();
    ClosePolicy policy_{};
};

// ---- close policies --------------------------------------------------------

// What most handle kinds share: a null (or zero) handle holds nothing, a
// failed close still gives the handle up, and closing nothing answers false.
template <typename H>
struct NullIsEmpty {
    using Handle = H;
    static Handle Empty() { return Handle{}; }
    static constexpr bool kResultWhenEmpty = false;
    static constexpr bool kKeepsOnFailure = false;
};

struct KernelHandleClose : NullIsEmpty<HANDLE> {
    static bool Close(HANDLE handle) { return CloseHandle(handle) != FALSE; }
};

// A file handle holds nothing as INVALID_HANDLE_VALUE. A failed close is
// reported through ReportFailure and the handle kept, so that the owner tries
// once more when it is destroyed; Close() with nothing held answers true
// ("nothing is open any more").
template <void (*ReportFailure)()>
struct ReportedFileClose {
    using Handle = HANDLE;
    static Handle Empty() { return INVALID_HANDLE_VALUE; }
    static constexpr bool kResultWhenEmpty = true;
    static constexpr bool kKeepsOnFailure = true;
    static bool Close(HANDLE file)
    {
        if (CloseHandle(file))
            return true;
        ReportFailure();
        return false;
    }
};

struct RegKeyClose : NullIsEmpty<HKEY> {
    static bool Close(HKEY key) { return RegCloseKey(key) == ERROR_SUCCESS; }
};

struct SidFree : NullIsEmpty<PSID> {
    static bool Close(PSID sid) { return FreeSid(sid) == nullptr; }
};

// Blocks of the C runtime's heap, zero-filled when they come from ZeroedBlock.
template <typename T>
struct HeapBlockFree : NullIsEmpty<T*> {
    static bool Close(T* block)
    {
        std::free(block);
        return true;
    }
};

struct AddressListFree : NullIsEmpty<ADDRINFOW*> {
    static bool Close(ADDRINFOW* records)
    {
        FreeAddrInfoW(records);
        return true;
    }
};

// A Winsock start-up, held as whether it succeeded: only a successful one is
// cleaned up.
struct WinsockCleanup : NullIsEmpty<bool> {
    static bool Close(bool) { return WSACleanup() == 0; }
};

// The crypto and certificate policies carry their close `call`, so that tests
// can watch or replace it together with the calls that open the handles.
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

// ---- one owner per kind of handle ----------------------------------------

using ScopedTokenHandle = UniqueResource<KernelHandleClose>;
using ScopedRegKey = UniqueResource<RegKeyClose>;
using ScopedSid = UniqueResource<SidFree>;
template <typename T>
using ScopedHeapBlock = UniqueResource<HeapBlockFree<T>>;
using ScopedAddressList = UniqueResource<AddressListFree>;
using ScopedCertStore = UniqueResource<CertStoreClose>;
using ScopedCertContext = UniqueResource<CertContextFree>;
using ScopedCertChain = UniqueResource<CertChainFree>;
using ScopedChainEngine = UniqueResource<ChainEngineFree>;
// Close() is the release of the handle: the call's result, false with nothing held.
using ScopedCryptProvider = UniqueResource<CryptProviderRelease>;
using ScopedCryptHash = UniqueResource<CryptHashDestroy>;

// `count` zero-filled elements from the C runtime's heap; empty when the
// memory cannot be had (also when count * sizeof(T) overflows).
template <typename T>
ScopedHeapBlock<T> ZeroedBlock(std::size_t count)
{
    return ScopedHeapBlock<T>(static_cast<T*>(std::calloc(count, sizeof(T))));
}
