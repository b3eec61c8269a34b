#include "platform/Clock.h"

namespace zc {

std::string GeneralDate(Clock& clock, const LocalDateTime& when) {
    if (when.hour == 0 && when.minute == 0 && when.second == 0) return clock.ShortDate(when);
    return clock.ShortDate(when) + " " + clock.LongTime(when);
}

}  // namespace zc
