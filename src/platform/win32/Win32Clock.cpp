#include "platform/win32/Win32Clock.h"

#include "platform/win32/WinApi.h"
#include "platform/win32/WinText.h"

namespace zc::win32 {

namespace {

SYSTEMTIME ToSystemTime(const LocalDateTime& when) {
    SYSTEMTIME t{};
    t.wYear = static_cast<WORD>(when.year);
    t.wMonth = static_cast<WORD>(when.month);
    t.wDay = static_cast<WORD>(when.day);
    t.wHour = static_cast<WORD>(when.hour);
    t.wMinute = static_cast<WORD>(when.minute);
    t.wSecond = static_cast<WORD>(when.second);
    // The day of the week, for formats that show it.
    FILETIME ft{};
    if (::SystemTimeToFileTime(&t, &ft)) ::FileTimeToSystemTime(&ft, &t);
    return t;
}

}  // namespace

LocalDateTime Win32Clock::Now() {
    SYSTEMTIME t{};
    ::GetLocalTime(&t);
    return LocalDateTime{t.wYear, t.wMonth, t.wDay, t.wHour, t.wMinute, t.wSecond};
}

std::string Win32Clock::ShortDate(const LocalDateTime& when) {
    SYSTEMTIME t = ToSystemTime(when);
    char text[128] = {};
    if (!::GetDateFormatA(LOCALE_USER_DEFAULT, DATE_SHORTDATE, &t, nullptr, text, sizeof text)) return {};
    return FromAnsi(text);
}

std::string Win32Clock::LongTime(const LocalDateTime& when) {
    SYSTEMTIME t = ToSystemTime(when);
    char text[128] = {};
    if (!::GetTimeFormatA(LOCALE_USER_DEFAULT, 0, &t, nullptr, text, sizeof text)) return {};
    return FromAnsi(text);
}

}  // namespace zc::win32
