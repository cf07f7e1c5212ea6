#pragma once
// Aroon: how many candles ago, within the last `period` + 1, the highest high
// and the lowest low occurred, scaled so that the newest candle gives 100.

#include <array>
#include <cstdint>
#include <optional>
#include <tuple>
#include <string_view>

#include "kestov/candle.hpp"
#include "kestov/error.hpp"
#include "kestov/expected.hpp"
#include "kestov/ring_buffer.hpp"
#include "kestov/window_extreme.hpp"

namespace kestov {

class Aroon {
public:
    using Input = Candle;
    using Output = std::array<double, 2>;  // up, down
    static constexpr std::string_view name = "Aroon";

private:
    // Of equal highs (lows) the newest candle counts, as a scan from the
    // oldest that takes every high >= its maximum would find.
    BlockExtreme<ExtremeOf<HigherOrEqual>> highs_;
    BlockExtreme<ExtremeOf<LowerOrEqual>> lows_;
    std::uint64_t count_ = 0;  // candles since construction or reset; the next one's sequence number
    std::uint64_t period_;
    std::uint64_t length_;  // period + 1 candles in a full window

    Aroon(BlockExtreme<ExtremeOf<HigherOrEqual>> highs, BlockExtreme<ExtremeOf<LowerOrEqual>> lows,
          std::uint64_t period, std::uint64_t length) noexcept
        : highs_(std::move(highs)), lows_(std::move(lows)), period_(period), length_(length) {}

public:
    static Expected<Aroon, BuildError> create(std::uint64_t period) noexcept {
        if (period == 0) return BuildError{IndicatorError::period_zero()};
        const auto length = plus_one(period);
        if (!length) return BuildError{length.error()};
        auto highs = BlockExtreme<ExtremeOf<HigherOrEqual>>::with_capacity(length.value());
        if (!highs) return BuildError{highs.error()};
        auto lows = BlockExtreme<ExtremeOf<LowerOrEqual>>::with_capacity(length.value());
        if (!lows) return BuildError{lows.error()};
        return Aroon(std::move(highs).value(), std::move(lows).value(), period, length.value());
    }

    std::optional<std::array<double, 2>> update(const Candle& candle) noexcept {
        const std::uint64_t i = count_++;
        const std::uint64_t oldest = i < period_ ? 0 : i - period_;
        highs_.push({i, candle.high()});
        lows_.push({i, candle.low()});
        if (count_ < length_) return std::nullopt;

        const double n = static_cast<double>(period_);
        const double up = (static_cast<double>(highs_.extreme().seq - oldest) * 100.0) / n;
        const double down = (static_cast<double>(lows_.extreme().seq - oldest) * 100.0) / n;
        return std::array<double, 2>{up, down};
    }

    bool is_ready() const noexcept { return count_ >= length_; }
    std::uint64_t warmup_period() const noexcept { return length_; }

    void reset() noexcept {
        highs_.clear();
        lows_.clear();
        count_ = 0;
    }

    // Saved state (state.hpp).
    std::tuple<std::uint64_t> config() const noexcept { return {period_}; }
    template <class V>
    void fields(V& v) {
        v(count_);
        v(highs_);
        v(lows_);
    }
    const char* state_fault() const noexcept {
        if (!highs_.follows(count_) || !lows_.follows(count_)) return "Aroon: candle count and windows disagree";
        return nullptr;
    }
};

}  // namespace kestov
