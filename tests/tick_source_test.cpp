#include <gtest/gtest.h>

#include <QTemporaryDir>
#include <fstream>
#include <string>

#include "platform/system/TickSource.h"

using platform::Ticks;

TEST(ParseProcStat, MapsTheFieldsOntoFourCounters) {
    // user nice system idle iowait irq softirq [steal guest guest_nice]
    const std::pair<const char*, Ticks> rows[] = {
        {"cpu  1000 20 300 4000 50 6 7 800 900 11\ncpu0 1 2 3 4 5 6 7 8 9 10\nintr 1 2 3\n",
         {.user = 1000, .system = 300 + 6 + 7, .idle = 4000 + 50, .nice = 20}},
        // Older kernels have no steal and guest fields.
        {"cpu  1 2 3 4 5 6 7\n", {.user = 1, .system = 3 + 6 + 7, .idle = 4 + 5, .nice = 2}},
        {"cpu  18446744073709551615 0 0 5000000000 0 0 0\n",
         {.user = 18446744073709551615ULL, .idle = 5000000000ULL}},
    };
    for (const auto& [text, ticks] : rows) {
        EXPECT_EQ(platform::parseProcStat(text), ticks) << text;
    }
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
    // Rewritten in place, as /proc/stat is re-rendered on every read.
    std::ofstream(path) << "cpu  1 2 3 4 5 6 7 8 9 10\n";
    EXPECT_EQ(source.read(), (Ticks{.user = 1, .system = 16, .idle = 9, .nice = 2}));
    std::ofstream(path) << "cpu  2 2 3 4 5 6 7 8 9 10\n";
    EXPECT_EQ(source.read()->user, 2u);
    std::ofstream(path) << "garbage\n";
    EXPECT_FALSE(source.read());
}

TEST(TickSource, RealProcStatGrows) {
    platform::TickSource source;
    const auto sum = [](const Ticks& t) { return t.user + t.system + t.idle + t.nice; };
    const auto first = source.read();
    const auto second = source.read();
    ASSERT_TRUE(first && second);
    EXPECT_GE(sum(*second), sum(*first));
}
