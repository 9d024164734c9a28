#pragma once

// True when the process runs as NT AUTHORITY\SYSTEM. As a side effect it
// enables SeSecurityPrivilege when the account holds it, and answers false
// whenever that privilege cannot be enabled.
bool IsLocalSystemAccount();
