#include <gtest/gtest.h>

#include <QCoreApplication>
#include <QTest>
#include <QThread>
#include <memory>
#include <vector>

#include "FakeLogind.h"
#include "PrivateBus.h"
#include "RecordingLogger.h"
#include "platform/system/SleepNotifier.h"

using platform::SleepNotifier;
using Event = platform::SleepNotifier::Event;

namespace {

struct SleepNotifierTest : ::testing::Test {
    int argc = 0;
    QCoreApplication app{argc, nullptr};
    PrivateBus bus;
    std::shared_ptr<RecordingLogger> log = std::make_shared<RecordingLogger>("platform");

    void SetUp() override { ASSERT_TRUE(bus.isRunning()); }
    void expectOneWarning() const {
        ASSERT_EQ(log->lines.size(), 1u);
        EXPECT_NE(log->lines[0].find("sleep and wake will not be seen"), std::string::npos);
    }
};

}  // namespace

TEST_F(SleepNotifierTest, DeliversSleepAndWakeOnTheMainThreadInOrderButNotToRemovedObservers) {
    FakeLogind logind(bus.connect());
    ASSERT_TRUE(logind.isRegistered());
    SleepNotifier notifier(bus.connect(), log);
    std::vector<Event> heard;
    bool onMainThread = true;
    for (const Event event : {Event::WillSleep, Event::DidWake}) {
        notifier.addObserver(event, [&, event] {
            heard.push_back(event);
            onMainThread = onMainThread && QThread::currentThread() == app.thread();
        });
    }
    const auto removed = notifier.addObserver(Event::DidWake, [] { FAIL() << "removed"; });
    notifier.removeObserver(removed);
    notifier.removeObserver(removed);
    logind.prepareForSleep(true);
    logind.prepareForSleep(false);
    ASSERT_TRUE(QTest::qWaitFor([&] { return heard.size() == 2; }));
    EXPECT_EQ(heard, (std::vector<Event>{Event::WillSleep, Event::DidWake}));
    EXPECT_TRUE(onMainThread);
    EXPECT_TRUE(log->lines.empty());
}

// Removing observers from inside a callback once destroyed the running callback and skipped or
// replayed its neighbours.
TEST_F(SleepNotifierTest, ObserverRemovingObserversDuringDelivery) {
    FakeLogind logind(bus.connect());
    SleepNotifier notifier(bus.connect(), log);
    int first = 0, second = 0, last = 0;
    SleepNotifier::Token self = 0, next = 0;
    self = notifier.addObserver(Event::WillSleep, [&] {
        ++first;
        notifier.removeObserver(self);
        notifier.removeObserver(next);
    });
    next = notifier.addObserver(Event::WillSleep, [&] { ++second; });
    notifier.addObserver(Event::WillSleep, [&] { ++last; });
    logind.prepareForSleep(true);
    logind.prepareForSleep(true);
    ASSERT_TRUE(QTest::qWaitFor([&] { return last == 2; }));
    EXPECT_EQ(first, 1);
    EXPECT_EQ(second, 0);
}

TEST_F(SleepNotifierTest, NoSystemBusSaysSoOnceAndStillTakesObservers) {
    SleepNotifier notifier(QDBusConnection::connectToBus("unix:path=/nonexistent/bus", "x"), log);
    notifier.removeObserver(notifier.addObserver(Event::WillSleep, [] {}));
    expectOneWarning();
}

TEST_F(SleepNotifierTest, NoLogindSaysSoOnceAndHearsALogindThatStartsLater) {
    SleepNotifier notifier(bus.connect(), log);
    expectOneWarning();
    int heard = 0;
    notifier.addObserver(Event::DidWake, [&] { ++heard; });
    FakeLogind logind(bus.connect());
    ASSERT_TRUE(logind.isRegistered());
    // The name's new owner reaches the notifier before the signal does: both travel in order.
    logind.prepareForSleep(false);
    EXPECT_TRUE(QTest::qWaitFor([&] { return heard == 1; }));
    expectOneWarning();
}
