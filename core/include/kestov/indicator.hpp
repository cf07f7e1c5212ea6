#pragma once
// What every core indicator provides. Composites hold their components by
// value and drive them only through this interface; the Python binding is
// written once against it.

#include <concepts>
#include <cstdint>
#include <optional>

#include "kestov/candle.hpp"
#include "kestov/error.hpp"
#include "kestov/expected.hpp"
#include "kestov/pair.hpp"

namespace kestov {

// Value indicators take a price, candle indicators a validated Candle, and
// the two-series statistics a Pair.
template <class T>
concept IndicatorInput = std::same_as<T, double> || std::same_as<T, Candle> || std::same_as<T, Pair>;

template <class T>
concept Indicator = std::movable<T> && IndicatorInput<typename T::Input> &&
    requires(T indicator, const T& view, const typename T::Input& input) {
        typename T::Output;
        { indicator.update(input) } noexcept -> std::same_as<std::optional<typename T::Output>>;
        { indicator.reset() } noexcept;
        { view.is_ready() } noexcept -> std::same_as<bool>;
        { view.warmup_period() } noexcept -> std::same_as<std::uint64_t>;
    };

}  // namespace kestov
