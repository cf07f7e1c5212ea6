#pragma once
// The highest or lowest price of a sliding window of sequence-numbered
// candles, without rescanning the window.
//
// `Wins(newer, older)` decides between two candles: whether the newer one's
// price replaces the older one's. Winning ties (<= for a maximum) leaves the
// newest of equal prices; losing them (<) leaves the oldest, which is what a
// scan from the oldest candle that moves only on a strict improvement finds.
// The two differ only in the position reported, or in which of +0.0 and -0.0
// is, so each indicator states its rule. Both structures below always pair
// the newer candle first, so the rule holds wherever the window is split.

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

struct PriceMark {
    std::uint64_t seq;
    double price;
};

// For windows whose extreme price is wanted, not where it lies.
struct Price {
    double price;
};

// A monotonic queue: candles that can still become the extreme, oldest
// first. Each enters and leaves once, so a step is amortised constant time.
//
// The marks lie in order in a flat array of twice the window: a push goes
// after the last mark, the expired front mark is passed over, and when the
// array's end is reached the marks (at most a window's worth) move back to
// its start, which takes one step per push at most, on average. Without the
// wrap of a ring, finding the marks a price displaces is a short chain of
// dependent steps from one candle to the next.
template <class Wins>
class ExtremeQueue {
public:
    static Expected<ExtremeQueue, RoomError> with_capacity(std::uint64_t length) noexcept {
        if (length == 0) length = 1;
        if (length > (std::numeric_limits<std::uint64_t>::max() - guard) / 2) return RoomError::OutOfMemory;
        auto slots = reserve_slots<PriceMark>(2 * length + guard);
        if (!slots) return slots.error();
        for (std::size_t i = 0; i < guard; ++i) slots.value()[i] = {0, 0.0};
        return ExtremeQueue(std::move(slots).value(), static_cast<std::size_t>(2 * length));
    }

    // `oldest` is the first sequence number still inside the window once
    // candle `seq` is in. Sequence numbers are consecutive, so at most the
    // front mark has left the window.
    void push(std::uint64_t seq, double price, std::uint64_t oldest) noexcept {
        PriceMark* slots = slots_.get();
        std::size_t begin = begin_ + guard;  // slot indices from here on
        std::size_t end = end_ + guard;
        begin += (begin != end) & (slots[begin].seq < oldest);
        const std::size_t count = end - begin;
        // The price displaces a run of marks at the back, most often none or
        // one: up to `guard` of them are settled without a branch (reading
        // the guard slots or passed-over marks where the queue is shorter,
        // then capped at its length), longer runs by a loop.
        unsigned beaten = 0;  // bit i: the mark i places from the back
        for (std::size_t i = 0; i < guard; ++i) beaten |= unsigned{Wins{}(price, slots[end - 1 - i].price)} << i;
        std::size_t displaced = static_cast<std::size_t>(std::countr_one(beaten));
        if (displaced == guard && count > guard) [[unlikely]] {
            while (displaced < count && Wins{}(price, slots[end - 1 - displaced].price)) ++displaced;
        }
        end -= displaced < count ? displaced : count;
        if (end == room_ + guard) [[unlikely]] {
            for (std::size_t i = begin; i < end; ++i) slots[i - begin + guard] = slots[i];
            end -= begin - guard;
            begin = guard;
        }
        slots[end] = {seq, price};
        begin_ = begin - guard;
        end_ = end + 1 - guard;
    }

    // Requires a push since the last clear.
    const PriceMark& extreme() const noexcept { return slots_[guard + begin_]; }

    void clear() noexcept {
        begin_ = 0;
        end_ = 0;
    }

private:
    static constexpr std::size_t guard = 4;  // slots before the first, read (never used) by a short queue

    ExtremeQueue(std::unique_ptr<PriceMark[]> slots, std::size_t room) noexcept
        : slots_(std::move(slots)), room_(room) {}

    std::unique_ptr<PriceMark[]> slots_;
    std::size_t room_;  // slots after the guard
    std::size_t begin_ = 0;  // the marks are [begin_, end_) after the guard
    std::size_t end_ = 0;
};

// Blocks of `length` candles: a full window is the tail of the previous
// block, known through its suffix extremes, joined with the head of the
// current one, known through a running prefix extreme. Constant time per
// candle plus one backward pass per block, and no branch on the prices.
// `Mark` is a PriceMark, or a Price where the position is not wanted.
template <class Wins, class Mark = PriceMark>
class BlockExtreme {
public:
    static Expected<BlockExtreme, RoomError> with_capacity(std::uint64_t length) noexcept {
        if (length == 0) return RoomError::OutOfMemory;
        auto slots = reserve_slots<Mark>(length);
        if (!slots) return slots.error();
        return BlockExtreme(std::move(slots).value(), static_cast<std::size_t>(length));
    }

    void push(Mark mark) noexcept {
        if (offset_ == length_) {
            // The block is complete: each slot becomes the extreme of the
            // block from that candle to its end.
            for (std::size_t j = length_ - 1; j-- > 0;) slots_[j] = better(slots_[j + 1], slots_[j]);
            offset_ = 0;
            has_tails_ = true;
        }
        // The slot's tail began with the candle that has just left the
        // window; from now on it keeps this candle for the next block.
        slots_[offset_] = mark;
        prefix_ = offset_ == 0 ? mark : better(mark, prefix_);
        ++offset_;
    }

    // Of the last `length` candles pushed, or of all since the last clear
    // while there are fewer. Requires a push since the last clear.
    Mark extreme() const noexcept {
        if (offset_ == length_ || !has_tails_) return prefix_;
        return better(prefix_, slots_[offset_]);
    }

    void clear() noexcept {
        offset_ = 0;
        has_tails_ = false;
    }

private:
    BlockExtreme(std::unique_ptr<Mark[]> slots, std::size_t length) noexcept
        : slots_(std::move(slots)), length_(length) {}

    // Chosen without a branch: which candle wins depends on the prices and
    // is as unpredictable as they are. A price alone is a plain select (a
    // maximum or minimum instruction); a pair goes through a mask.
    static Mark better(const Mark& newer, const Mark& older) noexcept {
        if constexpr (requires { newer.seq; }) {
            const std::uint64_t take = -static_cast<std::uint64_t>(Wins{}(newer.price, older.price));
            const std::uint64_t price = (std::bit_cast<std::uint64_t>(newer.price) & take) |
                                        (std::bit_cast<std::uint64_t>(older.price) & ~take);
            return {(newer.seq & take) | (older.seq & ~take), std::bit_cast<double>(price)};
        } else {
            return {Wins{}(newer.price, older.price) ? newer.price : older.price};
        }
    }

    std::unique_ptr<Mark[]> slots_;  // this block's candles, then the previous block's tail extremes
    std::size_t length_;
    std::size_t offset_ = 0;  // candles of the current block pushed so far
    bool has_tails_ = false;  // a block was completed since the last clear
    Mark prefix_{};  // extreme of the current block so far
};

// The highest high and lowest low of the last `period` candles, as a scan
// of the window from the oldest candle finds them: one that moves only on a
// strict improvement, so of equal prices (only +0.0 and -0.0 can be equal yet
// differ) the oldest stays. Shared by Donchian and WilliamsR.
class WindowRange {
public:
    static Expected<WindowRange, RoomError> with_capacity(std::uint64_t period) noexcept {
        auto highs = BlockExtreme<Higher, Price>::with_capacity(period);
        if (!highs) return highs.error();
        auto lows = BlockExtreme<Lower, Price>::with_capacity(period);
        if (!lows) return lows.error();
        return WindowRange(std::move(highs).value(), std::move(lows).value(), period);
    }

    // True once the window holds `period` candles.
    bool push(double high, double low) noexcept {
        highs_.push({high});
        lows_.push({low});
        return !(count_ < period_ && ++count_ < period_);
    }

    // Require a full window.
    double highest() const noexcept { return highs_.extreme().price; }
    double lowest() const noexcept { return lows_.extreme().price; }

    bool full() const noexcept { return count_ == period_; }

    void clear() noexcept {
        highs_.clear();
        lows_.clear();
        count_ = 0;
    }

private:
    WindowRange(BlockExtreme<Higher, Price> highs, BlockExtreme<Lower, Price> lows, std::uint64_t period) noexcept
        : highs_(std::move(highs)), lows_(std::move(lows)), period_(period) {}

    BlockExtreme<Higher, Price> highs_;
    BlockExtreme<Lower, Price> lows_;
    std::uint64_t count_ = 0;  // candles since construction or clear, saturating at the period
    std::uint64_t period_;
};

}  // namespace kestov
