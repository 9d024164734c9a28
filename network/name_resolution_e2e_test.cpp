// The resolver test through the real program, with the host resolver's answer
// set by the case (the wrapper gives every run its own /etc/hosts).

#include <winsock2.h>
#include <ws2tcpip.h>

#include <gtest/gtest.h>

#include <algorithm>
#include <map>
#include <string>
#include <vector>

#include "tests/harness/prefix_seed.h"
#include "tests/harness/product_run.h"
#include "tests/harness/report_text.h"

namespace {

const std::wstring kNotFoundWarning =
    L"warning: \r\nWarning: did not find known ip address of service.zemlo.example\r\n"
    L"\tThere were expected one of following ip: 192.0.2.10, 198.51.100.20";

// The rest of a record's line after its index, by the address the resolver gave.
const std::map<std::wstring, std::wstring> kRecordTexts = {
    {L"192.0.2.10:443",
     L": Flags: 0x0, Family: AF_INET (IPv4) IPv4 address 192.0.2.10:443, Socket type: SOCK_STREAM (stream), "
     L"Protocol: Unspecified, Length of sockaddr: 16"},
    {L"198.51.100.20:443",
     L": Flags: 0x0, Family: AF_INET (IPv4) IPv4 address 198.51.100.20:443, Socket type: SOCK_STREAM (stream), "
     L"Protocol: Unspecified, Length of sockaddr: 16"},
    {L"203.0.113.9:443",
     L": Flags: 0x0, Family: AF_INET (IPv4) IPv4 address 203.0.113.9:443, Socket type: SOCK_STREAM (stream), "
     L"Protocol: Unspecified, Length of sockaddr: 16"},
    {L"[2001:db8::7]:443",
     L": Flags: 0x0, Family: AF_INET6 (IPv6)  IPv6 address [2001:db8::7]:443, Socket type: SOCK_STREAM (stream), "
     L"Protocol: Unspecified, Length of sockaddr: 28"},
};

// The addresses in the order the resolver gives them to this process: the
// host's resolver sorts them by its own rules, which the product only relays.
std::vector<std::wstring> ResolverOrder()
{
    std::vector<std::wstring> order;
    WSADATA data = {};
    if (WSAStartup(MAKEWORD(2, 2), &data) != 0) {
        ADD_FAILURE() << "WSAStartup failed";
        return order;
    }
    ADDRINFOW hints = {};
    hints.ai_socktype = SOCK_STREAM;
    ADDRINFOW* records = nullptr;
    const int code = GetAddrInfoW(L"service.zemlo.example", L"443", &hints, &records);
    EXPECT_EQ(code, 0);
    for (const ADDRINFOW* record = records; record != nullptr; record = record->ai_next) {
        wchar_t text[64] = {};
        DWORD length = 64;
        EXPECT_EQ(WSAAddressToStringW(record->ai_addr, static_cast<DWORD>(record->ai_addrlen), nullptr, text, &length),
                  0);
        order.push_back(text);
    }
    if (records != nullptr)
        FreeAddrInfoW(records);
    WSACleanup();
    return order;
}

std::wstring Listing(const std::vector<std::wstring>& addresses)
{
    static const wchar_t* const kIndexes[] = {L"  0", L"  1", L"  2", L"  3"};
    std::wstring listing;
    for (size_t index = 0; index < addresses.size() && index < 4; ++index) {
        const auto text = kRecordTexts.find(addresses[index]);
        if (text == kRecordTexts.end()) {
            ADD_FAILURE() << "unexpected address " << Printable(addresses[index]);
            continue;
        }
        listing += L"\r\n" + std::wstring(kIndexes[index]) + text->second;
    }
    return listing;
}

struct ResolutionCase {
    const char* name;
    std::string resolverHosts;  // empty: the service host does not resolve
    std::vector<std::wstring> addresses;  // in any order
    std::wstring verdict;
};

class NameResolutionReport : public ::testing::TestWithParam<ResolutionCase> {};

TEST_P(NameResolutionReport, SectionAsExpected)
{
    const ResolutionCase& c = GetParam();
    const ProductInstall product;
    ASSERT_TRUE(product.Install());
    std::wstring expected = kNameResolutionTitle;
    if (c.resolverHosts.empty()) {
        expected += L"error: \r\nerror: GetAddrInfoW failed with code 11001 (0x00002af9)\r\n";
    } else {
        ASSERT_TRUE(SetResolverHosts(c.resolverHosts));
        const std::vector<std::wstring> order = ResolverOrder();
        ASSERT_EQ(order.size(), c.addresses.size());
        for (const std::wstring& address : c.addresses) {
            ASSERT_EQ(std::count(order.begin(), order.end(), address), 1) << Printable(address);
        }
        expected += Listing(order) + c.verdict;
    }
    const ProductRun run = product.Run();
    ASSERT_TRUE(run.finished);
    EXPECT_EQ(run.exitCode, 0u);
    const std::wstring section = ReportSection(ReportBody(run.logText), kNameResolutionTitle);
    EXPECT_EQ(section, expected) << Printable(section);
}

INSTANTIATE_TEST_SUITE_P(
    NameResolution, NameResolutionReport,
    ::testing::Values(
        ResolutionCase{"KnownAddress", "192.0.2.10 service.zemlo.example\n", {L"192.0.2.10:443"}, L"\r\nOK"},
        ResolutionCase{"KnownAddressBesideOthers",
                       "203.0.113.9 service.zemlo.example\n2001:db8::7 service.zemlo.example\n"
                       "198.51.100.20 service.zemlo.example\n",
                       {L"203.0.113.9:443", L"[2001:db8::7]:443", L"198.51.100.20:443"},
                       L"\r\nOK"},
        ResolutionCase{"OtherIpv4Only", "203.0.113.9 service.zemlo.example\n", {L"203.0.113.9:443"},
                       kNotFoundWarning},
        ResolutionCase{"Ipv6Only", "2001:db8::7 service.zemlo.example\n", {L"[2001:db8::7]:443"}, kNotFoundWarning},
        ResolutionCase{"DoesNotResolve", "", {}, L""}),
    [](const auto& info) { return std::string(info.param.name); });

}  // namespace
