#pragma once
// What every core indicator provides. Composites hold their components by
// value and drive them only through this interface; the Python binding is
// written once against it.

#include <concepts>
#include <cstddef>
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

// Some indicators also take whole columns at once: `update_block(columns,
// n, out)` writes what n calls of update would return, row after row, each
// output's values in order (NaN where update returns nothing), and leaves
// the same state behind, every bit. A value class takes a column of values;
// a candle class takes CandleColumns whose n rows are all valid candles; a
// two-series statistic takes PairColumns. `update_block<Pack>`
// computes independent rows Pack's lanes at a time (lanes.hpp).
template <class T>
concept TakesValueColumn = Indicator<T> && std::same_as<typename T::Input, double> &&
    requires(T indicator, const double* values, std::size_t n, double* out) {
        { indicator.update_block(values, n, out) } noexcept;
    };

template <class T>
concept TakesCandleColumns = Indicator<T> && std::same_as<typename T::Input, Candle> &&
    requires(T indicator, const CandleColumns& columns, std::size_t n, double* out) {
        { indicator.update_block(columns, n, out) } noexcept;
    };

template <class T>
concept TakesPairColumns = Indicator<T> && std::same_as<typename T::Input, Pair> &&
    requires(T indicator, const PairColumns& columns, std::size_t n, double* out) {
        { indicator.update_block(columns, n, out) } noexcept;
    };

template <class T>
concept TakesColumns = TakesValueColumn<T> || TakesCandleColumns<T> || TakesPairColumns<T>;

}  // namespace kestov
