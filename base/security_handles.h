#pragma once

// Owners of what the security and registry calls of advapi32 hand out.

#include <windows.h>

#include "base/unique_resource.h"

struct RegKeyClose : NullIsEmpty<HKEY> {
    static bool Close(HKEY key) { return RegCloseKey(key) == ERROR_SUCCESS; }
};

struct SidFree : NullIsEmpty<PSID> {
    static bool Close(PSID sid) { return FreeSid(sid) == nullptr; }
};

using ScopedRegKey = UniqueResource<RegKeyClose>;
using ScopedSid = UniqueResource<SidFree>;
