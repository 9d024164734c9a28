#include "triage/report/hosts_frame.h"

#include <algorithm>
#include <cctype>
#include <utility>

#include "log/report_texts.h"
#include "network/service_names.h"
#include "triage/report/report_lines.h"
#include "triage/report/section_parser.h"

namespace triage {

namespace {

constexpr std::size_t kMaxMatches = 1000;

const std::string& Rule()
{
    static const std::string rule = FixedLine(kHostsRule);
    return rule;
}

// A title of a section that follows the hosts section.
bool IsLaterTitle(std::string_view line)
{
    const std::string_view title = WithoutMark(line);
    return IsResolverTitle(title) || IsChainTitle(title) || title == Lines().prompt;
}

bool NamesSearchedName(std::string_view line)
{
    std::string lower(line);
    std::transform(lower.begin(), lower.end(), lower.begin(),
                   [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
    // The service host ends with the primary domain, so two names cover all three.
    return lower.find(kPrimaryDomainA) != std::string::npos || lower.find(kRegionalDomainA) != std::string::npos;
}

}  // namespace

void HostsFrame::Open(HostsFacts& hosts, std::size_t maxBytes)
{
    hosts_ = &hosts;
    hosts_->content.emplace();
    maxBytes_ = maxBytes;
    bytes_ = 0;
    lines_ = 0;
    tail_.clear();
    held_.reset();
    keptTitles_.clear();
}

HostsFrame::Step HostsFrame::Take(std::string_view line, std::uint64_t number)
{
    const bool banner = IsBanner(line);
    if (held_) {
        HeldLine title = std::move(*held_);
        held_.reset();
        if (banner || OpensResolverSection(line)) {
            held_ = std::move(title);  // handed back by Close()
            Finish();
            return Step::EndedAtHeld;
        }
        Flush();
        Append(title);
    }
    if (banner) {
        // A run cut short inside the frame: the banner's own rule is no file text.
        while (!tail_.empty() && (tail_.back().text.empty() || tail_.back().text == Lines().bannerRule))
            tail_.pop_back();
        Finish();
        return Step::Ended;
    }
    if (line.empty() || line == Rule() || line == Lines().bannerRule) {
        tail_.push_back({std::string(line), number});
        return Step::Kept;
    }
    if (TailEndsInRule()) {
        const std::string_view title = WithoutMark(line);
        if (IsResolverTitle(title)) {
            held_ = HeldLine{std::string(line), number};
            return Step::Held;
        }
        if (IsChainTitle(title) || title == Lines().prompt) {
            Finish();
            return Step::Ended;
        }
    }
    Flush();
    Append({std::string(line), number});
    return Step::Kept;
}

std::optional<HostsFrame::HeldLine> HostsFrame::Close()
{
    if (IsOpen())
        Finish();
    std::optional<HeldLine> held = std::move(held_);
    held_.reset();
    return held;
}

// The last non-empty line held is a rule.
bool HostsFrame::TailEndsInRule() const
{
    for (auto it = tail_.rbegin(); it != tail_.rend(); ++it) {
        if (!it->text.empty())
            return it->text == Rule();
    }
    return false;
}

void HostsFrame::Flush()
{
    for (const HeldLine& line : tail_)
        Append(line);
    tail_.clear();
}

// The frame ends with its rule; whatever stands before it is the file, which
// ended with a line break when an empty line stands before the rule (one,
// however many a paste made of it).
void HostsFrame::Finish()
{
    while (!tail_.empty() && tail_.back().text.empty())
        tail_.pop_back();
    if (!tail_.empty() && tail_.back().text == Rule()) {
        tail_.pop_back();
        while (tail_.size() >= 2 && tail_.back().text.empty() && tail_[tail_.size() - 2].text.empty())
            tail_.pop_back();
    }
    Flush();
    hosts_ = nullptr;
}

// The file's lines as it holds them: a line break between two lines, and one
// at the end when the file ended with one (an empty last line). Past the
// limit no line is added, but lines naming a searched name are still kept.
void HostsFrame::Append(const HeldLine& line)
{
    ++lines_;
    if (IsLaterTitle(line.text))
        keptTitles_.push_back(line);
    if (NamesSearchedName(line.text)) {
        if (hosts_->matches.size() < kMaxMatches)
            hosts_->matches.push_back({lines_, line.text});
        else
            hosts_->matchesCut = true;
    }
    if (hosts_->contentCut)
        return;
    const std::size_t needed = line.text.size() + (lines_ > 1 ? 1 : 0);
    if (bytes_ + needed > maxBytes_) {
        hosts_->contentCut = true;
        return;
    }
    std::string& content = *hosts_->content;
    if (lines_ > 1)
        content.push_back('\n');
    content.append(line.text);
    bytes_ += needed;
}

}  // namespace triage
