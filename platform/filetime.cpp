// File times: Windows' 100-nanosecond intervals since 1601 and calendar times.
#include "platform/fileinternal.h"

uint64_t koFileTimeOf(const struct timespec& t) {
    return (uint64_t(int64_t(t.tv_sec) + 11644473600LL) * 10000000ULL) + uint64_t(t.tv_nsec / 100);
}

FILETIME koSplitTime(uint64_t v) {
    return FILETIME{DWORD(v & 0xFFFFFFFFu), DWORD(v >> 32)};
}

BOOL FileTimeToSystemTime(const FILETIME* fileTime, LPSYSTEMTIME systemTime) {
    if (!fileTime || !systemTime) {
        koFailWindows(ERROR_INVALID_PARAMETER, crtEINVAL);
        return FALSE;
    }
    uint64_t v = (uint64_t(fileTime->dwHighDateTime) << 32) | fileTime->dwLowDateTime;
    if (v & 0x8000000000000000ULL) {
        koFailWindows(ERROR_INVALID_PARAMETER, crtEINVAL);
        return FALSE;
    }
    time_t secs = time_t(int64_t(v / 10000000ULL) - 11644473600LL);
    struct tm tm;
    if (!gmtime_r(&secs, &tm)) {
        koFailWindows(ERROR_INVALID_PARAMETER, crtEINVAL);
        return FALSE;
    }
    systemTime->wYear = WORD(tm.tm_year + 1900);
    systemTime->wMonth = WORD(tm.tm_mon + 1);
    systemTime->wDayOfWeek = WORD(tm.tm_wday);
    systemTime->wDay = WORD(tm.tm_mday);
    systemTime->wHour = WORD(tm.tm_hour);
    systemTime->wMinute = WORD(tm.tm_min);
    systemTime->wSecond = WORD(tm.tm_sec);
    systemTime->wMilliseconds = WORD((v % 10000000ULL) / 10000ULL);
    return TRUE;
}

BOOL SystemTimeToFileTime(const SYSTEMTIME* st, LPFILETIME fileTime) {
    static const int days[] = {31, 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
    if (!st || !fileTime || st->wYear < 1601 || st->wYear > 30827 || st->wMonth < 1 || st->wMonth > 12 ||
        st->wHour > 23 || st->wMinute > 59 || st->wSecond > 59 || st->wMilliseconds > 999 || st->wDay < 1) {
        koFailWindows(ERROR_INVALID_PARAMETER, crtEINVAL);
        return FALSE;
    }
    bool leap = (st->wYear % 4 == 0 && st->wYear % 100 != 0) || st->wYear % 400 == 0;
    int dim = days[st->wMonth - 1] + (st->wMonth == 2 && leap ? 1 : 0);
    if (st->wDay > dim) {
        koFailWindows(ERROR_INVALID_PARAMETER, crtEINVAL);
        return FALSE;
    }
    struct tm tm {};
    tm.tm_year = st->wYear - 1900;
    tm.tm_mon = st->wMonth - 1;
    tm.tm_mday = st->wDay;
    tm.tm_hour = st->wHour;
    tm.tm_min = st->wMinute;
    tm.tm_sec = st->wSecond;
    time_t secs = timegm(&tm);
    uint64_t v =
        uint64_t(int64_t(secs) + 11644473600LL) * 10000000ULL + uint64_t(st->wMilliseconds) * 10000ULL;
    *fileTime = koSplitTime(v);
    return TRUE;
}
