// Each section parser on the lines the diagnostic prints, read as that
// section (ReadAsSection): the facts it sets, and the lines it leaves
// unrecognised. Rows are named; a failing row says which.

#include <gtest/gtest.h>

#include <cstdio>

#include "certs/chain_codes.h"
#include "triage/report/format_match.h"
#include "triage/output/outputs.h"
#include "triage/report/report_reader.h"
#include "triage/report/section_parser.h"
#include "triage/test_support.h"

namespace triage {
namespace {

using nlohmann::ordered_json;

// A decoded status row as the diagnostic prints it from its table.
template <std::size_t Rows>
std::string DecodedRow(const CodeText (&table)[Rows], std::uint32_t code)
{
    char hex[16];
    std::snprintf(hex, sizeof hex, "0x%08x", code);
    return std::string("\t\t") + hex + ": " + ToUtf8(FindCodeText(table, code));
}

struct SectionCase {
    const char* name;
    Section section;
    std::vector<std::string> lines;
    const char* expected;  // the part of the record's JSON the lines set
    std::vector<std::uint64_t> unrecognised;
};

TEST(SectionParsers, EachSetsItsFactsFromTheLinesItKnows)
{
    const std::string untrustedRootRow = DecodedRow(kTrustStatusBits, CERT_TRUST_IS_UNTRUSTED_ROOT);
    const std::string revokedRow = DecodedRow(kTrustStatusBits, CERT_TRUST_IS_REVOKED);
    const std::string untrustedPolicyRow = DecodedRow(kPolicyStatusCodes, PlatformCode(CERT_E_UNTRUSTEDROOT));
    const SectionCase cases[] = {
        {"fix imported", Section::Fix,
         {"Subject: CN = thawte Primary Root CA - G3, OU = (c) 2008 thawte, Inc. - For authorized use only, OU = "
          "Certification Services Division, O = thawte, Inc., C = US",
          "Certificate successfully imported", "Test after import"},
         R"({"fix": {"imported": true}})", {}},
        {"fix refused by the store", Section::Fix, {"Error: CertAddCertificateContextToStore returned error 5"},
         R"({"fix": {"imported": false, "error": "Error: CertAddCertificateContextToStore returned error 5"}})", {}},
        {"clock invalid", Section::Clock, {"Error: Windows has invalid system time"},
         R"({"clock": {"utc": null, "ok": false}})", {}},
        {"sha2 refused", Section::Sha2, {"Error: System does not support SHA2"},
         R"({"sha2": {"ok": false, "error": "Error: System does not support SHA2"}})", {}},
        {"sha2 provider error then something else", Section::Sha2,
         {"Error: CryptAcquireContext failed with error gle: 0x80090016", "OK?"},
         R"({"sha2": {"ok": false, "error": "Error: CryptAcquireContext failed with error gle: 0x80090016"}})", {2}},
        {"root update off stays off", Section::RootAutoUpdate,
         {"Error: SOFTWARE\\Policies\\Microsoft\\SystemCertificates\\AuthRoot\\DisableRootAutoUpdate [0x00000001] "
          "disables certificate auto update",
          "SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Setup\\OC Manager\\Subcomponents\\rootautoupdate is enabled "
          "- OK"},
         R"({"root_auto_update": {"ok": false, "policy": 1, "component": 1}})", {}},
        {"root update component off", Section::RootAutoUpdate,
         {"SOFTWARE\\Policies\\Microsoft\\SystemCertificates\\AuthRoot\\DisableRootAutoUpdate does not disables "
          "certificate auto update - OK",
          "Error: SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Setup\\OC Manager\\Subcomponents\\rootautoupdate "
          "[0x00000000] disables certificate auto update",
          " Try to enable 'Update Root Certificates' component in"},
         R"({"root_auto_update": {"ok": false, "policy": 0, "component": 0}})", {}},
        {"proxy keys in order of appearance", Section::Proxy,
         {"           @ProxyServer=\"orphan:1\"",
          "Warning: HKLM\\SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Internet Settings",
          "           @ProxyEnable=1", "           @ProxyServer=\"proxy.corp.example:8080\"",
          "Info: HKLM\\SOFTWARE\\Policies\\Microsoft\\Windows\\CurrentVersion\\Internet Settings",
          "           @ProxySettingsPerUser=0 (something the diagnostic never says)",
          "Warning: HKLM\\SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Internet Settings",
          "           @ProxyOverride=\"<local>\"",
          "Error: Cannot open key HKU\\S-1-5-18\\Software [gle:0x00000002]"},
         R"({"proxy": {"ok": false, "keys": [
             {"key": "HKLM\\SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Internet Settings", "ProxyEnable": 1,
              "ProxySettingsPerUser": null, "ProxyServer": "proxy.corp.example:8080", "ProxyOverride": "<local>"},
             {"key": "HKLM\\SOFTWARE\\Policies\\Microsoft\\Windows\\CurrentVersion\\Internet Settings",
              "ProxyEnable": null, "ProxySettingsPerUser": 0, "ProxyServer": null, "ProxyOverride": null}],
             "errors": ["Error: Cannot open key HKU\\S-1-5-18\\Software [gle:0x00000002]"]}})",
         {1, 6}},
        {"a remark after a short key line continues nothing", Section::Proxy,
         {"Info: HKCU\\SOFTWARE\\x", "Thanks, Anna"},
         R"({"proxy": {"keys": [{"key": "HKCU\\SOFTWARE\\x", "ProxyEnable": null, "ProxySettingsPerUser": null,
             "ProxyServer": null, "ProxyOverride": null}]}})",
         {2}},
        {"hosts names and the first error", Section::Hosts,
         {"error: service.zemlo.example in hosts detected!", "warning: zemlo.example in hosts detected!",
          "error: Cannot open file 'C:\\a'", "error: Out of memory", "=================="},
         R"({"hosts": {"ok": false, "found": ["service.zemlo.example", "zemlo.example"],
             "error": "error: Cannot open file 'C:\\a'", "content": ""}})",
         {}},
        {"hosts rule without a name found", Section::Hosts, {"==================", "OK"},
         R"({"hosts": {"ok": true, "found": [], "content": null}})", {1}},
        {"resolver records", Section::Dns,
         {"  0: Flags: 0x0, Family: AF_INET6 (IPv6)  IPv6 address [2001:db8::10]:443, Socket type: SOCK_STREAM "
          "(stream), Protocol: Unspecified, Length of sockaddr: 28",
          "  1: Flags: 0x0, Family: AF_INET (IPv4) IPv4 address 198.51.100.20:443, Socket type: SOCK_STREAM (stream)",
          "OK"},
         R"({"dns": {"ok": true, "addresses": ["[2001:db8::10]:443", "198.51.100.20:443"], "error_code": null}})",
         {}},
        {"resolver unknown address", Section::Dns,
         {"Warning: did not find known ip address of service.zemlo.example",
          "\tThere were expected one of following ip: 192.0.2.10, 198.51.100.20"},
         R"({"dns": {"ok": false, "addresses": []}})", {}},
        {"resolver failure", Section::Dns, {"error: GetAddrInfoW failed with code 11001 (0x00002af9)"},
         R"({"dns": {"ok": null, "error_code": 11001}})", {}},
        {"chain rows only under their own status", Section::ChainCurrentUser,
         {"Problem detected!", "\tDiagnostic info for developers:", "\tLastApiError: 0x00000005",
          "\tFaulting function: 0", "\tchainTrust: 0x00000020", untrustedRootRow, revokedRow,
          "\tchainPolicyStatus: 0x800b0109", untrustedPolicyRow, untrustedRootRow},
         R"({"chain": {"CurrentUser": {"ok": false, "last_api_error": 5, "faulting_step": 0, "trust_status": 32,
             "policy_status": 2148204809}, "LocalMachine": {"ok": null}}})",
         {7, 10}},
        {"chain step named wrongly", Section::ChainLocalMachine,
         {"Problem detected!", "\tFaulting function: 1 ( CertOpenStore )", "\tFaulting function: 1 ( Elsewhere )"},
         R"({"chain": {"CurrentUser": {"ok": null}, "LocalMachine": {"ok": false, "faulting_step": 1}}})", {3}},
        {"a log write error is known in any section", Section::Clock,
         {"OK", "Cannot write to file (gle: 0x00000070)", "Cannot write to a file"}, R"({"clock": {"ok": true}})",
         {3}},
    };
    for (const SectionCase& c : cases) {
        const RunRecord record = ReadAsSection(c.section, c.lines);
        EXPECT_EQ(testing::Mismatch(RecordJson(record), ordered_json::parse(c.expected)), "") << c.name;
        std::vector<std::uint64_t> unrecognised;
        for (const Unrecognised& line : record.unrecognised)
            unrecognised.push_back(line.line);
        EXPECT_EQ(unrecognised, c.unrecognised) << c.name;
    }
    const RunRecord compatibility = ReadAsSection(
        Section::Os, {"Error: Probably application compatibility is set or inherited from parent process (platformID = 1)"});
    EXPECT_EQ(compatibility.os.platformError, 1);
    EXPECT_TRUE(compatibility.unrecognised.empty());
}

}  // namespace
}  // namespace triage
