#include "triage/output/ordered_output.h"

#include <algorithm>
#include <condition_variable>
#include <map>
#include <mutex>
#include <optional>
#include <thread>
#include <vector>

namespace triage {

namespace {

constexpr std::size_t kWindow = 64;  // files ahead of the one written next

struct Finished {
    std::string text;
    FileDone done;
};

}  // namespace

struct OrderedShared {
    std::ostream& out;
    std::size_t flushBytes;
    std::mutex mutex;
    std::condition_variable changed;
    std::size_t written = 0;  // files whose output is out
};

void FileText::FlushWhenItsTurn()
{
    if (text_.tellp() < static_cast<std::streamoff>(shared_.flushBytes))
        return;
    std::unique_lock<std::mutex> lock(shared_.mutex);
    shared_.changed.wait(lock, [&] { return shared_.written == index_; });
    lock.unlock();
    shared_.out << text_.str();
    text_.str({});
}

bool ReadInOrder(InputWalker& walker, unsigned jobs, std::ostream& out, std::ostream& errors, const FileJob& job,
                 std::size_t flushBytes)
{
    OrderedShared shared{out, flushBytes, {}, {}, 0};
    std::map<std::size_t, Finished> finished;  // not yet written
    std::size_t handedOut = 0;
    bool exhausted = false;
    bool anyFailed = false;
    std::vector<std::string> walkErrors;

    auto work = [&] {
        while (true) {
            std::size_t index;
            std::string path;
            {
                std::unique_lock<std::mutex> lock(shared.mutex);
                shared.changed.wait(lock, [&] { return exhausted || handedOut - shared.written < kWindow; });
                if (exhausted)
                    return;
                // Written by the writing thread, the only one that writes errors.
                const std::size_t errorsBefore = walkErrors.size();
                std::optional<std::string> next = walker.Next(&walkErrors);
                anyFailed = anyFailed || walkErrors.size() > errorsBefore;
                if (!next) {
                    exhausted = true;
                    shared.changed.notify_all();
                    return;
                }
                index = handedOut++;
                path = std::move(*next);
            }
            FileText text(shared, index);
            Finished result;
            try {
                result.done = job(path, text);
            } catch (const std::exception& error) {
                // One file's failure is its own error line; the others go on.
                result.done.error = std::string("stopped by an internal error: ") + error.what();
            }
            result.text = text.text_.str();
            if (!result.done.error.empty() && !result.done.named)
                result.done.error = path + ": " + result.done.error;
            std::lock_guard<std::mutex> lock(shared.mutex);
            finished.emplace(index, std::move(result));
            shared.changed.notify_all();
        }
    };

    std::vector<std::thread> workers;
    for (unsigned i = 0; i < jobs; ++i)
        workers.emplace_back(work);
    {
        std::unique_lock<std::mutex> lock(shared.mutex);
        while (true) {
            shared.changed.wait(lock, [&] {
                return finished.count(shared.written) > 0 || (exhausted && shared.written == handedOut);
            });
            for (const std::string& error : walkErrors)
                errors << "zemlotriage: " << error << "\n";
            walkErrors.clear();
            const auto next = finished.find(shared.written);
            if (next == finished.end())
                break;
            Finished result = std::move(next->second);
            finished.erase(next);
            lock.unlock();
            out << result.text;
            for (std::size_t start = 0; start < result.done.error.size();) {
                const std::size_t end = std::min(result.done.error.find('\n', start), result.done.error.size());
                errors << "zemlotriage: " << result.done.error.substr(start, end - start) << "\n";
                start = end + 1;
            }
            if (result.done.inOrder)
                result.done.inOrder();
            lock.lock();
            // Counted once written: a later file may write its own output now.
            ++shared.written;
            shared.changed.notify_all();
            anyFailed = anyFailed || !result.done.error.empty();
        }
    }
    for (std::thread& worker : workers)
        worker.join();
    return !anyFailed;
}

}  // namespace triage
