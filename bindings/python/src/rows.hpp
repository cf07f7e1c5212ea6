#pragma once
// How one row of batch columns becomes one core input. A class names the
// reader that fits its indicator; candle readers fill the fields their
// columns lack (`fields`: open, high, low, close, volume) before the candle
// rules run.

#include <array>
#include <cstddef>

#include "arrays.hpp"
#include "kestov/candle.hpp"
#include "kestov/pair.hpp"

namespace kestov::py {

inline constexpr const char* hlc_lengths = "high, low, close must be equal length";
inline constexpr const char* hl_lengths = "high and low must be equal length";
inline constexpr const char* cv_lengths = "close and volume must be equal length";
inline constexpr const char* ohlc_lengths = "open, high, low, close must be equal length";
inline constexpr const char* ab_lengths = "a and b must be equal length";
inline constexpr const char* timestamp_lengths = "timestamp must be as long as the price columns";
inline constexpr const char* hlv_lengths = "high, low, volume must be equal length";

inline Expected<Candle, IndicatorError> candle(const std::array<double, 5>& f) noexcept {
    return Candle::create(f[0], f[1], f[2], f[3], f[4], 0);
}

// The dtype of each column a reader names: float64 unless it says otherwise.
template <class Rows>
constexpr auto column_types() {
    if constexpr (requires { Rows::types; }) {
        static_assert(Rows::types.size() == Rows::names.size());
        return Rows::types;
    } else {
        std::array<Dtype, Rows::names.size()> all{};
        all.fill(Dtype::Float64);
        return all;
    }
}

// A column's values in place, for a core that takes whole columns; only
// for columns whose data is aligned for double (see row_loop.hpp).
inline const double* doubles(const Column& c) noexcept { return reinterpret_cast<const double*>(c.data); }

// One price column, fed as it is.
struct Prices {
    static constexpr std::array<const char*, 1> names{"prices"};
    static constexpr std::array<LengthRule, 0> lengths{};
    static double row(const Column* c, std::size_t i) noexcept { return c[0][i]; }
};

// High, low and close; open is the close and volume 0.
struct HighLowClose {
    static constexpr std::array<const char*, 3> names{"high", "low", "close"};
    static constexpr std::array<LengthRule, 1> lengths{{{0, 3, hlc_lengths}}};
    static std::array<double, 5> fields(const Column* c, std::size_t i) noexcept {
        const double close = c[2][i];
        return {close, c[0][i], c[1][i], close, 0.0};
    }
    static Expected<Candle, IndicatorError> row(const Column* c, std::size_t i) noexcept { return candle(fields(c, i)); }
    static CandleColumns pointers(const Column* c) noexcept {
        return {doubles(c[2]), doubles(c[0]), doubles(c[1]), doubles(c[2]), nullptr};
    }
};

// High and low; open and close are the low, volume 0. Only the finiteness
// and high >= low rules can fail on such a candle.
struct HighLow {
    static constexpr std::array<const char*, 2> names{"high", "low"};
    static constexpr std::array<LengthRule, 1> lengths{{{0, 2, hl_lengths}}};
    static std::array<double, 5> fields(const Column* c, std::size_t i) noexcept {
        const double low = c[1][i];
        return {low, c[0][i], low, low, 0.0};
    }
    static Expected<Candle, IndicatorError> row(const Column* c, std::size_t i) noexcept { return candle(fields(c, i)); }
    static CandleColumns pointers(const Column* c) noexcept {
        return {doubles(c[1]), doubles(c[0]), doubles(c[1]), doubles(c[1]), nullptr};
    }
};

// High, low and volume; open and close are the low, as HighLow's. Only the
// finiteness, volume and high >= low rules can fail on such a candle.
struct HighLowVolume {
    static constexpr std::array<const char*, 3> names{"high", "low", "volume"};
    static constexpr std::array<LengthRule, 1> lengths{{{0, 3, hlv_lengths}}};
    static std::array<double, 5> fields(const Column* c, std::size_t i) noexcept {
        const double low = c[1][i];
        return {low, c[0][i], low, low, c[2][i]};
    }
    static Expected<Candle, IndicatorError> row(const Column* c, std::size_t i) noexcept { return candle(fields(c, i)); }
    static CandleColumns pointers(const Column* c) noexcept {
        return {doubles(c[1]), doubles(c[0]), doubles(c[1]), doubles(c[1]), doubles(c[2])};
    }
};

// Close and volume; every price is the close. Only the finiteness and volume
// rules can fail on such a candle.
struct CloseVolume {
    static constexpr std::array<const char*, 2> names{"close", "volume"};
    static constexpr std::array<LengthRule, 1> lengths{{{0, 2, cv_lengths}}};
    static std::array<double, 5> fields(const Column* c, std::size_t i) noexcept {
        const double close = c[0][i];
        return {close, close, close, close, c[1][i]};
    }
    static Expected<Candle, IndicatorError> row(const Column* c, std::size_t i) noexcept { return candle(fields(c, i)); }
    static CandleColumns pointers(const Column* c) noexcept {
        return {doubles(c[0]), doubles(c[0]), doubles(c[0]), doubles(c[0]), doubles(c[1])};
    }
};

// High, low, close and volume; open is the close. Price lengths are compared
// before the volume's.
struct HighLowCloseVolume {
    static constexpr std::array<const char*, 4> names{"high", "low", "close", "volume"};
    static constexpr std::array<LengthRule, 2> lengths{{{0, 3, hlc_lengths}, {2, 4, cv_lengths}}};
    static std::array<double, 5> fields(const Column* c, std::size_t i) noexcept {
        const double close = c[2][i];
        return {close, c[0][i], c[1][i], close, c[3][i]};
    }
    static Expected<Candle, IndicatorError> row(const Column* c, std::size_t i) noexcept { return candle(fields(c, i)); }
    static CandleColumns pointers(const Column* c) noexcept {
        return {doubles(c[2]), doubles(c[0]), doubles(c[1]), doubles(c[2]), doubles(c[3])};
    }
};

// Open, high, low and close; volume 0.
struct OpenHighLowClose {
    static constexpr std::array<const char*, 4> names{"open", "high", "low", "close"};
    static constexpr std::array<LengthRule, 1> lengths{{{0, 4, ohlc_lengths}}};
    static std::array<double, 5> fields(const Column* c, std::size_t i) noexcept {
        return {c[0][i], c[1][i], c[2][i], c[3][i], 0.0};
    }
    static Expected<Candle, IndicatorError> row(const Column* c, std::size_t i) noexcept { return candle(fields(c, i)); }
    static CandleColumns pointers(const Column* c) noexcept {
        return {doubles(c[0]), doubles(c[1]), doubles(c[2]), doubles(c[3]), nullptr};
    }
};

// Two series observed together, a row of each making one pair. A NaN in
// either is the indicator's to skip, as a value indicator skips one.
struct Pairs {
    static constexpr std::array<const char*, 2> names{"a", "b"};
    static constexpr std::array<LengthRule, 1> lengths{{{0, 2, ab_lengths}}};
    static Pair row(const Column* c, std::size_t i) noexcept { return {c[0][i], c[1][i]}; }
};

// High, low, close and volume as HighLowCloseVolume reads them, and the
// candle's timestamp from an int64 column.
struct HighLowCloseVolumeTimestamp {
    static constexpr std::array<const char*, 5> names{"high", "low", "close", "volume", "timestamp"};
    static constexpr std::array<Dtype, 5> types{Dtype::Float64, Dtype::Float64, Dtype::Float64, Dtype::Float64,
                                                Dtype::Int64};
    static constexpr std::array<LengthRule, 3> lengths{
        {{0, 3, hlc_lengths}, {2, 4, cv_lengths}, {0, 5, timestamp_lengths}}};
    static std::array<double, 5> fields(const Column* c, std::size_t i) noexcept {
        return HighLowCloseVolume::fields(c, i);
    }
    static Expected<Candle, IndicatorError> row(const Column* c, std::size_t i) noexcept {
        const auto f = fields(c, i);
        return Candle::create(f[0], f[1], f[2], f[3], f[4], c[4].i64(i));
    }
};

}  // namespace kestov::py
