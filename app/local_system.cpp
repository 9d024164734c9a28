#include "app/local_system.h"

#include <windows.h>

#include <cstdlib>

namespace {

class ScopedTokenHandle {
public:
    ScopedTokenHandle() = default;
    ScopedTokenHandle(const ScopedTokenHandle&) = delete;
    ScopedTokenHandle& operator=(const ScopedTokenHandle&) = delete;
    ~ScopedTokenHandle()
    {
        if (handle_ != nullptr)
            CloseHandle(handle_);
    }
    HANDLE* put() { return &handle_; }
    HANDLE get() const { return handle_; }

private:
    HANDLE handle_ = nullptr;
};

constexpr DWORD kTokenAccess = TOKEN_ADJUST_PRIVILEGES | TOKEN_QUERY | TOKEN_QUERY_SOURCE | READ_CONTROL;

bool IsTokenUserLocalSystem(HANDLE token)
{
    DWORD length = 0;
    GetTokenInformation(token, TokenUser, nullptr, 0, &length);
    if (length == 0)
        return false;
    void* tokenUser = std::calloc(1, length);
    if (tokenUser == nullptr)
        return false;

    bool isLocalSystem = false;
    if (GetTokenInformation(token, TokenUser, tokenUser, length, &length)) {
        SID_IDENTIFIER_AUTHORITY ntAuthority = SECURITY_NT_AUTHORITY;
        PSID localSystemSid = nullptr;
        if (AllocateAndInitializeSid(&ntAuthority, 1, SECURITY_LOCAL_SYSTEM_RID, 0, 0, 0, 0, 0, 0, 0,
                                     &localSystemSid)) {
            isLocalSystem = EqualSid(static_cast<TOKEN_USER*>(tokenUser)->User.Sid, localSystemSid) != FALSE;
            FreeSid(localSystemSid);
        }
    }
    std::free(tokenUser);
    return isLocalSystem;
}

}  // namespace

bool IsLocalSystemAccount()
{
    ScopedTokenHandle token;
    if (!OpenProcessToken(GetCurrentProcess(), kTokenAccess, token.put()))
        return false;

    TOKEN_PRIVILEGES privileges = {};
    privileges.PrivilegeCount = 1;
    privileges.Privileges[0].Attributes = SE_PRIVILEGE_ENABLED;
    if (!LookupPrivilegeValueW(nullptr, L"SeSecurityPrivilege", &privileges.Privileges[0].Luid))
        return false;
    // Success without the privilege assigned (ERROR_NOT_ALL_ASSIGNED) still counts.
    if (!AdjustTokenPrivileges(token.get(), FALSE, &privileges, sizeof(privileges), nullptr, nullptr))
        return false;

    return IsTokenUserLocalSystem(token.get());
}
