#pragma once
// True range: the candle's range widened to the previous close, the largest
// of high - low, |high - previous close| and |low - previous close|. The
// first candle has no previous close and gives no value.

#include <cmath>
#include <cstdint>
#include <optional>
#include <string_view>
#include <tuple>
#include <type_traits>

#include "kestov/candle.hpp"
#include "kestov/error.hpp"
#include "kestov/expected.hpp"
#include "kestov/lanes.hpp"
#include "kestov/numeric.hpp"

namespace kestov {

class TrueRange {
public:
    using Input = Candle;
    using Output = double;
    static constexpr std::string_view name = "TrueRange";

private:
    bool has_prev_close_ = false;
    bool has_value_ = false;
    double prev_close_ = 0.0;
    double value_ = 0.0;

public:
    static Expected<TrueRange, BuildError> create() noexcept { return TrueRange(); }

    std::optional<double> update(const Candle& candle) noexcept {
        const double h = candle.high();
        const double l = candle.low();
        const double pc = prev_close_;
        const bool had = has_prev_close_;
        prev_close_ = candle.close();
        has_prev_close_ = true;
        if (!had) return std::nullopt;
        has_value_ = true;
        value_ = of(h, l, pc);
        return value_;
    }

    // In this order, as ATR's true range. Of a double, or of each lane of a pack.
    template <class T>
    [[gnu::always_inline]] static T of(T high, T low, T prev_close) noexcept {
        return larger(larger(high - low, lanes::abs(high - prev_close)), lanes::abs(low - prev_close));
    }

    std::optional<double> value() const noexcept {
        if (!has_value_) return std::nullopt;
        return value_;
    }

    bool is_ready() const noexcept { return has_value_; }
    std::uint64_t warmup_period() const noexcept { return 2; }

    void reset() noexcept { *this = TrueRange(); }

    // Saved state (state.hpp).
    std::tuple<> config() const noexcept { return {}; }
    template <class V>
    void fields(V& v) {
        v(has_prev_close_);
        v(has_value_);
        v(prev_close_);
        v(value_);
    }
    const char* state_fault() const noexcept {
        if (has_value_ && !has_prev_close_) return "TrueRange: a value without a previous close";
        return nullptr;
    }

private:
    // max_ignoring_nan, lane by lane for a pack.
    template <class T>
    [[gnu::always_inline]] static T larger(T a, T b) noexcept {
        if constexpr (std::is_same_v<T, double>) {
            return max_ignoring_nan(a, b);
        } else {
            return lanes::select(a != a, b, lanes::select(b != b, a, lanes::select(a < b, b, a)));
        }
    }
};

}  // namespace kestov
