#include "platform/system/TerminationSignals.h"

#include <gtest/gtest.h>

#include <QCoreApplication>
#include <QTest>
#include <csignal>

// The signals are raised for real: a signal left to its default action ends this test process.
// A shell starts background jobs with SIGINT ignored, so that Ctrl-C is not for them; it stays so.
TEST(TerminationSignals, FromInstallOnTheFirstSignalEndsTheAppOnceSigpipeIsHarmlessIgnoredStays) {
    std::signal(SIGINT, SIG_IGN);
    platform::TerminationSignals::install();
    EXPECT_EQ(std::signal(SIGINT, SIG_IGN), SIG_IGN);
    // Before the event loop, or anything to hand the signal to, exists.
    std::raise(SIGTERM);
    std::raise(SIGPIPE);
    int argc = 1;
    char name[] = "test";
    char* argv[] = {name, nullptr};
    QCoreApplication app(argc, argv);
    int calls = 0;
    platform::TerminationSignals terminations([&] {
        ++calls;
        std::raise(SIGTERM);
    });
    ASSERT_TRUE(QTest::qWaitFor([&] { return calls > 0; }));
    std::raise(SIGTERM);
    QCoreApplication::processEvents();
    QCoreApplication::processEvents();
    EXPECT_EQ(calls, 1);
}
