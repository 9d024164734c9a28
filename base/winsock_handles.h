#pragma once

// Owners of what Winsock hands out: a start-up and resolver answers.

#include <winsock2.h>
#include <windows.h>
#include <ws2tcpip.h>

#include "base/unique_resource.h"

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

using ScopedAddressList = UniqueResource<AddressListFree>;
