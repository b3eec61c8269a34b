// The runtime's GetTickCount64 on Windows XP, which lacks it: carried across GetTickCount's wrap.
#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <thread>
#include <vector>

#include "platform/win32/TickCount.h"

namespace zc::test {

namespace {

// A GetTickCount wrapping every 16 calls, yielding right after each read, where a count read
// before a wrap could be filed after it.
std::atomic<DWORD> ticks{0};
constexpr DWORD kStep = 0x10000000;
DWORD WINAPI Stepping() {
    const DWORD now = ticks += kStep;
    ::Sleep(0);
    return now;
}

}  // namespace

TEST(TickCount, GoesOnAcrossTheWrapOfTheThirtyTwoBitCountWhoeverAsks) {
    // Four threads through 500 wraps: every count told once, in order.
    win32::TickCounter shared;
    std::vector<std::vector<ULONGLONG>> seen(4);
    std::vector<std::thread> threads;
    for (auto& one : seen)
        threads.emplace_back([&] {
            for (int i = 0; i < 2000; ++i) one.push_back(shared.Now(Stepping));
        });
    std::vector<ULONGLONG> all;
    for (size_t t = 0; t < seen.size(); ++t) {
        threads[t].join();
        EXPECT_TRUE(std::is_sorted(seen[t].begin(), seen[t].end()));
        all.insert(all.end(), seen[t].begin(), seen[t].end());
    }
    std::sort(all.begin(), all.end());
    for (size_t i = 0; i < all.size(); ++i) ASSERT_EQ(all[i], (i + 1) * ULONGLONG{kStep}) << i;
}

}  // namespace zc::test
