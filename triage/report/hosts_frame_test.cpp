// The hosts frame on the lines that follow its opening rule: which lines it
// keeps as the file's, where it ends, and the text it leaves in the record.

#include <gtest/gtest.h>

#include "triage/report/hosts_frame.h"

namespace triage {
namespace {

constexpr const char* kRule = "==================";
constexpr const char* kResolverTitle = "GetAddrInfoW response test:";
constexpr const char* kRecord =
    "  0: Flags: 0x0, Family: AF_INET (IPv4) IPv4 address 203.0.113.9:443, Socket type: SOCK_STREAM (stream)";

struct FrameCase {
    const char* name;
    std::vector<std::string> lines;
    std::string steps;  // per line: K kept, H held, E ended, A ended at the held line
    const char* content;
    const char* handedBack;  // the held line Close() returns, if any
};

char StepLetter(HostsFrame::Step step)
{
    switch (step) {
    case HostsFrame::Step::Kept: return 'K';
    case HostsFrame::Step::Held: return 'H';
    case HostsFrame::Step::Ended: return 'E';
    case HostsFrame::Step::EndedAtHeld: return 'A';
    }
    return '?';
}

TEST(HostsFrame, EndsOnlyWhereTheReportGoesOn)
{
    const FrameCase cases[] = {
        {"the resolver's section follows", {"127.0.0.1 a", "", kRule, "", kResolverTitle, kRecord}, "KKKKHA",
         "127.0.0.1 a\n", kResolverTitle},
        {"the resolver's failure follows, marked",
         {"127.0.0.1 a", kRule, "", std::string(kResolverTitle) + "error: ",
          "error: GetAddrInfoW failed with code 11001 (0x00002af9)"},
         "KKKHA", "127.0.0.1 a", "GetAddrInfoW response test:error: "},
        {"the resolver's title inside the file", {kRule, "", kResolverTitle, "127.0.0.1 b", "", kRule},
         "KKHKKK", "==================\n\nGetAddrInfoW response test:\n127.0.0.1 b\n", nullptr},
        {"the title without the rule before it", {"x", kResolverTitle, kRecord}, "KKK",
         "x\nGetAddrInfoW response test:\n  0: Flags: 0x0, Family: AF_INET (IPv4) IPv4 address 203.0.113.9:443, "
         "Socket type: SOCK_STREAM (stream)",
         nullptr},
        {"a chain section follows", {"127.0.0.1 a", "", kRule, "", "Verify chain test: [CurrentUser]error: "},
         "KKKKE", "127.0.0.1 a\n", nullptr},
        {"the prompt follows", {"127.0.0.1 a", kRule, "", "Press any key to quit..."}, "KKKE", "127.0.0.1 a",
         nullptr},
        {"a banner cuts the run short", {"127.0.0.1 a", "", "###########################################",
                                         "Log start time: 2026.12.08 05:23.35"},
         "KKKE", "127.0.0.1 a", nullptr},
        {"the log ends on the held title", {"127.0.0.1 a", kRule, "", kResolverTitle}, "KKKH", "127.0.0.1 a",
         kResolverTitle},
        {"pasted: blank lines doubled", {"127.0.0.1 a", "", "", kRule, "", "", kResolverTitle, kRecord}, "KKKKKKHA",
         "127.0.0.1 a\n", kResolverTitle},
        {"the file's last line a rule, then its line break",
         {"127.0.0.1 a", "", kRule, "", kRule, "", kResolverTitle, kRecord}, "KKKKKKHA",
         "127.0.0.1 a\n\n==================\n", kResolverTitle},
        {"pasted: no blank line after the rule", {"127.0.0.1 a", kRule, "Verify chain test: [CurrentUser]"}, "KKE",
         "127.0.0.1 a", nullptr},
    };
    for (const FrameCase& c : cases) {
        HostsFacts hosts;
        HostsFrame frame;
        frame.Open(hosts, 64 * 1024);
        std::string steps;
        std::uint64_t number = 0;
        for (const std::string& line : c.lines) {
            if (!frame.IsOpen()) {
                steps += '-';  // the reader no longer asks a closed frame
                continue;
            }
            steps += StepLetter(frame.Take(line, ++number));
        }
        const std::optional<HostsFrame::HeldLine> held = frame.Close();
        EXPECT_EQ(steps, c.steps) << c.name;
        EXPECT_EQ(hosts.content.value_or("(none)"), c.content) << c.name;
        EXPECT_EQ(held ? held->text : "(none)", c.handedBack ? c.handedBack : "(none)") << c.name;
        EXPECT_FALSE(frame.IsOpen()) << c.name;
        EXPECT_FALSE(hosts.contentCut) << c.name;
    }
}

// Past the limit no later line joins the content, however short, and every
// line naming a searched name is still kept with its number in the file.
TEST(HostsFrame, KeepsWholeLinesUpToItsLimitAndEveryMatch)
{
    HostsFacts hosts;
    HostsFrame frame;
    frame.Open(hosts, 14);
    for (const char* line : {"0123456789", "abcdef", "x", "1.2.3.4 Service.Zemlo.Example", "", kRule, "", kRecord})
        frame.Take(line, 1);
    frame.Close();
    EXPECT_EQ(hosts.content, "0123456789");
    EXPECT_TRUE(hosts.contentCut);
    ASSERT_EQ(hosts.matches.size(), 1u);
    EXPECT_EQ(hosts.matches[0].line, 4u);
    EXPECT_EQ(hosts.matches[0].text, "1.2.3.4 Service.Zemlo.Example");

    // A file of exactly the limit is whole; one byte more is cut.
    for (const std::size_t limit : {17, 16}) {
        HostsFacts exact;
        HostsFrame limited;
        limited.Open(exact, limit);
        for (const char* line : {"0123456789", "abcdef", kRule, "", kResolverTitle, kRecord})
            limited.Take(line, 1);
        limited.Close();
        EXPECT_EQ(exact.content, limit == 17 ? "0123456789\nabcdef" : "0123456789") << limit;
        EXPECT_EQ(exact.contentCut, limit != 17) << limit;
    }
}

}  // namespace
}  // namespace triage
