#include "platform/system/TerminationSignals.h"

#include <gtest/gtest.h>

#include <QTest>
#include <csignal>

#include "TestApp.h"

// Raised for real: a signal left to its default action would end this test process.
TEST(TerminationSignals, FromInstallOnTheFirstSignalEndsTheAppOnceSigpipeIsHarmlessIgnoredStays) {
    std::signal(SIGINT, SIG_IGN);  // as a shell starts background jobs: it stays so
    platform::TerminationSignals::install();
    EXPECT_EQ(std::signal(SIGINT, SIG_IGN), SIG_IGN);
    std::raise(SIGTERM);  // before the event loop, or anything to hand it to, exists
    std::raise(SIGPIPE);
    TestApp app;
    int calls = 0;
    platform::TerminationSignals terminations([&] { ++calls, std::raise(SIGTERM); });
    ASSERT_TRUE(QTest::qWaitFor([&] { return calls > 0; }));
    std::raise(SIGTERM);
    QTest::qWait(20);
    EXPECT_EQ(calls, 1);
}
