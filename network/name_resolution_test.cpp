// The resolver answer's listing and verdict over hand-built record lists.

#include "network/name_resolution.h"

#include <gtest/gtest.h>

#include <climits>
#include <cstring>
#include <deque>
#include <string>
#include <vector>

#include "tests/harness/log_capture.h"
#include "tests/harness/report_text.h"

namespace {

constexpr int kIpv4 = AF_INET;
constexpr int kIpv6 = AF_INET6;

struct Record {
    int family;
    const char* address;  // IPv4 or IPv6 text
    int socktype = SOCK_STREAM;
    int protocol = 0;
    int flags = 0;
    const wchar_t* canonicalName = nullptr;
    int addressFamily = -1;  // of the socket address; -1: the record's family
};

// Owns the socket addresses and records of one hand-built answer.
class RecordList {
public:
    explicit RecordList(const std::vector<Record>& records)
    {
        for (const Record& wanted : records) {
            ADDRINFOW record = {};
            record.ai_family = wanted.family;
            record.ai_socktype = wanted.socktype;
            record.ai_protocol = wanted.protocol;
            record.ai_flags = wanted.flags;
            record.ai_canonname = const_cast<wchar_t*>(wanted.canonicalName);
            sockaddr_in6& address = addresses_.emplace_back();
            if (wanted.family == kIpv6) {
                address.sin6_family = AF_INET6;
                address.sin6_port = htons(443);
                EXPECT_EQ(inet_pton(AF_INET6, wanted.address, &address.sin6_addr), 1) << wanted.address;
                record.ai_addrlen = sizeof(sockaddr_in6);
            } else {
                sockaddr_in ipv4 = {};
                ipv4.sin_family = static_cast<ADDRESS_FAMILY>(wanted.addressFamily < 0 ? AF_INET : wanted.addressFamily);
                ipv4.sin_port = htons(443);
                EXPECT_EQ(inet_pton(AF_INET, wanted.address, &ipv4.sin_addr), 1) << wanted.address;
                std::memcpy(&address, &ipv4, sizeof(ipv4));
                record.ai_addrlen = sizeof(sockaddr_in);
            }
            record.ai_addr = reinterpret_cast<sockaddr*>(&address);
            records_.push_back(record);
        }
        for (size_t at = 0; at + 1 < records_.size(); ++at)
            records_[at].ai_next = &records_[at + 1];
    }
    const ADDRINFOW* Head() const { return records_.empty() ? nullptr : &records_.front(); }

private:
    std::deque<sockaddr_in6> addresses_;  // stable addresses while growing
    std::deque<ADDRINFOW> records_;
};

const std::wstring kNotFoundWarning =
    L"warning: \r\nWarning: did not find known ip address of service.zemlo.example\r\n"
    L"\tThere were expected one of following ip: 192.0.2.10, 198.51.100.20";

TEST(AddressRecords, EveryRecordIsListedAndOnlyIpv4IsCompared)
{
    const ScopedWinsock winsock;
    ASSERT_EQ(winsock.StartupResult(), 0);
    struct Case {
        const char* name;
        std::vector<Record> records;
        bool found;
        std::wstring listing;
    };
    const Case cases[] = {
        {"known address first",
         {{kIpv4, "192.0.2.10"}, {kIpv4, "203.0.113.7"}},
         true,
         L"\r\n  0: Flags: 0x0, Family: AF_INET (IPv4) IPv4 address 192.0.2.10:443, Socket type: SOCK_STREAM (stream), "
         L"Protocol: Unspecified, Length of sockaddr: 16"
         L"\r\n  1: Flags: 0x0, Family: AF_INET (IPv4) IPv4 address 203.0.113.7:443, Socket type: SOCK_STREAM (stream), "
         L"Protocol: Unspecified, Length of sockaddr: 16"},
        {"second known address last, after others",
         {{kIpv4, "203.0.113.7"}, {kIpv6, "2001:db8::5"}, {kIpv4, "198.51.100.20", SOCK_STREAM, IPPROTO_TCP}},
         true,
         L"\r\n  0: Flags: 0x0, Family: AF_INET (IPv4) IPv4 address 203.0.113.7:443, Socket type: SOCK_STREAM (stream), "
         L"Protocol: Unspecified, Length of sockaddr: 16"
         L"\r\n  1: Flags: 0x0, Family: AF_INET6 (IPv6)  IPv6 address [2001:db8::5]:443, Socket type: SOCK_STREAM "
         L"(stream), Protocol: Unspecified, Length of sockaddr: 28"
         L"\r\n  2: Flags: 0x0, Family: AF_INET (IPv4) IPv4 address 198.51.100.20:443, Socket type: SOCK_STREAM "
         L"(stream), Protocol: IPPROTO_TCP (TCP), Length of sockaddr: 16"},
        {"IPv6 only, even one that embeds a known address",
         {{kIpv6, "::ffff:192.0.2.10"}},
         false,
         L"\r\n  0: Flags: 0x0, Family: AF_INET6 (IPv6)  IPv6 address [::ffff:192.0.2.10]:443, Socket type: "
         L"SOCK_STREAM (stream), Protocol: Unspecified, Length of sockaddr: 28"},
        {"other IPv4 only",
         {{kIpv4, "192.0.2.11"}, {kIpv4, "10.198.51.100"}},
         false,
         L"\r\n  0: Flags: 0x0, Family: AF_INET (IPv4) IPv4 address 192.0.2.11:443, Socket type: SOCK_STREAM (stream), "
         L"Protocol: Unspecified, Length of sockaddr: 16"
         L"\r\n  1: Flags: 0x0, Family: AF_INET (IPv4) IPv4 address 10.198.51.100:443, Socket type: SOCK_STREAM "
         L"(stream), Protocol: Unspecified, Length of sockaddr: 16"},
        {"every table row and the Other rows",
         {{AF_UNSPEC, "0.0.0.0", 0, 0, 0x4},
          {kIpv4, "203.0.113.1", SOCK_DGRAM, IPPROTO_UDP},
          {kIpv4, "203.0.113.2", SOCK_RAW, 99},
          {kIpv4, "203.0.113.3", SOCK_RDM, -1},
          {kIpv4, "203.0.113.4", SOCK_SEQPACKET, 0},
          {99, "203.0.113.5", 6, 0},
          {kIpv4, "203.0.113.6", -2, 0, INT_MIN}},
         false,
         L"\r\n  0: Flags: 0x4, Family: Unspecified, Socket type: Unspecified, Protocol: Unspecified, "
         L"Length of sockaddr: 16"
         L"\r\n  1: Flags: 0x0, Family: AF_INET (IPv4) IPv4 address 203.0.113.1:443, Socket type: SOCK_DGRAM "
         L"(datagram), Protocol: IPPROTO_UDP (UDP), Length of sockaddr: 16"
         L"\r\n  2: Flags: 0x0, Family: AF_INET (IPv4) IPv4 address 203.0.113.2:443, Socket type: SOCK_RAW (raw), "
         L"Protocol: Other 99, Length of sockaddr: 16"
         L"\r\n  3: Flags: 0x0, Family: AF_INET (IPv4) IPv4 address 203.0.113.3:443, Socket type: SOCK_RDM (reliable "
         L"message datagram), Protocol: Other -1, Length of sockaddr: 16"
         L"\r\n  4: Flags: 0x0, Family: AF_INET (IPv4) IPv4 address 203.0.113.4:443, Socket type: SOCK_SEQPACKET "
         L"(pseudo-stream packet), Protocol: Unspecified, Length of sockaddr: 16"
         L"\r\n  5: Flags: 0x0, Family: Other 99, Socket type: Other 6, Protocol: Unspecified, Length of sockaddr: 16"
         L"\r\n  6: Flags: 0x80000000, Family: AF_INET (IPv4) IPv4 address 203.0.113.6:443, Socket type: Other -2, "
         L"Protocol: Unspecified, Length of sockaddr: 16"},
        {"canonical name",
         {{kIpv4, "198.51.100.20", SOCK_STREAM, 0, 0x2, L"edge.zemlo.example"}},
         true,
         L"\r\n  0: Flags: 0x2, Family: AF_INET (IPv4) IPv4 address 198.51.100.20:443, Socket type: SOCK_STREAM "
         L"(stream), Protocol: Unspecified, Length of sockaddr: 16, Canonical name: edge.zemlo.example"},
        {"an address that cannot be converted is not compared",
         {{kIpv4, "192.0.2.10", SOCK_STREAM, 0, 0, nullptr, 99}},
         false,
         L"\r\n  0: Flags: 0x0, Family: AF_INET (IPv4)error: \r\nerror: WSAAddressToString failed with 10022\r\n"
         L", Socket type: SOCK_STREAM (stream), Protocol: Unspecified, Length of sockaddr: 16"},
        {"no records", {}, false, L""},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        const RecordList list(c.records);
        CapturedRunLog log;
        ASSERT_TRUE(log.IsOpen());
        EXPECT_EQ(ReportAddressRecords(list.Head()), c.found);
        const std::wstring report = log.Text();
        EXPECT_EQ(report, c.listing) << Printable(report);
    }
}

TEST(AddressRecords, IndexCountsFromZeroInThreeColumns)
{
    const RecordList list(std::vector<Record>(11, Record{AF_UNSPEC, "0.0.0.0"}));
    std::wstring expected;
    for (const wchar_t* index : {L"  0", L"  1", L"  2", L"  3", L"  4", L"  5", L"  6", L"  7", L"  8", L"  9", L" 10"}) {
        expected += std::wstring(L"\r\n") + index +
                    L": Flags: 0x0, Family: Unspecified, Socket type: SOCK_STREAM (stream), Protocol: Unspecified, "
                    L"Length of sockaddr: 16";
    }
    CapturedRunLog log;
    ASSERT_TRUE(log.IsOpen());
    ReportAddressRecords(list.Head());
    const std::wstring report = log.Text();
    EXPECT_EQ(report, expected) << Printable(report);
}

TEST(ResolutionVerdict, OkOrTheWarningNamingBothKnownAddresses)
{
    {
        CapturedRunLog log;
        ASSERT_TRUE(log.IsOpen());
        ReportResolutionVerdict(true);
        EXPECT_EQ(log.Text(), L"\r\nOK");
    }
    CapturedRunLog log;
    ASSERT_TRUE(log.IsOpen());
    ReportResolutionVerdict(false);
    EXPECT_EQ(log.Text(), kNotFoundWarning);
}

}  // namespace
