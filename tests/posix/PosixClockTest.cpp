#include <gtest/gtest.h>

#include <ctime>

#include "platform/posix/PosixClock.h"

namespace zc::test {
namespace {

// Sets the locale and zone variables for one test and puts them back afterwards.
struct ScopedEnv {
    static constexpr const char* kNames[4] = {"LC_ALL", "LANG", "LC_TIME", "TZ"};
    std::string saved[4];
    bool had[4] = {};
    ScopedEnv() {
        for (int i = 0; i < 4; ++i)
            if ((had[i] = std::getenv(kNames[i]) != nullptr)) saved[i] = std::getenv(kNames[i]);
    }
    ~ScopedEnv() {
        for (int i = 0; i < 4; ++i) had[i] ? setenv(kNames[i], saved[i].c_str(), 1) : unsetenv(kNames[i]);
        tzset();
    }
};

TEST(PosixClock, FormatsOfTheCLocaleAlsoWhenTheLocaleIsMissingAndNowIsLocal) {
    ScopedEnv env;
    unsetenv("LC_ALL");
    unsetenv("LANG");
    setenv("LC_TIME", "xx_NOWHERE.UTF-8", 1);  // no such locale: the C formats
    posix::PosixClock clock;
    EXPECT_EQ(GeneralDate(clock, LocalDateTime{2026, 12, 6, 19, 20, 9}), "12/06/26 19:20:09");
    // At midnight the general date is the short date alone.
    EXPECT_EQ(GeneralDate(clock, LocalDateTime{2026, 12, 5, 0, 0, 0}), "12/05/26");
    EXPECT_EQ(GeneralDate(clock, LocalDateTime{2026, 12, 5, 0, 0, 1}), "12/05/26 00:00:01");
    EXPECT_EQ(clock.ShortDate(LocalDateTime{}), "12/30/99") << "the date that stands for no date";

    // Two zones five hours apart: the hour read follows the zone (allowing for a tick between).
    setenv("TZ", "UTC0", 1);
    tzset();
    LocalDateTime utc = clock.Now();
    setenv("TZ", "EST5", 1);
    tzset();
    LocalDateTime est = clock.Now();
    int diff = ((utc.hour * 60 + utc.minute - est.hour * 60 - est.minute) % 1440 + 1440) % 1440;
    EXPECT_TRUE(diff == 300 || diff == 301) << diff;
    EXPECT_GE(utc.year, 2024);
}

}  // namespace
}  // namespace zc::test
