#pragma once
// Percentage price oscillator: the fast EMA's distance from the slow EMA in
// percent of the slow one, an EMA of that as the signal, and their
// difference; MACD in percent.

#include <string_view>

#include "kestov/indicators/ema_oscillator.hpp"
#include "kestov/lanes.hpp"

namespace kestov {

struct PpoLine {
    static constexpr std::string_view name = "PPO";
    // The difference is divided before it is scaled; a zero slow average
    // gives 0.
    template <class V>
    [[gnu::always_inline]] static V of(V fast, V slow) noexcept {
        return lanes::select(slow == 0.0, lanes::splat<V>(0.0), ((fast - slow) / slow) * 100.0);
    }
};

using PPO = EmaOscillator<PpoLine>;

}  // namespace kestov
