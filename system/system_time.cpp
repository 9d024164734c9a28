#include "system/system_time.h"

#include "log/report_texts.h"
#include "log/run_log.h"

void ReportSystemTime(const SYSTEMTIME& now, const SYSTEMTIME& windowStart, const SYSTEMTIME& windowEnd)
{
    // A time that does not convert stays zero, which lies before every window.
    FILETIME nowFileTime = {};
    FILETIME startFileTime = {};
    FILETIME endFileTime = {};
    SystemTimeToFileTime(&now, &nowFileTime);
    SystemTimeToFileTime(&windowStart, &startFileTime);
    SystemTimeToFileTime(&windowEnd, &endFileTime);

    LogPrint(kSystemTime, now.wYear, now.wMonth, now.wDay, now.wHour,
             now.wMinute, now.wSecond);
    if (CompareFileTime(&startFileTime, &nowFileTime) == -1 && CompareFileTime(&nowFileTime, &endFileTime) == -1)
        LogPrint(kOk);
    else
        LogError(kInvalidSystemTime);
}

void CheckSystemTime()
{
    // UTC: the certificate's dates are UTC, the local zone plays no part.
    SYSTEMTIME now = {};
    GetSystemTime(&now);
    ReportSystemTime(now, kServiceCertNotBefore, kServiceCertNotAfter);
}
