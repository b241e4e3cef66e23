#include <gtest/gtest.h>

#include <QTemporaryDir>
#include <fstream>
#include <string>

#include "platform/TickSource.h"

using platform::Ticks;

TEST(ParseProcStat, MapsTheTenFieldsOntoFourCounters) {
    // user nice system idle iowait irq softirq steal guest guest_nice
    const auto t = platform::parseProcStat(
        "cpu  1000 20 300 4000 50 6 7 800 900 11\ncpu0 1 2 3 4 5 6 7 8 9 10\nintr 1 2 3\n");
    ASSERT_TRUE(t);
    EXPECT_EQ(*t, (Ticks{.user = 1000, .system = 300 + 6 + 7, .idle = 4000 + 50, .nice = 20}));
}

TEST(ParseProcStat, AcceptsOlderKernelsWithoutStealAndGuestFields) {
    const auto t = platform::parseProcStat("cpu  1 2 3 4 5 6 7\n");
    ASSERT_TRUE(t);
    EXPECT_EQ(*t, (Ticks{.user = 1, .system = 3 + 6 + 7, .idle = 4 + 5, .nice = 2}));
}

TEST(ParseProcStat, KeepsSixtyFourBitCounters) {
    const auto t = platform::parseProcStat("cpu  18446744073709551615 0 0 5000000000 0 0 0\n");
    ASSERT_TRUE(t);
    EXPECT_EQ(t->user, 18446744073709551615ULL);
    EXPECT_EQ(t->idle, 5000000000ULL);
}

TEST(ParseProcStat, RejectsBrokenText) {
    const char* broken[] = {
        "",
        "cpu",
        "cpu  1 2 3 4 5 6\n",              // too short
        "cpu  1 2 3 4\ncpu0 5 6 7 8 9\n",  // short line, the next line must not fill it up
        "cpu0 1 2 3 4 5 6 7\n",            // a per-processor line, not the aggregate
        "intr 1 2 3 4 5 6 7\n",
        "cpu  1 2 x 4 5 6 7\n",
        "cpu  1 2 -3 4 5 6 7\n",
        "cpu  1 2 3.5 4 5 6 7\n",
        "cpu  99999999999999999999 2 3 4 5 6 7\n",  // overflows 64 bits
    };
    for (const char* text : broken) {
        EXPECT_FALSE(platform::parseProcStat(text)) << '"' << text << '"';
    }
}

TEST(TickSource, ReadsAFileAgainOnEveryCallAndFailsSoftlyWhenItIsMissing) {
    QTemporaryDir dir;
    const std::string path = dir.filePath("stat").toStdString();
    platform::TickSource source(path);
    EXPECT_FALSE(source.read());

    std::ofstream(path) << "cpu  1 2 3 4 5 6 7 8 9 10\n";
    EXPECT_EQ(source.read(), (Ticks{.user = 1, .system = 16, .idle = 9, .nice = 2}));
    // Rewritten in place, as /proc/stat is re-rendered on every read.
    std::ofstream(path) << "cpu  2 2 3 4 5 6 7 8 9 10\n";
    EXPECT_EQ(source.read()->user, 2u);
    std::ofstream(path) << "garbage\n";
    EXPECT_FALSE(source.read());
}

TEST(TickSource, RealProcStatGrows) {
    platform::TickSource source;
    const auto first = source.read();
    ASSERT_TRUE(first);
    const auto second = source.read();
    ASSERT_TRUE(second);
    EXPECT_GE(second->user + second->system + second->idle + second->nice,
              first->user + first->system + first->idle + first->nice);
}
