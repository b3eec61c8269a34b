#include <gtest/gtest.h>

#include <cstdlib>
#include <ctime>
#include <map>
#include <string>

#include "platform/posix/PosixClock.h"

namespace zc::posix {
namespace {

// Sets environment variables for one test and puts the old values back.
class ScopedEnv {
public:
    void Set(const char* name, const char* value) {
        Save(name);
        if (value) setenv(name, value, 1);
        else unsetenv(name);
    }
    ~ScopedEnv() {
        for (auto& [name, value] : saved_) {
            if (value.first) setenv(name.c_str(), value.second.c_str(), 1);
            else unsetenv(name.c_str());
        }
        tzset();
    }

private:
    void Save(const char* name) {
        if (saved_.count(name)) return;
        const char* v = std::getenv(name);
        saved_[name] = {v != nullptr, v ? v : ""};
    }
    std::map<std::string, std::pair<bool, std::string>> saved_;
};

TEST(PosixClock, CLocaleFormats) {
    ScopedEnv env;
    env.Set("LC_ALL", nullptr);
    env.Set("LANG", nullptr);
    env.Set("LC_TIME", "C");
    PosixClock clock;
    const LocalDateTime evening{2026, 12, 6, 19, 20, 9};
    EXPECT_EQ(clock.ShortDate(evening), "12/06/26");
    EXPECT_EQ(clock.LongTime(evening), "19:20:09");
    EXPECT_EQ(GeneralDate(clock, evening), "12/06/26 19:20:09");
    // At midnight the general date is the short date alone.
    EXPECT_EQ(GeneralDate(clock, LocalDateTime{2026, 12, 5, 0, 0, 0}), "12/05/26");
    EXPECT_EQ(GeneralDate(clock, LocalDateTime{2026, 12, 5, 0, 0, 1}), "12/05/26 00:00:01");
    // The date before 1900 that stands for "no date" formats too.
    EXPECT_EQ(clock.ShortDate(LocalDateTime{}), "12/30/99");
}

TEST(PosixClock, MissingLocaleFallsBackToC) {
    ScopedEnv env;
    env.Set("LC_ALL", nullptr);
    env.Set("LANG", nullptr);
    env.Set("LC_TIME", "xx_NOWHERE.UTF-8");
    PosixClock clock;
    EXPECT_EQ(clock.ShortDate(LocalDateTime{2026, 1, 2, 3, 4, 5}), "01/02/26");
    EXPECT_EQ(clock.LongTime(LocalDateTime{2026, 1, 2, 3, 4, 5}), "03:04:05");
    env.Set("LC_ALL", "xx_NOWHERE.UTF-8");
    env.Set("LC_TIME", "C");
    EXPECT_EQ(clock.LongTime(LocalDateTime{2026, 1, 2, 3, 4, 5}), "03:04:05");
}

TEST(PosixClock, NowIsLocalTime) {
    ScopedEnv env;
    PosixClock clock;
    // Two zones five hours apart: the hour read follows the zone (allowing for a tick of the
    // clock between the two readings).
    env.Set("TZ", "UTC0");
    tzset();
    LocalDateTime utc = clock.Now();
    env.Set("TZ", "EST5");
    tzset();
    LocalDateTime est = clock.Now();
    int minutesUtc = utc.hour * 60 + utc.minute;
    int minutesEst = est.hour * 60 + est.minute;
    int diff = ((minutesUtc - minutesEst) % 1440 + 1440) % 1440;
    EXPECT_TRUE(diff == 300 || diff == 301) << diff;
    EXPECT_GE(utc.year, 2024);
    EXPECT_GE(utc.month, 1);
    EXPECT_LE(utc.month, 12);
}

}  // namespace
}  // namespace zc::posix
