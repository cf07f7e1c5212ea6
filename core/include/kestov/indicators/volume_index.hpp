#pragma once
// A volume index (Fosback): an index that follows the relative change of
// the close only on the candles whose volume moved one way from the previous
// candle's, index + ((close - previous close) / previous close) * index, and
// stays on the others. It starts at 1000, the customary base and TA-Lib's,
// on the first candle, which only sets the previous close and volume. `Side`
// names the indicator and says which volumes count (NVI: lower, PVI: higher).

#include <cstdint>
#include <optional>
#include <string_view>
#include <tuple>

#include "kestov/candle.hpp"
#include "kestov/error.hpp"
#include "kestov/expected.hpp"
#include "kestov/numeric.hpp"

namespace kestov {

inline constexpr double volume_index_base = 1000.0;

template <class Side>
class VolumeIndex {
public:
    using Input = Candle;
    using Output = double;
    static constexpr std::string_view name = Side::name;

private:
    bool has_prev_ = false;
    double prev_close_ = 0.0;
    double prev_volume_ = 0.0;
    double value_ = volume_index_base;

public:
    static Expected<VolumeIndex, BuildError> create() noexcept { return VolumeIndex(); }

    std::optional<double> update(const Candle& candle) noexcept {
        const double c = candle.close();
        const double v = candle.volume();
        // A previous close of 0 has no relative change (TA-Lib leaves the
        // index there too), and a step too large for a double is left out
        // rather than made the index for good. The step is formed whether
        // or not the volume counts and kept through a mask, not a branch:
        // the volume's direction is as random as the prices'.
        if (has_prev_ && prev_close_ != 0.0) {
            const double step = ((c - prev_close_) / prev_close_) * value_;
            const bool counts = Side::counts(v, prev_volume_), finite = is_finite(step);
            value_ = pick(counts & finite, value_ + step, value_);
        }
        prev_close_ = c;
        prev_volume_ = v;
        has_prev_ = true;
        return value_;
    }

    std::optional<double> value() const noexcept {
        if (!has_prev_) return std::nullopt;
        return value_;
    }

    bool is_ready() const noexcept { return has_prev_; }
    std::uint64_t warmup_period() const noexcept { return 1; }

    void reset() noexcept { *this = VolumeIndex(); }

    // Saved state (state.hpp).
    std::tuple<> config() const noexcept { return {}; }
    template <class V>
    void fields(V& v) {
        v(has_prev_);
        v(prev_close_);
        v(prev_volume_);
        v(value_);
    }
    const char* state_fault() const noexcept {
        if (!has_prev_ && value_ != volume_index_base) return Side::fault_before_first;
        return nullptr;
    }
};

}  // namespace kestov
