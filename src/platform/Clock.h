#pragma once
// The current local date and time, and the user's regional date and time formats.
#include <string>

namespace zc {

struct LocalDateTime {
    int year = 1899, month = 12, day = 30;
    int hour = 0, minute = 0, second = 0;
};

class Clock {
public:
    virtual ~Clock() = default;
    virtual LocalDateTime Now() = 0;
    virtual std::string ShortDate(const LocalDateTime& when) = 0;  // the regional short date
    virtual std::string LongTime(const LocalDateTime& when) = 0;   // the regional long time
};

// The general date form: short date and long time, or the short date alone at midnight.
std::string GeneralDate(Clock& clock, const LocalDateTime& when);

}  // namespace zc
