#pragma once

#include <windows.h>

// The "Proxy detection" section: the Internet Settings of the machine, the
// machine policy, the current user and LocalSystem.
void CheckProxySettings();

// Reports the proxy values of one Internet Settings key. `root` is
// HKEY_LOCAL_MACHINE, HKEY_CURRENT_USER or HKEY_USERS. True when the key
// holds a proxy finding; an open failure is none.
bool ReportProxyKey(HKEY root, const wchar_t* subKey, bool reportOpenFailure);
