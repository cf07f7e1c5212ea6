#pragma once
// Price-volume trend: a running total of each candle's volume weighted by
// the relative change of the close, ((close - previous close) / previous
// close) * volume. It starts at 0 on the first candle, which only sets the
// previous close, as TA-Lib's PVT does.

#include <cstdint>
#include <optional>
#include <string_view>
#include <tuple>

#include "kestov/candle.hpp"
#include "kestov/error.hpp"
#include "kestov/expected.hpp"
#include "kestov/numeric.hpp"

namespace kestov {

class PVT {
public:
    using Input = Candle;
    using Output = double;
    static constexpr std::string_view name = "PVT";

private:
    bool has_prev_close_ = false;
    double prev_close_ = 0.0;
    double value_ = 0.0;

public:
    static Expected<PVT, BuildError> create() noexcept { return PVT(); }

    std::optional<double> update(const Candle& candle) noexcept {
        const double c = candle.close();
        // A previous close of 0 has no relative change (TA-Lib adds nothing
        // either), and a term too large for a double is left out rather than
        // made the total for good.
        if (has_prev_close_ && prev_close_ != 0.0) {
            const double term = ((c - prev_close_) / prev_close_) * candle.volume();
            if (is_finite(term)) value_ = value_ + term;
        }
        prev_close_ = c;
        has_prev_close_ = true;
        return value_;
    }

    std::optional<double> value() const noexcept {
        if (!has_prev_close_) return std::nullopt;
        return value_;
    }

    bool is_ready() const noexcept { return has_prev_close_; }
    std::uint64_t warmup_period() const noexcept { return 1; }

    void reset() noexcept { *this = PVT(); }

    // Saved state (state.hpp).
    std::tuple<> config() const noexcept { return {}; }
    template <class V>
    void fields(V& v) {
        v(has_prev_close_);
        v(prev_close_);
        v(value_);
    }
    const char* state_fault() const noexcept {
        if (!has_prev_close_ && value_ != 0.0) return "PVT: a total before the first candle";
        return nullptr;
    }
};

}  // namespace kestov
