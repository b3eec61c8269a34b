#pragma once
// The local clock and the user's regional date and time formats (LC_TIME).
#include <string>

#include "platform/Clock.h"

namespace zc::posix {

class PosixClock : public Clock {
public:
    LocalDateTime Now() override;
    // strftime's "%x" and "%X" under the LC_TIME locale of the environment (LC_ALL, LC_TIME,
    // LANG), read at each call; the "C" locale when that one is not installed.
    std::string ShortDate(const LocalDateTime& when) override;
    std::string LongTime(const LocalDateTime& when) override;
};

}  // namespace zc::posix
