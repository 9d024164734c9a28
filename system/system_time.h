#pragma once

#include <windows.h>

// The validity period of the service host's certificate that the program
// carries (the first record of ServiceChainBlob): a clock outside it makes
// every chain check fail. Tests prove them equal to the certificate's dates.
constexpr SYSTEMTIME kServiceCertNotBefore = {2026, 12, 2 /* Tuesday */, 1, 0, 0, 0, 0};
constexpr SYSTEMTIME kServiceCertNotAfter = {2028, 11, 4 /* Thursday */, 30, 23, 59, 59, 0};

// Prints the current UTC time and judges it against the certificate's window.
void CheckSystemTime();

// Prints `now` and the verdict: OK only when `now` lies strictly inside the
// window (both bounds excluded).
void ReportSystemTime(const SYSTEMTIME& now, const SYSTEMTIME& windowStart, const SYSTEMTIME& windowEnd);
