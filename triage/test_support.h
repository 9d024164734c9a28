#pragma once

// What the triage tests share: the golden transcripts, reading a log held in
// memory, and comparing a record with the part of it a case expects.

#include <nlohmann/json.hpp>

#include <string>
#include <utility>
#include <vector>

#include "triage/log_input.h"
#include "triage/report/record.h"

namespace triage::testing {

// A transcript of tests/golden as stored: UTF-8 with a BOM, CRLF.
std::string Golden(const std::string& name);
// A log of triage/testdata as stored.
std::string TestData(const std::string& name);
// The transcript's text without its BOM.
std::string GoldenText(const std::string& name);
// The same text with `from` replaced by `to` (each must occur).
std::string Edited(std::string text, const std::vector<std::pair<std::string, std::string>>& edits);

struct ReadResult {
    std::vector<RunRecord> runs;
    InputResult input;
};
ReadResult ReadBytes(const std::string& bytes, const ReaderOptions& options = {});

// Empty when every key of `expected` has the same value in `actual`
// (objects compared key by key, recursively); else the first difference.
std::string Mismatch(const nlohmann::ordered_json& actual, const nlohmann::ordered_json& expected,
                     const std::string& path = "");

std::vector<std::string> CauseIds(const RunRecord& record);

// UTF-8 text in another encoding, and back.
std::string Utf16Le(const std::string& utf8);
std::string Utf16Be(const std::string& utf8);
std::string Utf8FromUtf16Le(const std::string& bytes);

// `text` as the shell command leaves it (fold, iconv, expand, sed ...): the
// transformations people's tools make, made by those tools.
std::string Transformed(const std::string& text, const std::string& command);

// The log the real program wrote in `scenario` (UTF-16LE with its mark),
// kept by the whole-report tests in $TRIAGE_REAL_LOGS; without those, the
// transcript in the program's encoding.
std::string RealLog(const std::string& scenario, const std::string& transcript);

}  // namespace triage::testing
