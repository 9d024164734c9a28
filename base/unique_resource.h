#pragma once

// One owner for every kind of handle the program opens: UniqueResource holds
// one handle, closes it when its scope is left, and treats the empty value as
// nothing to close. A close policy says how a handle is closed, what counts
// as empty and what Close() answers; policies that carry state (close flags,
// a replaceable close call for tests) travel inside the owner. Each family of
// handles has its policies and owners in a header of its own beside this one.
//
// Owners are move-only. Owners in one scope close in the reverse order of
// their declaration: a function fixes its release order by the order in which
// it declares its owners.
//
// Closing keeps the thread's last error: an owner released between a failing
// call and the GetLastError that reads its cause does not change the cause.

#include <windows.h>

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
    // handle for another try (the destructor's). A policy that reports a
    // failed close reads its cause before the last error is put back.
    bool Close()
    {
        if (handle_ == ClosePolicy::Empty())
            return ClosePolicy::kResultWhenEmpty;
        const DWORD lastError = GetLastError();
        const bool closed = policy_.Close(handle_);
        SetLastError(lastError);
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

// What most handle kinds share: a null (or zero) handle holds nothing, a
// failed close still gives the handle up, and closing nothing answers false.
template <typename H>
struct NullIsEmpty {
    using Handle = H;
    static Handle Empty() { return Handle{}; }
    static constexpr bool kResultWhenEmpty = false;
    static constexpr bool kKeepsOnFailure = false;
};
