#pragma once
// On-balance volume: a running total of volume signed by the direction of
// the close. The first candle only sets the reference close.

#include <cstdint>
#include <optional>
#include <tuple>
#include <string_view>

#include "kestov/candle.hpp"
#include "kestov/error.hpp"
#include "kestov/expected.hpp"
#include "kestov/numeric.hpp"

namespace kestov {

class OBV {
public:
    using Input = Candle;
    using Output = double;
    static constexpr std::string_view name = "OBV";

private:
    bool has_prev_close_ = false;
    double prev_close_ = 0.0;
    double value_ = 0.0;
    bool has_value_ = false;

public:
    static Expected<OBV, BuildError> create() noexcept { return OBV(); }

    // Always produces a value, from the first candle on.
    std::optional<double> update(const Candle& candle) noexcept {
        const double c = candle.close();
        // Both sums are formed and one is kept, without a branch: the
        // direction of the close is as random as the prices.
        const double up = value_ + candle.volume();
        const double down = value_ - candle.volume();
        const double prev = has_prev_close_ ? prev_close_ : c;
        value_ = pick(c > prev, up, pick(c < prev, down, value_));
        prev_close_ = c;
        has_prev_close_ = true;
        has_value_ = true;
        return value_;
    }

    std::optional<double> value() const noexcept {
        if (!has_value_) return std::nullopt;
        return value_;
    }

    bool is_ready() const noexcept { return has_value_; }
    std::uint64_t warmup_period() const noexcept { return 1; }

    void reset() noexcept { *this = OBV(); }

    // Saved state (state.hpp).
    std::tuple<> config() const noexcept { return {}; }
    template <class V>
    void fields(V& v) {
        v(has_prev_close_);
        v(prev_close_);
        v(value_);
        v(has_value_);
    }
    const char* state_fault() const noexcept {
        if (has_value_ != has_prev_close_) return "OBV: value and previous close disagree";
        return nullptr;
    }
};

}  // namespace kestov
