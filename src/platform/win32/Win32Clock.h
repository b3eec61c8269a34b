#pragma once
// The local clock and the user's regional short date and long time (GetDateFormatA and
// GetTimeFormatA with the user's default locale).
#include "platform/Clock.h"

namespace zc::win32 {

class Win32Clock : public Clock {
public:
    LocalDateTime Now() override;
    std::string ShortDate(const LocalDateTime& when) override;
    std::string LongTime(const LocalDateTime& when) override;
};

}  // namespace zc::win32
