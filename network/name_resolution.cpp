#include "network/name_resolution.h"

#include <cstdlib>
#include <cstring>
#include <cwchar>

#include "log/code_text.h"
#include "log/report_texts.h"
#include "log/run_log.h"
#include "network/service_names.h"

namespace {

constexpr wchar_t kServicePort[] = L"443";
// 46 is INET6_ADDRSTRLEN of the BSD headers, not of Windows' (65): an address
// text that does not fit, such as a long scope id with brackets and port,
// fails the conversion and is reported like any other conversion failure.
constexpr DWORD kAddressTextChars = 46;

constexpr CodeText kSocketTypeNames[] = {
    {0, kUnspecified},
    {SOCK_STREAM, L"SOCK_STREAM (stream)"},
    {SOCK_DGRAM, L"SOCK_DGRAM (datagram)"},
    {SOCK_RAW, L"SOCK_RAW (raw)"},
    {SOCK_RDM, L"SOCK_RDM (reliable message datagram)"},
    {SOCK_SEQPACKET, L"SOCK_SEQPACKET (pseudo-stream packet)"},
};

constexpr CodeText kProtocolNames[] = {
    {0, kUnspecified},
    {IPPROTO_TCP, L"IPPROTO_TCP (TCP)"},
    {IPPROTO_UDP, L"IPPROTO_UDP (UDP)"},
};

template <size_t Rows>
void PrintCodeName(const CodeText (&table)[Rows], int value)
{
    // Compared unsigned, so a negative value is "Other".
    if (const wchar_t* name = FindCodeText(table, static_cast<DWORD>(value)))
        LogPrint(name);
    else
        LogPrint(kOtherValue, static_cast<long>(value));
}

// The record's address as text; false after reporting why it cannot be had.
bool AddressText(const ADDRINFOW& record, wchar_t (&text)[kAddressTextChars])
{
    DWORD length = kAddressTextChars;
    if (WSAAddressToStringW(record.ai_addr, static_cast<DWORD>(record.ai_addrlen), nullptr, text, &length) != 0) {
        LogError(kAddressToStringFailed, static_cast<unsigned>(WSAGetLastError()));
        return false;
    }
    return true;
}

bool IsKnownServiceAddress(const ADDRINFOW& record)
{
    if (record.ai_addr == nullptr || record.ai_addrlen < sizeof(sockaddr_in))
        return false;
    sockaddr_in ipv4 = {};
    std::memcpy(&ipv4, record.ai_addr, sizeof(ipv4));
    for (std::uint32_t known : KnownServiceAddresses) {
        if (ipv4.sin_addr.s_addr == known)
            return true;
    }
    return false;
}

}  // namespace

ScopedAddressList ResolveServiceHost()
{
    ADDRINFOW hints = {};
    hints.ai_socktype = SOCK_STREAM;
    ADDRINFOW* records = nullptr;
    const int code = GetAddrInfoW(kServiceHostW, kServicePort, &hints, &records);
    if (code != 0) {
        LogError(kGetAddrInfoFailed, code, static_cast<unsigned>(code));
        return ScopedAddressList();
    }
    return ScopedAddressList(records);
}

bool ReportAddressRecords(const ADDRINFOW* records)
{
    bool knownAddressFound = false;
    int index = 0;
    for (const ADDRINFOW* record = records; record != nullptr; record = record->ai_next, ++index) {
        LogPrint(kAddressRecord, index, static_cast<unsigned>(record->ai_flags));
        wchar_t text[kAddressTextChars] = {};
        switch (record->ai_family) {
        case AF_UNSPEC:
            LogPrint(kUnspecified);
            break;
        case AF_INET:
            LogPrint(kFamilyIpv4);
            if (AddressText(*record, text)) {
                LogPrint(kIpv4Address, text);
                if (IsKnownServiceAddress(*record))
                    knownAddressFound = true;
            }
            break;
        case AF_INET6:
            LogPrint(kFamilyIpv6);
            if (AddressText(*record, text))
                LogPrint(kIpv6Address, text);
            break;
        default:
            LogPrint(kOtherValue, static_cast<long>(record->ai_family));
            break;
        }
        LogPrint(kSocketTypeLabel);
        PrintCodeName(kSocketTypeNames, record->ai_socktype);
        LogPrint(kProtocolLabel);
        PrintCodeName(kProtocolNames, record->ai_protocol);
        LogPrint(kSockaddrLength, static_cast<int>(record->ai_addrlen));
        if (record->ai_canonname != nullptr)
            LogPrint(kCanonicalName, record->ai_canonname);
    }
    return knownAddressFound;
}

void ReportResolutionVerdict(bool knownAddressFound)
{
    if (knownAddressFound) {
        LogPrint(kOk);
        return;
    }
    LogWarning(kUnknownAddress, kServiceHostW);
    const wchar_t* separator = L" ";
    for (std::uint32_t known : KnownServiceAddresses) {
        unsigned char octets[4] = {};
        std::memcpy(octets, &known, sizeof(octets));
        LogPrint(kKnownAddress, separator, octets[0], octets[1], octets[2], octets[3]);
        separator = L", ";
    }
}

void CheckNameResolution()
{
    LogPrint(kDnsTitle);

    const ScopedWinsock winsock;
    if (winsock.StartupResult() != 0) {
        LogError(kWsaStartupFailed);
        return;
    }

    ScopedAddressList records = ResolveServiceHost();
    if (!records)
        return;
    const bool knownAddressFound = ReportAddressRecords(records.get());
    // The list is gone before the verdict is written.
    records.Close();
    ReportResolutionVerdict(knownAddressFound);
}
