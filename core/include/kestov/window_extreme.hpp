#pragma once
// The highest or lowest price of a sliding window of sequence-numbered
// candles, without rescanning the window.
//
// `Wins(newer, older)` decides between two candles: whether the newer one's
// price replaces the older one's. Winning ties (<= for a maximum) leaves the
// newest of equal prices; losing them (<) leaves the oldest, which is what a
// scan from the oldest candle that moves only on a strict improvement finds.
// The two differ only in the position reported, or in which of +0.0 and -0.0
// is, so each indicator states its rule. The block structure below always
// pairs the newer candle first, so the rule holds wherever the window is split.

#include <bit>
#include <cstddef>
#include <cstdint>
#include <limits>
#include <memory>
#include <new>
#include <utility>

#include "kestov/error.hpp"
#include "kestov/expected.hpp"
#include "kestov/ring_buffer.hpp"

namespace kestov {

// `loser` is beaten by every finite price.
struct HigherOrEqual {
    static constexpr double loser = -std::numeric_limits<double>::infinity();
    bool operator()(double newer, double older) const noexcept { return older <= newer; }
};
struct Higher {
    static constexpr double loser = -std::numeric_limits<double>::infinity();
    bool operator()(double newer, double older) const noexcept { return older < newer; }
};
struct LowerOrEqual {
    static constexpr double loser = std::numeric_limits<double>::infinity();
    bool operator()(double newer, double older) const noexcept { return older >= newer; }
};
struct Lower {
    static constexpr double loser = std::numeric_limits<double>::infinity();
    bool operator()(double newer, double older) const noexcept { return older > newer; }
};

struct PriceMark {
    std::uint64_t seq;
    double price;
};

// Of two marks, the newer first, the one that holds the extreme. Chosen
// without a branch: which candle wins depends on the prices and is as
// unpredictable as they are.
template <class Wins>
struct ExtremeOf {
    using Mark = PriceMark;
    static constexpr Mark loser{0, Wins::loser};
    static Mark better(const Mark& newer, const Mark& older) noexcept {
        const std::uint64_t take = -static_cast<std::uint64_t>(Wins{}(newer.price, older.price));
        const std::uint64_t price =
            (std::bit_cast<std::uint64_t>(newer.price) & take) | (std::bit_cast<std::uint64_t>(older.price) & ~take);
        return {(newer.seq & take) | (older.seq & ~take), std::bit_cast<double>(price)};
    }
};

// The highest high and the lowest low together, for windows whose range is
// wanted and not where it lies, with one block bookkeeping for both.
template <class HighWins, class LowWins>
struct RangeOf {
    struct Mark {
        double high;
        double low;
    };
    static constexpr Mark loser{HighWins::loser, LowWins::loser};
    static Mark better(const Mark& newer, const Mark& older) noexcept {
        return {HighWins{}(newer.high, older.high) ? newer.high : older.high,
                LowWins{}(newer.low, older.low) ? newer.low : older.low};
    }
};

// Blocks of `length` candles: a full window is the tail of the previous
// block, known through its suffix extremes, joined with the head of the
// current one, known through a running prefix extreme. Constant time per
// candle plus one backward pass per block, and no branch on the prices.
// `Pick` (ExtremeOf, RangeOf) says what a mark holds and which of two wins.
// Prices must be finite (a candle's are): the empty block and the missing
// tail are `Pick::loser`, which every finite price beats.
template <class Pick>
class BlockExtreme {
public:
    using Mark = typename Pick::Mark;

    static Expected<BlockExtreme, RoomError> with_capacity(std::uint64_t length) noexcept {
        if (length == 0) return RoomError::OutOfMemory;
        const auto room = plus_one(length);
        if (!room) return room.error();
        auto slots = reserve_slots<Mark>(room.value());
        if (!slots) return slots.error();
        slots.value()[length] = Pick::loser;
        return BlockExtreme(std::move(slots).value(), static_cast<std::size_t>(length));
    }

    void push(Mark mark) noexcept {
        if (offset_ == length_) {
            // The block is complete: each slot becomes the extreme of the
            // block from that candle to its end.
            for (std::size_t j = length_ - 1; j-- > 0;) slots_[j] = better(slots_[j + 1], slots_[j]);
            offset_ = 0;
            has_tails_ = true;
            prefix_ = Pick::loser;
        }
        // The slot's tail began with the candle that has just left the
        // window; from now on it keeps this candle for the next block.
        slots_[offset_] = mark;
        prefix_ = better(mark, prefix_);
        ++offset_;
    }

    // Of the last `length` candles pushed, or of all since the last clear
    // while there are fewer. Requires a push since the last clear.
    Mark extreme() const noexcept {
        // Where no tail is in the window the last slot stands in for it: it
        // holds a mark every candle beats. Choosing the slot rather than
        // branching keeps the price comparison a plain select.
        const std::size_t tail = has_tails_ && offset_ != length_ ? offset_ : length_;
        return better(prefix_, slots_[tail]);
    }

    // True once `length` candles were pushed since the last clear.
    bool full() const noexcept { return has_tails_ || offset_ == length_; }

    void clear() noexcept {
        offset_ = 0;
        has_tails_ = false;
        prefix_ = Pick::loser;
    }

private:
    BlockExtreme(std::unique_ptr<Mark[]> slots, std::size_t length) noexcept
        : slots_(std::move(slots)), length_(length) {}

    static Mark better(const Mark& newer, const Mark& older) noexcept { return Pick::better(newer, older); }

    std::unique_ptr<Mark[]> slots_;  // this block's candles, then the previous block's tail extremes; then `loser`
    std::size_t length_;
    std::size_t offset_ = 0;  // candles of the current block pushed so far
    bool has_tails_ = false;  // a block was completed since the last clear
    Mark prefix_ = Pick::loser;  // extreme of the current block so far
};

// The highest high and lowest low of the last `period` candles. Of equal
// prices (only +0.0 and -0.0 can be equal yet differ) the tie rules choose:
// Higher and Lower keep the oldest, as a scan of the window from the oldest
// candle that moves only on a strict improvement does (Donchian, WilliamsR);
// HigherOrEqual and LowerOrEqual keep the newest, as a monotonic queue that
// lets an equal price displace an older one does (Stochastic).
template <class HighWins, class LowWins>
class WindowRange {
public:
    static Expected<WindowRange, RoomError> with_capacity(std::uint64_t period) noexcept {
        auto blocks = BlockExtreme<RangeOf<HighWins, LowWins>>::with_capacity(period);
        if (!blocks) return blocks.error();
        return WindowRange(std::move(blocks).value());
    }

    // True once the window holds `period` candles.
    bool push(double high, double low) noexcept {
        blocks_.push({high, low});
        return blocks_.full();
    }

    // Require a full window.
    double highest() const noexcept { return blocks_.extreme().high; }
    double lowest() const noexcept { return blocks_.extreme().low; }

    bool full() const noexcept { return blocks_.full(); }

    void clear() noexcept { blocks_.clear(); }

private:
    explicit WindowRange(BlockExtreme<RangeOf<HighWins, LowWins>> blocks) noexcept : blocks_(std::move(blocks)) {}

    BlockExtreme<RangeOf<HighWins, LowWins>> blocks_;
};

}  // namespace kestov
