#pragma once

// The report's sections and their parsers, one row each in report order in
// kSectionParsers: the section, its check, how its title line opens it and
// how it reads a line inside it. A title may carry facts (the Windows
// version line does); a parser sets the record's facts from the lines it
// accepts and returns false for a line it does not know.

#include <cstddef>
#include <cstdint>
#include <iterator>
#include <string>
#include <string_view>
#include <vector>

#include "triage/report/hosts_frame.h"
#include "triage/report/record.h"

namespace triage {

enum class Section {
    None,  // between banners, or before the first section of a capture
    User,
    Fix,
    Os,
    Product,
    Clock,
    Sha2,
    RootAutoUpdate,
    Proxy,
    Hosts,
    Dns,
    ChainCurrentUser,
    ChainLocalMachine,
    Prompt,
    AfterEnd,
};

// What the parsers of one run keep between its lines.
struct SectionState {
    explicit SectionState(RunRecord& record) : run(record) {}
    RunRecord& run;
    Section section = Section::None;  // the section the next line belongs to
    std::vector<std::string> fields;  // the matched conversions of the last line
    int proxyKey = -1;                // the proxy key the lines belong to
    enum class ChainPart { None, Trust, Policy } chainPart = ChainPart::None;
    std::size_t maxHostsBytes = 64 * 1024;
    HostsFrame hostsFrame;
};

using TitleOpens = bool (*)(std::string_view line, SectionState& state);
using LineReads = bool (*)(std::string_view line, SectionState& state);

struct SectionParser {
    Section section;
    bool hasCheck;
    Check check;
    TitleOpens opens;  // nullptr: the reader itself enters the section
    LineReads reads;   // nullptr: no lines of its own
};

// identity_sections.cpp: the user, /fix, Windows and product lines.
bool OpensUser(std::string_view line, SectionState& state);
bool OpensFix(std::string_view line, SectionState& state);
bool ReadsFix(std::string_view line, SectionState& state);
bool OpensOs(std::string_view line, SectionState& state);
bool ReadsOs(std::string_view line, SectionState& state);
bool OpensProduct(std::string_view line, SectionState& state);
// A line a console window shows first of a run.
bool StartsConsoleRun(std::string_view line);

// verdict_sections.cpp: the clock, SHA-2 and root auto update.
bool OpensClock(std::string_view line, SectionState& state);
bool ReadsClock(std::string_view line, SectionState& state);
bool OpensSha2(std::string_view line, SectionState& state);
bool ReadsSha2(std::string_view line, SectionState& state);
bool OpensRootAutoUpdate(std::string_view line, SectionState& state);
bool ReadsRootAutoUpdate(std::string_view line, SectionState& state);

// proxy_section.cpp
bool OpensProxy(std::string_view line, SectionState& state);
bool ReadsProxy(std::string_view line, SectionState& state);

// hosts_section.cpp
bool OpensHosts(std::string_view line, SectionState& state);
bool ReadsHosts(std::string_view line, SectionState& state);

// resolver_section.cpp
bool OpensDns(std::string_view line, SectionState& state);
bool ReadsDns(std::string_view line, SectionState& state);
bool IsResolverTitle(std::string_view line);
bool OpensResolverSection(std::string_view line);  // what its section starts with

// chain_section.cpp: the two verify chain sections and the prompt.
bool OpensChainCurrentUser(std::string_view line, SectionState& state);
bool OpensChainLocalMachine(std::string_view line, SectionState& state);
bool ReadsChain(std::string_view line, SectionState& state);
bool IsChainTitle(std::string_view line);
bool OpensPrompt(std::string_view line, SectionState& state);

// One row per section, in report order (the enum's).
inline constexpr SectionParser kSectionParsers[] = {
    {Section::None, false, Check::Os, nullptr, nullptr},
    {Section::User, false, Check::Os, OpensUser, nullptr},
    {Section::Fix, true, Check::Fix, OpensFix, ReadsFix},
    {Section::Os, true, Check::Os, OpensOs, ReadsOs},
    {Section::Product, true, Check::Product, OpensProduct, nullptr},
    {Section::Clock, true, Check::Clock, OpensClock, ReadsClock},
    {Section::Sha2, true, Check::Sha2, OpensSha2, ReadsSha2},
    {Section::RootAutoUpdate, true, Check::RootAutoUpdate, OpensRootAutoUpdate, ReadsRootAutoUpdate},
    {Section::Proxy, true, Check::Proxy, OpensProxy, ReadsProxy},
    {Section::Hosts, true, Check::Hosts, OpensHosts, ReadsHosts},
    {Section::Dns, true, Check::Dns, OpensDns, ReadsDns},
    {Section::ChainCurrentUser, true, Check::ChainCurrentUser, OpensChainCurrentUser, ReadsChain},
    {Section::ChainLocalMachine, true, Check::ChainLocalMachine, OpensChainLocalMachine, ReadsChain},
    {Section::Prompt, false, Check::Os, OpensPrompt, nullptr},
    {Section::AfterEnd, false, Check::Os, nullptr, nullptr},
};

constexpr bool ParsersInEnumOrder()
{
    for (std::size_t i = 0; i < std::size(kSectionParsers); ++i) {
        if (static_cast<std::size_t>(kSectionParsers[i].section) != i)
            return false;
    }
    return std::size(kSectionParsers) == static_cast<std::size_t>(Section::AfterEnd) + 1;
}
static_assert(ParsersInEnumOrder(), "kSectionParsers holds one row per Section, in the enum's order");

constexpr const SectionParser& ParserOf(Section section)
{
    return kSectionParsers[static_cast<std::size_t>(section)];
}

}  // namespace triage
