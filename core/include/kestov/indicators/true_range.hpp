#pragma once
// True range: the candle's range widened to the previous close, the largest
// of high - low, |high - previous close| and |low - previous close|. The
// first candle has no previous close and gives no value.

#include <cmath>
#include <cstdint>
#include <optional>
#include <string_view>
#include <tuple>

#include "kestov/candle.hpp"
#include "kestov/error.hpp"
#include "kestov/expected.hpp"
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
        // In this order, as ATR's true range.
        value_ = max_ignoring_nan(max_ignoring_nan(h - l, std::fabs(h - pc)), std::fabs(l - pc));
        return value_;
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
};

}  // namespace kestov
