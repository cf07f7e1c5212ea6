#pragma once
// Aroon oscillator: Aroon up less Aroon down, from -100 (the lowest low is
// the newest candle, the highest high the oldest) to 100.

#include <cstdint>
#include <optional>
#include <string_view>
#include <tuple>

#include "kestov/candle.hpp"
#include "kestov/error.hpp"
#include "kestov/expected.hpp"
#include "kestov/indicators/aroon.hpp"

namespace kestov {

class AroonOscillator {
public:
    using Input = Candle;
    using Output = double;
    static constexpr std::string_view name = "AroonOscillator";

private:
    Aroon aroon_;
    bool has_value_ = false;
    double value_ = 0.0;
    std::uint64_t period_;

    AroonOscillator(Aroon aroon, std::uint64_t period) noexcept : aroon_(std::move(aroon)), period_(period) {}

public:
    static Expected<AroonOscillator, BuildError> create(std::uint64_t period) noexcept {
        auto aroon = Aroon::create(period);
        if (!aroon) return aroon.error();
        return AroonOscillator(std::move(aroon).value(), period);
    }

    std::optional<double> update(const Candle& candle) noexcept {
        const auto lines = aroon_.update(candle);
        if (!lines) return std::nullopt;
        // Each line rounded on its own, then the difference.
        value_ = (*lines)[0] - (*lines)[1];
        has_value_ = true;
        return value_;
    }

    // Rows [0, n) of valid candles, as n calls of update would give them,
    // with the same state left behind.
    template <class Pack = lanes::Narrow>
    [[gnu::always_inline]] void update_block(const CandleColumns& c, std::size_t n, double* out) noexcept {
        aroon_.lines<Pack>(c, n, [&](std::size_t i, double up, double down)
                                     KESTOV_INLINE_LAMBDA { out[i] = up - down; });
        if (n > 0 && aroon_.is_ready()) {
            value_ = out[n - 1];
            has_value_ = true;
        }
    }

    std::optional<double> value() const noexcept {
        if (!has_value_) return std::nullopt;
        return value_;
    }

    bool is_ready() const noexcept { return has_value_; }
    std::uint64_t warmup_period() const noexcept { return aroon_.warmup_period(); }
    std::uint64_t period() const noexcept { return period_; }

    void reset() noexcept {
        aroon_.reset();
        has_value_ = false;
        value_ = 0.0;
    }

    // Saved state (state.hpp).
    std::tuple<std::uint64_t> config() const noexcept { return {period_}; }
    template <class V>
    void fields(V& v) {
        v(aroon_);
        v(has_value_);
        v(value_);
    }
    const char* state_fault() const noexcept {
        if (has_value_ != aroon_.is_ready()) return "AroonOscillator: value flag and window disagree";
        return nullptr;
    }
};

}  // namespace kestov
