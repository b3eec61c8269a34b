// The count the shipped program's runtime times its waits with on Windows XP, which has no
// GetTickCount64: carried on across the wrap of GetTickCount, from any number of threads.
#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <thread>
#include <vector>

#include "platform/win32/TickCount.h"

namespace zc::test {

namespace {

// A GetTickCount that moves on by a sixteenth of its range at each call: it wraps every 16 calls.
// It gives the other threads their turn right after each read, where a count read before a wrap
// could be filed after it.
std::atomic<DWORD> ticks{0};
constexpr DWORD kStep = 0x10000000;
DWORD WINAPI Stepping() {
    const DWORD now = ticks += kStep;
    ::Sleep(0);
    return now;
}

}  // namespace

TEST(TickCount, GoesOnAcrossTheWrapOfTheThirtyTwoBitCountWhoeverAsks) {
    win32::TickCounter counter;
    ticks = 0xF0000000 - kStep;
    EXPECT_EQ(counter.Now(Stepping), 0xF0000000ull);
    EXPECT_EQ(counter.Now(Stepping), 0x100000000ull) << "the wrap";
    EXPECT_EQ(counter.Now(Stepping), 0x110000000ull);

    // Four threads at once: every count is told once, in order, none of them filed on the wrong
    // side of a wrap.
    win32::TickCounter shared;
    ticks = 0;
    constexpr int kThreads = 4, kCalls = 2000;
    std::vector<std::vector<ULONGLONG>> seen(kThreads);
    std::vector<std::thread> threads;
    std::atomic<int> ready{0};
    for (int t = 0; t < kThreads; ++t)
        threads.emplace_back([&, t] {
            for (++ready; ready < kThreads;) ::Sleep(0);  // all start together
            for (int i = 0; i < kCalls; ++i) seen[t].push_back(shared.Now(Stepping));
        });
    for (std::thread& t : threads) t.join();
    std::vector<ULONGLONG> all;
    for (const auto& one : seen) {
        EXPECT_TRUE(std::is_sorted(one.begin(), one.end()));
        all.insert(all.end(), one.begin(), one.end());
    }
    std::sort(all.begin(), all.end());
    for (size_t i = 0; i < all.size(); ++i) ASSERT_EQ(all[i], (i + 1) * ULONGLONG{kStep}) << i;
}

}  // namespace zc::test
