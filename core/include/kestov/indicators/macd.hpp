#pragma once
// Moving average convergence/divergence: the difference of a fast and a slow
// EMA, an EMA of that difference as the signal, and their difference.

#include <string_view>

#include "kestov/indicators/ema_oscillator.hpp"

namespace kestov {

struct MacdLine {
    static constexpr std::string_view name = "MACD";
    template <class V>
    [[gnu::always_inline]] static V of(V fast, V slow) noexcept { return fast - slow; }
};

using MACD = EmaOscillator<MacdLine>;

}  // namespace kestov
