#pragma once

#include <cstdint>
#include <deque>

#include "platform/system/Random.h"

// A random source that hands out the given bits in order, then repeats the last one.
class FedRandom : public platform::Random {
  public:
    explicit FedRandom(std::deque<std::uint64_t> bits) : queue(std::move(bits)) {}

    std::uint64_t bits() override {
        const std::uint64_t next = queue.front();
        if (queue.size() > 1) {
            queue.pop_front();
        }
        return next;
    }

    std::deque<std::uint64_t> queue;
};
