#pragma once

// Reading files on several threads while their output keeps the order of
// the files: a file's text is written once every file before it is written.
// A file whose text grows large writes it as it goes once its turn has come,
// and waits for its turn rather than piling the text up.

#include <cstddef>
#include <functional>
#include <ostream>
#include <sstream>
#include <string>

#include "triage/input/input_walker.h"

namespace triage {

struct OrderedShared;
class FileText;

struct FileDone {
    std::string error;              // empty when the file was read whole; else one line, or
                                    // with `named` one per entry of an archive, each named
    std::function<void()> inOrder;  // run on the writing thread, in the files' order
    bool named = false;
};
using FileJob = std::function<FileDone(const std::string& path, FileText& text)>;

inline constexpr std::size_t kFlushBytes = 64 * 1024;

// Runs `job` for every file of `walker` on `jobs` threads. Errors go to
// `errors` as "zemlotriage: PATH: ERROR" in the files' order. True when
// every file was walked and read.
bool ReadInOrder(InputWalker& walker, unsigned jobs, std::ostream& out, std::ostream& errors, const FileJob& job,
                 std::size_t flushBytes = kFlushBytes);

// What one file's job writes to.
class FileText {
public:
    std::ostream& Out() { return text_; }
    // Past the flush size, waits for the file's turn and writes what it has.
    void FlushWhenItsTurn();

private:
    friend bool ReadInOrder(InputWalker&, unsigned, std::ostream&, std::ostream&, const FileJob&, std::size_t);
    FileText(OrderedShared& shared, std::size_t index) : shared_(shared), index_(index) {}
    OrderedShared& shared_;
    std::size_t index_;
    std::ostringstream text_;
};

}  // namespace triage
