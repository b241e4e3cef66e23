#include "platform/system/TerminationSignals.h"

#include <gtest/gtest.h>

#include <QCoreApplication>
#include <QTest>
#include <csignal>

// The signals are raised for real: a signal left to its default action ends this test process.
TEST(TerminationSignals, FromInstallOnTheFirstSignalEndsTheAppOnceAndSigpipeIsHarmless) {
    platform::TerminationSignals::install();
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
        std::raise(SIGINT);
    });
    ASSERT_TRUE(QTest::qWaitFor([&] { return calls > 0; }));
    std::raise(SIGTERM);
    QCoreApplication::processEvents();
    QCoreApplication::processEvents();
    EXPECT_EQ(calls, 1);
}
