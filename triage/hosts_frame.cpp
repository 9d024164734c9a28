#include "triage/hosts_frame.h"

#include "log/report_texts.h"
#include "triage/report_lines.h"
#include "triage/section_parser.h"

namespace triage {

namespace {

const std::string& Rule()
{
    static const std::string rule = FixedLine(kHostsRule);
    return rule;
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
}

HostsFrame::Step HostsFrame::Take(std::string_view line, std::uint64_t number)
{
    const bool banner = IsBanner(line);
    if (held_) {
        HeldLine title = std::move(*held_);
        held_.reset();
        if (banner || OpensResolverSection(line)) {
            held_ = std::move(title);  // handed back by Close()
            return Step::EndedAtHeld;
        }
        Keep(title.text);
    }
    if (banner) {
        // A run cut short inside the frame: the banner's own rule is no file text.
        while (!tail_.empty() && (tail_.back().empty() || tail_.back() == Lines().bannerRule))
            tail_.pop_back();
        Finish();
        return Step::Ended;
    }
    const bool afterRule = tail_.size() >= 2 && tail_[tail_.size() - 2] == Rule() && tail_.back().empty();
    if (afterRule) {
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
    Keep(line);
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

void HostsFrame::Keep(std::string_view line)
{
    tail_.emplace_back(line);
    if (tail_.size() > 2) {
        Append(tail_.front());
        tail_.erase(tail_.begin());
    }
}

// The frame ends with its rule; whatever stands before it is the file.
void HostsFrame::Finish()
{
    while (!tail_.empty() && tail_.back().empty())
        tail_.pop_back();
    if (!tail_.empty() && tail_.back() == Rule())
        tail_.pop_back();
    for (const std::string& line : tail_)
        Append(line);
    tail_.clear();
    hosts_ = nullptr;
}

// The file's lines as it holds them: a line break between two lines, and one
// at the end when the file ended with one (an empty last line).
void HostsFrame::Append(const std::string& line)
{
    std::string& content = *hosts_->content;
    if (lines_ > 0 && bytes_ + line.size() + 1 <= maxBytes_) {
        content.push_back('\n');
    } else if (lines_ > 0) {
        hosts_->contentCut = true;
        return;
    }
    ++lines_;
    if (bytes_ + line.size() + 1 > maxBytes_) {
        hosts_->contentCut = true;
        return;
    }
    content.append(line);
    bytes_ += line.size() + 1;
}

}  // namespace triage
