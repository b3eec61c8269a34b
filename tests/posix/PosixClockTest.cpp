#include <gtest/gtest.h>

#include <ctime>

#include "platform/posix/PosixClock.h"

namespace zc::test {
namespace {

// Sets (or, given no value, unsets) one variable of the environment and puts it back afterwards.
struct ScopedEnv {
    std::string name, saved;
    bool had;
    ScopedEnv(const char* n, const char* value) : name(n), had(std::getenv(n) != nullptr) {
        if (had) saved = std::getenv(n);
        value ? setenv(n, value, 1) : unsetenv(n);
    }
    ~ScopedEnv() {
        had ? setenv(name.c_str(), saved.c_str(), 1) : unsetenv(name.c_str());
        tzset();
    }
};

TEST(PosixClock, FormatsOfTheCLocaleAlsoWhenTheLocaleIsMissingAndNowIsLocal) {
    ScopedEnv all("LC_ALL", nullptr), lang("LANG", nullptr), zone("TZ", "UTC0");
    ScopedEnv formats("LC_TIME", "xx_NOWHERE.UTF-8");  // no such locale: the C formats
    posix::PosixClock clock;
    EXPECT_EQ(GeneralDate(clock, LocalDateTime{2026, 12, 6, 19, 20, 9}), "12/06/26 19:20:09");
    // At midnight the general date is the short date alone.
    EXPECT_EQ(GeneralDate(clock, LocalDateTime{2026, 12, 5, 0, 0, 0}), "12/05/26");
    EXPECT_EQ(GeneralDate(clock, LocalDateTime{2026, 12, 5, 0, 0, 1}), "12/05/26 00:00:01");
    EXPECT_EQ(clock.ShortDate(LocalDateTime{}), "12/30/99") << "the date that stands for no date";

    // Two zones five hours apart: the hour read follows the zone (allowing for a tick between).
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
