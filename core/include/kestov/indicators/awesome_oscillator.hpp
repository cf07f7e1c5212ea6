#pragma once
// Awesome oscillator: a fast minus a slow simple average of the median price.

#include <cstdint>
#include <optional>
#include <tuple>
#include <string_view>

#include "kestov/candle.hpp"
#include "kestov/error.hpp"
#include "kestov/expected.hpp"
#include "kestov/indicators/sma.hpp"

namespace kestov {

class AwesomeOscillator {
public:
    using Input = Candle;
    using Output = double;
    static constexpr std::string_view name = "AwesomeOscillator";

private:
    SMA fast_sma_;
    SMA slow_sma_;
    std::uint64_t fast_;
    std::uint64_t slow_;

    AwesomeOscillator(SMA fast_sma, SMA slow_sma, std::uint64_t fast, std::uint64_t slow) noexcept
        : fast_sma_(std::move(fast_sma)), slow_sma_(std::move(slow_sma)), fast_(fast), slow_(slow) {}

public:
    static Expected<AwesomeOscillator, BuildError> create(std::uint64_t fast, std::uint64_t slow) noexcept {
        if (fast == 0 || slow == 0) return BuildError{IndicatorError::period_zero()};
        if (fast >= slow)
            return BuildError{IndicatorError::invalid_period("AO fast period must be strictly less than slow")};
        auto fast_sma = SMA::create(fast);
        if (!fast_sma) return fast_sma.error();
        auto slow_sma = SMA::create(slow);
        if (!slow_sma) return slow_sma.error();
        return AwesomeOscillator(std::move(fast_sma).value(), std::move(slow_sma).value(), fast, slow);
    }

    std::optional<double> update(const Candle& candle) noexcept {
        const double median = (candle.high() + candle.low()) * 0.5;
        // Both averages see every median, whether or not the other has a value.
        const std::optional<double> fast = fast_sma_.update(median);
        const std::optional<double> slow = slow_sma_.update(median);
        if (!fast || !slow) return std::nullopt;
        return *fast - *slow;
    }

    bool is_ready() const noexcept { return slow_sma_.is_ready(); }
    std::uint64_t warmup_period() const noexcept { return slow_; }

    void reset() noexcept {
        fast_sma_.reset();
        slow_sma_.reset();
    }

    // Saved state (state.hpp).
    std::tuple<std::uint64_t, std::uint64_t> config() const noexcept { return {fast_, slow_}; }
    template <class V>
    void fields(V& v) {
        v(fast_sma_);
        v(slow_sma_);
    }
};

}  // namespace kestov
