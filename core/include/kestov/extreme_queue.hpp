#pragma once
// The highest (or lowest) price of a sliding window of sequence-numbered
// candles, kept as a monotonic queue: each price enters and leaves once, so a
// step is amortised constant time and the window is never rescanned.
//
// `Evicts(newer, older)` says whether a new price makes a queued one useless.
// Evicting on ties (<= for a maximum) leaves the newest of equal prices at
// the front; keeping ties (<) leaves the oldest, which is what a scan from
// the oldest candle that replaces its extreme only on a strict improvement
// finds. The two differ only in which of +0.0 and -0.0 is reported, or at
// which position, so the choice is part of each indicator's result.

#include <cstdint>
#include <utility>

#include "kestov/error.hpp"
#include "kestov/expected.hpp"
#include "kestov/ring_buffer.hpp"

namespace kestov {

template <class Evicts>
class ExtremeQueue {
public:
    struct Mark {
        std::uint64_t seq;
        double price;
    };

    // Room for a window of `length` candles: after the expired marks are
    // dropped at most length - 1 remain, plus the new one.
    static Expected<ExtremeQueue, RoomError> with_capacity(std::uint64_t length) noexcept {
        auto marks = RingBuffer<Mark>::with_capacity(length);
        if (!marks) return marks.error();
        return ExtremeQueue(std::move(marks).value());
    }

    // Adds candle `seq` with `price`; `oldest` is the first sequence number
    // still inside the window once it is in.
    void push(std::uint64_t seq, double price, std::uint64_t oldest) noexcept {
        while (!marks_.empty() && marks_.front().seq < oldest) marks_.pop_front();
        while (!marks_.empty() && Evicts{}(price, marks_.back().price)) marks_.pop_back();
        marks_.push_back({seq, price});
    }

    // Requires at least one push since the last clear.
    const Mark& extreme() const noexcept { return marks_.front(); }

    void clear() noexcept { marks_.clear(); }

private:
    explicit ExtremeQueue(RingBuffer<Mark> marks) noexcept : marks_(std::move(marks)) {}

    RingBuffer<Mark> marks_;
};

// The four eviction rules: for a maximum or a minimum, ties to the newest or
// to the oldest candle.
struct HigherOrEqual {
    bool operator()(double newer, double older) const noexcept { return older <= newer; }
};
struct Higher {
    bool operator()(double newer, double older) const noexcept { return older < newer; }
};
struct LowerOrEqual {
    bool operator()(double newer, double older) const noexcept { return older >= newer; }
};
struct Lower {
    bool operator()(double newer, double older) const noexcept { return older > newer; }
};

}  // namespace kestov
