#pragma once

#include <deque>
#include <functional>
#include <memory>
#include <vector>

#include "platform/system/Logger.h"
#include "platform/system/Random.h"
#include "platform/system/Timer.h"

// Stand-ins for what a test cannot control otherwise: log output, timer firings, random bits.

// Keeps the text of each entry instead of sending it to the journal.
struct RecordingLogger : platform::Logger {
    RecordingLogger() : Logger("test") {}
    void write(Level, const std::string& text) const override { lines.push_back(text); }
    mutable std::vector<std::string> lines;
};

// Timers that fire only when the test calls them; each remembers whether it was ended.
struct HandTimers : platform::TimerFactory {
    struct Hand {
        double interval;
        platform::RunLoopMode mode;
        bool precise;
        std::function<void()> fire;
        bool ended = false;
    };
    struct Handle : platform::Timer {
        explicit Handle(std::shared_ptr<Hand> hand) : hand(std::move(hand)) {}
        ~Handle() override { hand->ended = true; }
        void invalidate() override { hand->ended = true; }
        std::shared_ptr<Hand> hand;
    };
    std::unique_ptr<platform::Timer> schedule(double interval, platform::RunLoopMode mode,
                                              bool precise, std::function<void()> fire) override {
        scheduled.push_back(std::make_shared<Hand>(Hand{interval, mode, precise, std::move(fire)}));
        return std::make_unique<Handle>(scheduled.back());
    }
    // The running timers of a kind (precise: frame timers).
    std::vector<Hand*> live(bool precise) const {
        std::vector<Hand*> found;
        for (const auto& hand : scheduled) {
            if (hand->precise == precise && !hand->ended) {
                found.push_back(hand.get());
            }
        }
        return found;
    }
    std::vector<std::shared_ptr<Hand>> scheduled;
};

// Hands out the given bits in order, then repeats the last one.
struct FedRandom : platform::Random {
    explicit FedRandom(std::deque<std::uint64_t> bits) : queue(std::move(bits)) {}
    std::uint64_t bits() override {
        const std::uint64_t next = queue.front();
        queue.size() > 1 ? queue.pop_front() : void();
        return next;
    }
    std::deque<std::uint64_t> queue;
};
