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

#include <array>
#include <bit>
#include <cstddef>
#include <algorithm>
#include <cstdint>
#include <limits>
#include <memory>
#include <new>
#include <utility>

#include "kestov/error.hpp"
#include "kestov/expected.hpp"
#include "kestov/lanes.hpp"
#include "kestov/numeric.hpp"
#include "kestov/ring_buffer.hpp"
#include "kestov/stretches.hpp"

namespace kestov {

// `loser` is beaten by every finite price. `pick(newer, older)` is the
// price the rule keeps, for finite prices, in the form `b < a ? a : b` that
// compiles to one max (min) instruction, whose tie goes to its second
// operand.
struct HigherOrEqual {
    static constexpr double loser = -std::numeric_limits<double>::infinity();
    template <class V>
    auto operator()(V newer, V older) const noexcept { return older <= newer; }
    template <class V>
    [[gnu::always_inline]] static V pick(V newer, V older) noexcept { return lanes::select(newer < older, older, newer); }
};
struct Higher {
    static constexpr double loser = -std::numeric_limits<double>::infinity();
    template <class V>
    auto operator()(V newer, V older) const noexcept { return older < newer; }
    template <class V>
    [[gnu::always_inline]] static V pick(V newer, V older) noexcept { return lanes::select(older < newer, newer, older); }
};
struct LowerOrEqual {
    static constexpr double loser = std::numeric_limits<double>::infinity();
    template <class V>
    auto operator()(V newer, V older) const noexcept { return newer <= older; }
    template <class V>
    [[gnu::always_inline]] static V pick(V newer, V older) noexcept { return lanes::select(older < newer, older, newer); }
};
struct Lower {
    static constexpr double loser = std::numeric_limits<double>::infinity();
    template <class V>
    auto operator()(V newer, V older) const noexcept { return newer < older; }
    template <class V>
    [[gnu::always_inline]] static V pick(V newer, V older) noexcept { return lanes::select(newer < older, newer, older); }
};

struct PriceMark {
    std::uint64_t seq;
    double price;

    template <class V>
    void fields(V& v) {
        v(seq);
        v(price);
    }
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
    static bool plausible(const Mark& m) noexcept { return is_finite(m.price); }
    static bool same(const Mark& a, const Mark& b) noexcept {
        return a.seq == b.seq && std::bit_cast<std::uint64_t>(a.price) == std::bit_cast<std::uint64_t>(b.price);
    }
};

// The highest high and the lowest low together, for windows whose range is
// wanted and not where it lies, with one block bookkeeping for both.
template <class HighWins, class LowWins>
struct RangeOf {
    struct Mark {
        double high;
        double low;

        template <class V>
        void fields(V& v) {
            v(high);
            v(low);
        }
    };
    static constexpr Mark loser{HighWins::loser, LowWins::loser};
    static Mark better(const Mark& newer, const Mark& older) noexcept {
        return {HighWins{}(newer.high, older.high) ? newer.high : older.high,
                LowWins{}(newer.low, older.low) ? newer.low : older.low};
    }
    static bool plausible(const Mark& m) noexcept { return is_finite(m.high) && is_finite(m.low); }
    static bool same(const Mark& a, const Mark& b) noexcept {
        return std::bit_cast<std::uint64_t>(a.high) == std::bit_cast<std::uint64_t>(b.high) &&
               std::bit_cast<std::uint64_t>(a.low) == std::bit_cast<std::uint64_t>(b.low);
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

    // Candles of the current block pushed so far (0 after a clear), and the
    // length of a block.
    std::size_t position() const noexcept { return offset_; }
    std::size_t length() const noexcept { return length_; }

    // For a panel's lanes (LaneRange), which step several of these at one
    // block position: the marks and the running prefix as they stand.
    bool has_tails() const noexcept { return has_tails_; }
    const Mark& slot(std::size_t j) const noexcept { return slots_[j]; }
    Mark& slot(std::size_t j) noexcept { return slots_[j]; }
    const Mark& prefix() const noexcept { return prefix_; }
    void place(std::size_t offset, bool has_tails, const Mark& prefix) noexcept {
        offset_ = offset;
        has_tails_ = has_tails;
        prefix_ = prefix;
    }

    void clear() noexcept {
        offset_ = 0;
        has_tails_ = false;
        prefix_ = Pick::loser;
    }

    // Saved (state.hpp) as the block position, whether a tail exists, this
    // block's marks and, with a tail, the previous block's tail extremes
    // from `offset` on. The running prefix follows from the marks.
    template <class W>
    void save(W& w) const noexcept {
        w(static_cast<std::uint64_t>(offset_));
        w(has_tails_);
        const std::size_t end = has_tails_ ? length_ : offset_;
        for (std::size_t j = 0; j < end; ++j) w(slots_[j]);
    }
    template <class R>
    void load(R& r) noexcept {
        std::uint64_t offset = 0;
        bool has_tails = false;
        r(offset);
        r(has_tails);
        if (!r) return;
        if (offset > length_ || (has_tails && offset == 0)) return r.fail("a window's block position is outside it");
        clear();
        const std::size_t end = has_tails ? length_ : static_cast<std::size_t>(offset);
        for (std::size_t j = 0; j < end && r; ++j) r(slots_[j]);
        if (!r) return;
        offset_ = static_cast<std::size_t>(offset);
        has_tails_ = has_tails;
        for (std::size_t j = 0; j < offset_; ++j) prefix_ = better(slots_[j], prefix_);
        if (const char* fault = marks_fault()) r.fail(fault);
    }

    // For sequence-numbered marks: whether the block is where `pushes`
    // candles since the last clear leave it.
    bool follows(std::uint64_t pushes) const noexcept
        requires requires(Mark m) { m.seq; }
    {
        if (pushes == 0) return offset_ == 0 && !has_tails_;
        return offset_ == (pushes - 1) % length_ + 1 && has_tails_ == (pushes > length_) &&
               slots_[0].seq == pushes - offset_;
    }

private:
    // What restored marks must satisfy to be marks this structure made:
    // finite prices; each tail extreme already the better of itself and
    // the tail after it; and, for sequence-numbered marks, this block's
    // candles numbered one after another and each tail extreme held by a
    // candle of its own tail.
    const char* marks_fault() const noexcept {
        const std::size_t end = has_tails_ ? length_ : offset_;
        for (std::size_t j = 0; j < end; ++j)
            if (!Pick::plausible(slots_[j])) return "a window holds a price that is not finite";
        if (has_tails_) {
            for (std::size_t j = offset_; j + 1 < length_; ++j)
                if (!Pick::same(better(slots_[j + 1], slots_[j]), slots_[j]))
                    return "a window's extremes are out of order";
        }
        if constexpr (requires(Mark m) { m.seq; }) {
            for (std::size_t j = 1; j < offset_; ++j)
                if (slots_[j].seq != slots_[j - 1].seq + 1) return "a window's candles are not numbered in order";
            if (has_tails_) {
                if (slots_[0].seq < length_) return "a window's candles are not numbered in order";
                const std::uint64_t base = slots_[0].seq - length_;
                for (std::size_t j = offset_; j < length_; ++j)
                    if (slots_[j].seq < base + j || slots_[j].seq >= slots_[0].seq)
                        return "a window's extreme lies outside it";
            }
        }
        return nullptr;
    }

    BlockExtreme(std::unique_ptr<Mark[]> slots, std::size_t length) noexcept
        : slots_(std::move(slots)), length_(length) {}

    static Mark better(const Mark& newer, const Mark& older) noexcept { return Pick::better(newer, older); }

    std::unique_ptr<Mark[]> slots_;  // this block's candles, then the previous block's tail extremes; then `loser`
    std::size_t length_;
    std::size_t offset_ = 0;  // candles of the current block pushed so far
    bool has_tails_ = false;  // a block was completed since the last clear
    Mark prefix_ = Pick::loser;  // extreme of the current block so far
};

// Spans of 2, 4, 8, ... entries, none longer than `longest`, each entry
// from two of the length before: `join(T{}, span, j)` makes entry j of
// the spans of 2 span from the one that ends at j and the one just before
// it, for j from 2 span - 1 (the first to hold a whole span) below `count`;
// then `done(2 span)`, before the next length.
template <class Pack, class Join, class Done>
[[gnu::always_inline]] inline void double_spans(std::size_t longest, std::size_t count, Join&& join,
                                                Done&& done) noexcept {
    for (std::size_t span = 1; 2 * span <= longest; span *= 2) {
        lanes::each<Pack>(2 * span - 1, count, [&](auto t, std::size_t j) KESTOV_INLINE_LAMBDA { join(t, span, j); });
        done(2 * span);
    }
}

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

    // The highest highs and lowest lows of the windows of `period` candles
    // that end at rows [first, last) of the columns (row i's window: rows
    // i + 1 - period to i, all in them), into hh and ll from index 0; at most
    // `chunk` rows, `period` at most `scanned`. Spans of 2, 4, 8, ...
    // candles are joined from two halves, and a window from two overlapping
    // spans, each time the newer and the older by the rule: it keeps the
    // newest (oldest) of the equal prices of any two spans, so of any split
    // of the window, overlapping or not, and agrees with the blocks.
    template <class Pack>
    [[gnu::always_inline]] static void extremes(const double* high, const double* low, std::size_t first,
                                                std::size_t last, std::size_t period, double* hh,
                                                double* ll) noexcept {
        extremes<Pack, 1>(high, low, first, last, {period}, {hh}, {ll});
    }

    // The same for windows of several lengths at once, which share their
    // spans: the windows of `periods[m]` candles into hh[m] and ll[m].
    template <class Pack, std::size_t N>
    [[gnu::always_inline]] static void extremes(const double* high, const double* low, std::size_t first,
                                                std::size_t last, const std::array<std::size_t, N>& periods,
                                                const std::array<double*, N>& hh,
                                                const std::array<double*, N>& ll) noexcept {
        const std::size_t longest = *std::max_element(periods.begin(), periods.end());
        const std::size_t base = first + 1 - longest, count = last - base, off = longest - 1;
        // Each span's extremes from the previous span's, the two in turn;
        // spans of one are the candles.
        alignas(64) double spans[2][2][chunk + scanned];
        const double* h = high + base;
        const double* l = low + base;
        // The windows whose longest span is `span`, from the spans at h and
        // l: row i's from the one that ends at it and the one that starts
        // its window.
        const auto finish = [&](std::size_t span) KESTOV_INLINE_LAMBDA {
            for (std::size_t m = 0; m < N; ++m) {
                if (periods[m] < span || periods[m] >= 2 * span) continue;
                const std::size_t rest = periods[m] - span;
                double* const to_h = hh[m];
                double* const to_l = ll[m];
                const auto put = [&]<class T>(T, std::size_t i) KESTOV_INLINE_LAMBDA {
                    const T newer_h = lanes::load<T>(h + off + i), newer_l = lanes::load<T>(l + off + i);
                    lanes::store(to_h + i, HighWins::pick(newer_h, lanes::load<T>(h + off + i - rest)));
                    lanes::store(to_l + i, LowWins::pick(newer_l, lanes::load<T>(l + off + i - rest)));
                };
                lanes::each<Pack>(0, last - first, put);
            }
        };
        finish(1);
        std::size_t turn = 0;
        double_spans<Pack>(
            longest, count,
            [&]<class T>(T, std::size_t span, std::size_t j) KESTOV_INLINE_LAMBDA {
                lanes::store(spans[turn][0] + j, HighWins::pick(lanes::load<T>(h + j), lanes::load<T>(h + j - span)));
                lanes::store(spans[turn][1] + j, LowWins::pick(lanes::load<T>(l + j), lanes::load<T>(l + j - span)));
            },
            [&](std::size_t span) KESTOV_INLINE_LAMBDA {
                h = spans[turn][0];
                l = spans[turn][1];
                turn ^= 1;
                finish(span);
            });
    }

    // The window as `pushes` more candles would leave it, the last of them
    // the ones just before `high_end` and `low_end`, at least twice the
    // window's length of them there: the blocks hold only the last complete
    // block and the current one, so pushing those again from a clear, at the
    // same place in a block, gives the same marks.
    void replay(std::size_t pushes, const double* high_end, const double* low_end) noexcept {
        const std::size_t length = blocks_.length(), at = blocks_.position();
        const std::size_t offset = (at == 0 ? pushes - 1 : at - 1 + pushes) % length + 1;
        blocks_.clear();
        for (std::size_t j = length + offset; j > 0; --j) blocks_.push({high_end[-static_cast<std::ptrdiff_t>(j)],
                                                                          low_end[-static_cast<std::ptrdiff_t>(j)]});
    }

    // Rows [0, n) of a batch whose every row pushes its candle: the rows
    // whose window reaches back before this column through `by_row(i)`,
    // then the windows' extremes a chunk of rows at a time, `each(c0, c1,
    // hh, ll)` for rows [c0, c1) with their highest highs and lowest lows
    // from hh[0] and ll[0]; then the window replayed, which needs twice the
    // window in the column: a shorter column goes through `by_row`
    // throughout. Windows longer than `scanned` keep the blocks throughout,
    // whose work per candle does not grow with the window.
    template <class Pack, class ByRow, class Each>
    [[gnu::always_inline]] void scan_chunks(std::size_t period, const double* high, const double* low, std::size_t n,
                                            ByRow&& by_row, Each&& each) noexcept {
        const std::size_t head = period > scanned || n < 2 * period ? n : period - 1;
        for (std::size_t i = 0; i < head; ++i) by_row(i);
        if (head == n) return;
        for (std::size_t c0 = head; c0 < n; c0 += chunk) {
            const std::size_t c1 = std::min(n, c0 + chunk);
            alignas(64) double hh[chunk], ll[chunk];
            extremes<Pack>(high, low, c0, c1, period, hh, ll);
            each(c0, c1, static_cast<const double*>(hh), static_cast<const double*>(ll));
        }
        replay(n - head, high + n, low + n);
    }

    // The same, `put(i, highest, lowest)` for a pack's width of rows from i,
    // or for row i alone, which writes row i's one output to out[i].
    template <class Pack, class ByRow, class Put>
    [[gnu::always_inline]] void scan_rows(std::size_t period, const double* high, const double* low, std::size_t n,
                                          double* out, ByRow&& by_row, Put&& put) noexcept {
        constexpr std::size_t w = lanes::width<Pack>;
        scan_chunks<Pack>(period, high, low, n, by_row,
                          [&](std::size_t c0, std::size_t c1, const double* hh, const double* ll) KESTOV_INLINE_LAMBDA {
                              stretches::claim_rows(out, c1, std::min(n, c1 + (c1 - c0)), 1);
                              std::size_t i = c0;
                              for (; i + w <= c1; i += w)
                                  put(i, lanes::load<Pack>(hh + (i - c0)), lanes::load<Pack>(ll + (i - c0)));
                              for (; i < c1; ++i) put(i, hh[i - c0], ll[i - c0]);
                          });
    }
    static constexpr std::size_t scanned = 128;
    static constexpr std::size_t chunk = 256;

    template <class V>
    void fields(V& v) {
        v(blocks_);
    }

private:
    explicit WindowRange(BlockExtreme<RangeOf<HighWins, LowWins>> blocks) noexcept : blocks_(std::move(blocks)) {}

    BlockExtreme<RangeOf<HighWins, LowWins>> blocks_;

public:
    using Blocks = BlockExtreme<RangeOf<HighWins, LowWins>>;
    const Blocks& blocks() const noexcept { return blocks_; }
    Blocks& blocks() noexcept { return blocks_; }
};

// The blocks of several series of a panel side by side, one per lane of a
// pack (panel.hpp), for windows of up to `most` candles: BlockExtreme's
// steps, each choice a selection in every lane. The lanes share one block
// position, so only series at the same place in their blocks go together.
template <class Pack, class HighWins, class LowWins, std::size_t most>
struct LaneRange {
    using Blocks = BlockExtreme<RangeOf<HighWins, LowWins>>;
    // A slot's high and low side by side, in one cache line; slot `length`
    // is the stand-in every candle beats.
    struct Slot {
        Pack high, low;
    };
    Slot slots[most + 1];
    Slot prefix;
    std::size_t length = 0, offset = 0;
    bool has_tails = false;

    static constexpr bool fits(std::uint64_t period) noexcept { return period <= most; }
    static bool together(const Blocks& a, const Blocks& b) noexcept {
        return a.position() == b.position() && a.has_tails() == b.has_tails();
    }
    void load(const Blocks& b, std::size_t lane) noexcept {
        length = b.length();
        offset = b.position();
        has_tails = b.has_tails();
        for (std::size_t j = 0, end = has_tails ? length : offset; j < end; ++j) {
            slots[j].high[lane] = b.slot(j).high;
            slots[j].low[lane] = b.slot(j).low;
        }
        slots[length].high[lane] = HighWins::loser;
        slots[length].low[lane] = LowWins::loser;
        prefix.high[lane] = b.prefix().high;
        prefix.low[lane] = b.prefix().low;
    }
    void store(Blocks& b, std::size_t lane) const noexcept {
        for (std::size_t j = 0, end = has_tails ? length : offset; j < end; ++j)
            b.slot(j) = {slots[j].high[lane], slots[j].low[lane]};
        b.place(offset, has_tails, {prefix.high[lane], prefix.low[lane]});
    }

    // Of two slots, the newer first, the better in each lane.
    [[gnu::always_inline]] static Slot better(const Slot& newer, const Slot& older) noexcept {
        return {lanes::select(HighWins{}(newer.high, older.high), newer.high, older.high),
                lanes::select(LowWins{}(newer.low, older.low), newer.low, older.low)};
    }
    [[gnu::always_inline]] void push(Pack h, Pack l) noexcept {
        if (offset == length) {
            for (std::size_t j = length - 1; j-- > 0;) slots[j] = better(slots[j + 1], slots[j]);
            offset = 0;
            has_tails = true;
            prefix = {lanes::splat<Pack>(HighWins::loser), lanes::splat<Pack>(LowWins::loser)};
        }
        slots[offset] = {h, l};
        prefix = better(slots[offset], prefix);
        ++offset;
    }
    // The highest high and the lowest low of the window.
    [[gnu::always_inline]] Slot extreme() const noexcept {
        return better(prefix, slots[has_tails && offset != length ? offset : length]);
    }
};

// The lanes of a class whose state is one WindowRange, `member`: settled
// once its window is full; the class adds its step over `range`.
template <class Pack, auto member, std::size_t most = 64>
struct RangeLanes;

template <class Pack, class Owner, class HighWins, class LowWins, WindowRange<HighWins, LowWins> Owner::*member,
          std::size_t most>
struct RangeLanes<Pack, member, most> {
    LaneRange<Pack, HighWins, LowWins, most> range;

    static bool fits(const Owner& o) noexcept { return decltype(range)::fits((o.*member).blocks().length()); }
    static bool settled(const Owner& o) noexcept { return (o.*member).full() && fits(o); }
    static bool together(const Owner& a, const Owner& b) noexcept {
        return decltype(range)::together((a.*member).blocks(), (b.*member).blocks());
    }
    void load(const Owner& o, std::size_t lane) noexcept { range.load((o.*member).blocks(), lane); }
    void store(Owner& o, std::size_t lane) const noexcept { range.store((o.*member).blocks(), lane); }
};

}  // namespace kestov
