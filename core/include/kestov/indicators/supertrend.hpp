#pragma once
// SuperTrend: bands `multiplier` average true ranges above and below the
// candle's midpoint (high + low) / 2, each allowed to move only towards the
// price while the close stays on its side; the trend turns down when the
// close falls below the lower band and up when it rises above the upper
// one, and the line is the band on the trend's far side. The average true
// range is Wilder's average (RMA) of the true range from the second candle,
// TA-Lib's ATR; the trend starts up.

#include <array>
#include <cstdint>
#include <optional>
#include <string_view>
#include <tuple>
#include <type_traits>

#include "kestov/candle.hpp"
#include "kestov/error.hpp"
#include "kestov/expected.hpp"
#include "kestov/indicators/rma.hpp"
#include "kestov/indicators/true_range.hpp"
#include "kestov/lanes.hpp"
#include "kestov/numeric.hpp"
#include "kestov/stretches.hpp"

namespace kestov {

class SuperTrend {
public:
    using Input = Candle;
    using Output = std::array<double, 2>;  // line, direction (+1 up, -1 down)
    static constexpr std::string_view name = "SuperTrend";

private:
    TrueRange true_range_;
    RMA atr_;
    bool has_prev_close_ = false;
    bool has_bands_ = false;
    bool up_ = true;
    double prev_close_ = 0.0;
    double upper_ = 0.0;
    double lower_ = 0.0;
    std::uint64_t period_;
    double multiplier_;

    SuperTrend(TrueRange true_range, RMA atr, std::uint64_t period, double multiplier) noexcept
        : true_range_(std::move(true_range)), atr_(std::move(atr)), period_(period), multiplier_(multiplier) {}

public:
    static Expected<SuperTrend, BuildError> create(std::uint64_t period, double multiplier) noexcept {
        if (period == 0) return BuildError{IndicatorError::period_zero()};
        if (!(is_finite(multiplier) && multiplier > 0.0)) return BuildError{IndicatorError::invalid_multiplier()};
        auto true_range = TrueRange::create();
        if (!true_range) return true_range.error();
        auto atr = RMA::create(period);
        if (!atr) return atr.error();
        return SuperTrend(std::move(true_range).value(), std::move(atr).value(), period, multiplier);
    }

    std::optional<Output> update(const Candle& candle) noexcept {
        const double close = candle.close();
        const double pc = prev_close_;
        prev_close_ = close;
        has_prev_close_ = true;
        const auto tr = true_range_.update(candle);
        if (!tr) return std::nullopt;
        const auto atr = atr_.update(*tr);
        if (!atr) return std::nullopt;

        const double mid = (candle.high() + candle.low()) / 2.0;
        const double width = multiplier_ * *atr;
        const double upper = mid + width;
        const double lower = mid - width;
        if (!has_bands_) {
            upper_ = upper;
            lower_ = lower;
            up_ = true;
            has_bands_ = true;
        } else {
            follow(upper_, lower_, up_, upper, lower, pc, close);
        }
        return current();
    }

    // A band moves away from the price only once the previous close has
    // crossed it; the direction turns when the close crosses the band.
    // Selects rather than branches: the crossings follow the prices.
    [[gnu::always_inline]] static void follow(double& upper_band, double& lower_band, bool& up, double upper,
                                              double lower, double pc, double close) noexcept {
        upper_band = ((upper < upper_band) | (pc > upper_band)) ? upper : upper_band;
        lower_band = ((lower > lower_band) | (pc < lower_band)) ? lower : lower_band;
        up = (up & !(close < lower_band)) | (!up & (close > upper_band));
    }

    // Rows [0, n) of valid candle columns, as n calls of update would give
    // them. Once the bands are set, a chunk at a time: the true ranges
    // several rows at a time, the average's chain, the bands' widths
    // several rows at a time; the bands themselves follow a chunk behind,
    // between the average's steps.
    template <class Pack = lanes::Narrow>
    [[gnu::always_inline]] void update_block(const CandleColumns& c, std::size_t n, double* out) noexcept {
        std::size_t i = 0;
        for (; i < n && !has_bands_; ++i) stretches::through_update(*this, c.at(i), out, i);
        if (i == n) return;
        const double p = static_cast<double>(period_);
        const double m = multiplier_;
        double atr = atr_.settled(), upper_band = upper_, lower_band = lower_;
        bool up = up_;
        double last_tr = 0.0;
        // The first true range from the close its own state holds, as update
        // takes it; the bands follow the class's.
        TrueRange::chain_over<Pack, 1>(
            c, i, n, true_range_.previous_close(),
            [&](double tr, std::size_t) KESTOV_INLINE_LAMBDA {
                last_tr = tr;
                // The average skips a true range beyond the largest double, as its update does.
                if (is_finite(tr)) [[likely]]
                    atr = RMA::step(atr, tr, p);
                return std::array<double, 1>{atr};
            },
            [&](const auto& k, std::size_t r) KESTOV_INLINE_LAMBDA {
                using V = std::remove_cvref_t<decltype(k[0])>;
                const V mid = (lanes::load<V>(c.high + r) + lanes::load<V>(c.low + r)) / 2.0;
                const V width = m * k[0];
                const V upper = mid + width, lower = mid - width;
                // The candidate bands wait in the row's two slots.
                for (std::size_t j = 0; j < lanes::width<V>; ++j) {
                    out[2 * (r + j)] = lanes::lane(upper, j);
                    out[2 * (r + j) + 1] = lanes::lane(lower, j);
                }
            },
            [&](std::size_t r) KESTOV_INLINE_LAMBDA {
                const double pc = r == 0 ? prev_close_ : c.close[r - 1];
                follow(upper_band, lower_band, up, out[2 * r], out[2 * r + 1], pc, c.close[r]);
                out[2 * r] = up ? lower_band : upper_band;
                out[2 * r + 1] = up ? 1.0 : -1.0;
            });
        true_range_.settle(c.close[n - 1], last_tr);
        atr_.settle(atr);
        upper_ = upper_band;
        lower_ = lower_band;
        up_ = up;
        prev_close_ = c.close[n - 1];
    }

    std::optional<Output> value() const noexcept {
        if (!has_bands_) return std::nullopt;
        return current();
    }

    bool is_ready() const noexcept { return has_bands_; }
    std::uint64_t warmup_period() const noexcept { return period_ + 1; }
    std::uint64_t period() const noexcept { return period_; }
    double multiplier() const noexcept { return multiplier_; }

    void reset() noexcept {
        true_range_.reset();
        atr_.reset();
        has_prev_close_ = false;
        has_bands_ = false;
        up_ = true;
        prev_close_ = upper_ = lower_ = 0.0;
    }

    // Saved state (state.hpp).
    std::tuple<std::uint64_t, double> config() const noexcept { return {period_, multiplier_}; }
    template <class V>
    void fields(V& v) {
        v(true_range_);
        v(atr_);
        v(has_prev_close_);
        v(has_bands_);
        v(up_);
        v(prev_close_);
        v(upper_);
        v(lower_);
    }
    const char* state_fault() const noexcept {
        if (has_bands_ != atr_.is_ready()) return "SuperTrend: bands and average disagree";
        if (atr_.has_input() && !true_range_.is_ready()) return "SuperTrend: average fed before a true range";
        if (true_range_.is_ready() && !has_prev_close_) return "SuperTrend: a true range without a previous close";
        return nullptr;
    }

private:
    Output current() const noexcept { return up_ ? Output{lower_, 1.0} : Output{upper_, -1.0}; }
};

}  // namespace kestov
