#include "app/local_system.h"

#include <windows.h>

#include "base/heap_block.h"
#include "base/kernel_handles.h"
#include "base/security_handles.h"

namespace {

constexpr DWORD kTokenAccess = TOKEN_ADJUST_PRIVILEGES | TOKEN_QUERY | TOKEN_QUERY_SOURCE | READ_CONTROL;

bool IsTokenUserLocalSystem(HANDLE token)
{
    DWORD length = 0;
    GetTokenInformation(token, TokenUser, nullptr, 0, &length);
    if (length == 0)
        return false;
    const ScopedHeapBlock<BYTE> tokenUser = ZeroedBlock<BYTE>(length);
    if (!tokenUser)
        return false;
    if (!GetTokenInformation(token, TokenUser, tokenUser.get(), length, &length))
        return false;

    SID_IDENTIFIER_AUTHORITY ntAuthority = SECURITY_NT_AUTHORITY;
    ScopedSid localSystemSid;
    if (!AllocateAndInitializeSid(&ntAuthority, 1, SECURITY_LOCAL_SYSTEM_RID, 0, 0, 0, 0, 0, 0, 0,
                                  localSystemSid.put()))
        return false;
    return EqualSid(reinterpret_cast<const TOKEN_USER*>(tokenUser.get())->User.Sid, localSystemSid.get()) != FALSE;
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
