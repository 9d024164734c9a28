#pragma once

#include <winsock2.h>
#include <ws2tcpip.h>

#include <cstdint>

#include "base/winsock_handles.h"

// An IPv4 address as it lies in a socket address: network byte order, the
// first octet in the lowest-addressed byte. Windows runs little-endian only,
// so the first octet is the low-order byte of the value.
constexpr std::uint32_t Ipv4InNetworkOrder(std::uint8_t first, std::uint8_t second, std::uint8_t third,
                                           std::uint8_t fourth)
{
    return static_cast<std::uint32_t>(first) | static_cast<std::uint32_t>(second) << 8 |
           static_cast<std::uint32_t>(third) << 16 | static_cast<std::uint32_t>(fourth) << 24;
}

// The service host's addresses, in the order the report names them.
constexpr std::uint32_t KnownServiceAddresses[] = {
    Ipv4InNetworkOrder(192, 0, 2, 10),
    Ipv4InNetworkOrder(198, 51, 100, 20),
};

// Winsock 1.0 for the length of a scope: cleaned up once, and only when the
// start-up succeeded.
class ScopedWinsock : public UniqueResource<WinsockCleanup> {
public:
    ScopedWinsock() : startupResult_(WSAStartup(MAKEWORD(1, 0), &data_)) { reset(startupResult_ == 0); }
    int StartupResult() const { return startupResult_; }

private:
    WSADATA data_ = {};
    int startupResult_;
};

// The "GetAddrInfoW response test" section: the resolver's answer for the
// service host, compared with its known addresses.
void CheckNameResolution();

// The resolver's records for the service host on port 443, or an empty owner
// after the error has been reported.
ScopedAddressList ResolveServiceHost();

// One line per record, in the list's order. True when an IPv4 record carries
// one of KnownServiceAddresses.
bool ReportAddressRecords(const ADDRINFOW* records);

// "OK", or the warning that names the known addresses.
void ReportResolutionVerdict(bool knownAddressFound);
