#include "platform/posix/PosixClock.h"

#include <locale.h>
#include <time.h>

namespace zc::posix {

namespace {

// The user's time locale, whatever the process's own setlocale state is.
class TimeLocale {
public:
    TimeLocale() {
        loc_ = newlocale(LC_TIME_MASK, "", static_cast<locale_t>(0));
        if (!loc_) loc_ = newlocale(LC_TIME_MASK, "C", static_cast<locale_t>(0));
    }
    ~TimeLocale() {
        if (loc_) freelocale(loc_);
    }
    TimeLocale(const TimeLocale&) = delete;
    TimeLocale& operator=(const TimeLocale&) = delete;
    locale_t get() const { return loc_; }

private:
    locale_t loc_ = static_cast<locale_t>(0);
};

struct tm ToTm(const LocalDateTime& when) {
    struct tm t {};
    t.tm_year = when.year - 1900;
    t.tm_mon = when.month - 1;
    t.tm_mday = when.day;
    // Weekday and day of the year, for formats that show them: from the date alone.
    struct tm day = t;
    time_t dayStart = timegm(&day);
    struct tm norm {};
    if (dayStart != static_cast<time_t>(-1) && gmtime_r(&dayStart, &norm)) {
        t.tm_wday = norm.tm_wday;
        t.tm_yday = norm.tm_yday;
    }
    t.tm_hour = when.hour;
    t.tm_min = when.minute;
    t.tm_sec = when.second;
    t.tm_isdst = -1;
    return t;
}

std::string Format(const char* format, const LocalDateTime& when) {
    struct tm t = ToTm(when);
    TimeLocale loc;
    char buf[256];
    size_t n = loc.get() ? strftime_l(buf, sizeof buf, format, &t, loc.get())
                         : strftime(buf, sizeof buf, format, &t);
    return std::string(buf, n);
}

}  // namespace

LocalDateTime PosixClock::Now() {
    time_t now = time(nullptr);
    struct tm t {};
    localtime_r(&now, &t);
    return LocalDateTime{t.tm_year + 1900, t.tm_mon + 1, t.tm_mday, t.tm_hour, t.tm_min, t.tm_sec};
}

std::string PosixClock::ShortDate(const LocalDateTime& when) { return Format("%x", when); }
std::string PosixClock::LongTime(const LocalDateTime& when) { return Format("%X", when); }

}  // namespace zc::posix
