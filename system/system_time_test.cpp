// The time window: its bounds against the certificate the program carries, and
// the verdict at both ends of the real window and of an older one.

#include "system/system_time.h"

#include <gtest/gtest.h>

#include <windows.h>
#include <wincrypt.h>

#include <cstdio>
#include <string>
#include <vector>

#include "certs/cert_blobs.h"
#include "tests/harness/cert_seed.h"
#include "tests/harness/log_capture.h"
#include "tests/harness/report_text.h"

namespace {

std::string Describe(const SYSTEMTIME& time)
{
    char text[64] = {};
    std::snprintf(text, sizeof(text), "%04u-%02u-%02u (day %u) %02u:%02u:%02u.%03u", time.wYear, time.wMonth,
                  time.wDay, time.wDayOfWeek, time.wHour, time.wMinute, time.wSecond, time.wMilliseconds);
    return text;
}

bool SameInstant(const SYSTEMTIME& a, const SYSTEMTIME& b)
{
    return a.wYear == b.wYear && a.wMonth == b.wMonth && a.wDayOfWeek == b.wDayOfWeek && a.wDay == b.wDay &&
           a.wHour == b.wHour && a.wMinute == b.wMinute && a.wSecond == b.wSecond &&
           a.wMilliseconds == b.wMilliseconds;
}

TEST(TimeWindowBounds, AreTheValidityOfTheEmbeddedEndEntity)
{
    const std::vector<std::string> records = CertBlobRecords(kServiceChainBlob);
    ASSERT_FALSE(records.empty());
    PCCERT_CONTEXT cert = CertCreateCertificateContext(
        X509_ASN_ENCODING, reinterpret_cast<const BYTE*>(records[0].data()), static_cast<DWORD>(records[0].size()));
    ASSERT_NE(cert, nullptr) << "gle " << GetLastError();

    wchar_t subject[256] = {};
    CertGetNameStringW(cert, CERT_NAME_SIMPLE_DISPLAY_TYPE, 0, nullptr, subject, 256);
    SYSTEMTIME notBefore = {};
    SYSTEMTIME notAfter = {};
    const bool converted = FileTimeToSystemTime(&cert->pCertInfo->NotBefore, &notBefore) &&
                           FileTimeToSystemTime(&cert->pCertInfo->NotAfter, &notAfter);
    CertFreeCertificateContext(cert);

    EXPECT_STREQ(subject, L"service.zemlo.example");
    ASSERT_TRUE(converted);
    EXPECT_TRUE(SameInstant(kServiceCertNotBefore, notBefore))
        << Describe(kServiceCertNotBefore) << " vs certificate " << Describe(notBefore);
    EXPECT_TRUE(SameInstant(kServiceCertNotAfter, notAfter))
        << Describe(kServiceCertNotAfter) << " vs certificate " << Describe(notAfter);
}

struct Window {
    const char* name;
    SYSTEMTIME start;
    SYSTEMTIME end;
};

const Window kWindows[] = {
    {"embedded certificate", kServiceCertNotBefore, kServiceCertNotAfter},
    {"2016 to 2019", {2016, 11, 1, 14, 0, 0, 0, 0}, {2019, 2, 3, 13, 23, 59, 59, 0}},
};

SYSTEMTIME WithMilliseconds(SYSTEMTIME time, WORD second, WORD milliseconds)
{
    time.wSecond = second;
    time.wMilliseconds = milliseconds;
    return time;
}

std::wstring TimeLine(const SYSTEMTIME& time)
{
    wchar_t text[64] = {};
    _snwprintf(text, 63, L"\r\nSystem time is: %04d.%02d.%02d %02d:%02d.%02d", time.wYear, time.wMonth, time.wDay,
               time.wHour, time.wMinute, time.wSecond);
    return text;
}

TEST(SystemTimeVerdict, BothBoundsAreOutsideTheWindow)
{
    const std::wstring ok = L"\r\nOK";
    const std::wstring invalid = L"error: \r\nError: Windows has invalid system time";
    for (const Window& window : kWindows) {
        const SYSTEMTIME& start = window.start;
        const SYSTEMTIME& end = window.end;
        SYSTEMTIME dayBefore = start;
        dayBefore.wDay = 1;
        dayBefore.wMonth = 1;
        SYSTEMTIME yearAfter = end;
        ++yearAfter.wYear;
        const struct {
            SYSTEMTIME now;
            const std::wstring& verdict;
        } cases[] = {
            {start, invalid},
            {WithMilliseconds(start, 0, 1), ok},
            {WithMilliseconds(end, 58, 999), ok},
            {end, invalid},
            {WithMilliseconds(end, 59, 500), invalid},
            {dayBefore, invalid},
            {yearAfter, invalid},
        };
        for (const auto& c : cases) {
            CapturedRunLog log;
            ASSERT_TRUE(log.IsOpen());
            ReportSystemTime(c.now, start, end);
            EXPECT_EQ(log.Text(), TimeLine(c.now) + c.verdict) << window.name << ": " << Describe(c.now);
        }
    }
}

TEST(SystemTimeVerdict, LineShowsTheGivenTimeWithoutMilliseconds)
{
    CapturedRunLog log;
    ASSERT_TRUE(log.IsOpen());
    ReportSystemTime({2027, 3, 2, 9, 7, 5, 3, 999}, kServiceCertNotBefore, kServiceCertNotAfter);
    EXPECT_EQ(log.Text(), L"\r\nSystem time is: 2027.03.09 07:05.03\r\nOK");
}

}  // namespace
