#pragma once

// True when the process runs as NT AUTHORITY\SYSTEM. As a side effect it
// enables SeSecurityPrivilege when the account holds it. It answers false
// when the privilege cannot even be asked for (AdjustTokenPrivileges fails);
// an account that merely lacks the privilege is still looked at, since that
// call succeeds for it.
bool IsLocalSystemAccount();
