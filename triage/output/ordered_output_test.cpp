// Two files read at once: the second writes past the flush size while the
// first is still being read, yet the output keeps the files' order.

#include <gtest/gtest.h>

#include <chrono>
#include <future>
#include <sstream>
#include <stdexcept>

#include "triage/output/ordered_output.h"

namespace triage {
namespace {

TEST(OrderedOutput, FollowsTheFilesOrderPastAFlush)
{
    std::promise<void> secondPastFlush;
    std::shared_future<void> secondWaits = secondPastFlush.get_future().share();
    std::promise<void> secondDone;
    std::shared_future<void> secondReturns = secondDone.get_future().share();
    std::string secondText;
    for (int i = 0; secondText.size() <= 3 * kFlushBytes; ++i)
        secondText += "second line " + std::to_string(i) + "\n";

    InputWalker walker({"first.txt", "second.txt"});
    std::ostringstream out;
    std::ostringstream errors;
    const bool allRead = ReadInOrder(walker, 2, out, errors, [&](const std::string& path, FileText& text) {
        if (path == "first.txt") {
            // Still reading while the second file has more than a flush to write.
            if (secondWaits.wait_for(std::chrono::seconds(20)) != std::future_status::ready)
                return FileDone{"the second file never got past a flush", {}};
            // The second file must now wait for this one: it cannot finish.
            if (secondReturns.wait_for(std::chrono::milliseconds(500)) == std::future_status::ready)
                return FileDone{"the second file wrote everything before its turn", {}};
            text.Out() << "first\n";
            return FileDone{"cannot open: sentinel", {}};
        }
        std::size_t at = 0;
        while (at < secondText.size()) {
            const std::size_t end = secondText.find('\n', at) + 1;
            text.Out() << secondText.substr(at, end - at);
            if (at <= kFlushBytes && end > kFlushBytes)
                secondPastFlush.set_value();
            at = end;
            text.FlushWhenItsTurn();
        }
        secondDone.set_value();
        return FileDone{};
    });
    EXPECT_FALSE(allRead);
    const std::string written = out.str();
    EXPECT_TRUE(written == "first\n" + secondText)
        << written.size() << " bytes beginning \"" << written.substr(0, 20) << "\"";
    EXPECT_EQ(errors.str(), "zemlotriage: first.txt: cannot open: sentinel\n");
}

// A file whose reading or writing fails is its own error line; the files
// after it are still read and written, in order.
TEST(OrderedOutput, OneFilesFailureIsItsOwnError)
{
    InputWalker walker({"a.txt", "broken.txt", "c.txt"});
    std::ostringstream out;
    std::ostringstream errors;
    const bool allRead = ReadInOrder(walker, 2, out, errors, [](const std::string& path, FileText& text) {
        text.Out() << path << "\n";
        if (path == "broken.txt")
            throw std::length_error("basic_string::_M_create");
        return FileDone{};
    });
    EXPECT_FALSE(allRead);
    EXPECT_EQ(out.str(), "a.txt\nbroken.txt\nc.txt\n");
    EXPECT_EQ(errors.str(), "zemlotriage: broken.txt: stopped by an internal error: basic_string::_M_create\n");
}

}  // namespace
}  // namespace triage
