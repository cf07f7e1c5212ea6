#pragma once
// Standard deviation: the square root of the population variance of the
// last `period` finite values (Variance), times `nbdev`.

#include <cmath>
#include <cstddef>
#include <cstdint>
#include <optional>
#include <string_view>
#include <tuple>
#include <type_traits>

#include "kestov/error.hpp"
#include "kestov/expected.hpp"
#include "kestov/indicators/variance.hpp"
#include "kestov/lanes.hpp"
#include "kestov/numeric.hpp"

namespace kestov {

class StdDev {
public:
    using Input = double;
    using Output = double;
    static constexpr std::string_view name = "StdDev";

private:
    Variance variance_;
    double nbdev_;

    StdDev(Variance variance, double nbdev) noexcept : variance_(std::move(variance)), nbdev_(nbdev) {}

    template <class T>
    [[gnu::always_inline]] T deviation(T variance) const noexcept {
        return deviation(variance, nbdev_);
    }
    template <class T>
    [[gnu::always_inline]] static T deviation(T variance, double nbdev) noexcept {
        return lanes::sqrt(variance) * nbdev;
    }

public:
    // nbdev is refused as a band multiplier is, unless finite and above
    // zero: a negative one would make the deviation negative, and zero
    // would leave nothing of it.
    static Expected<StdDev, BuildError> create(std::uint64_t period, double nbdev) noexcept {
        if (period == 0) return BuildError{IndicatorError::period_zero()};
        if (!(is_finite(nbdev) && nbdev > 0.0)) return BuildError{IndicatorError::invalid_multiplier()};
        auto variance = Variance::create(period);
        if (!variance) return variance.error();
        return StdDev(std::move(variance).value(), nbdev);
    }

    std::optional<double> update(double value) noexcept {
        const auto variance = variance_.update(value);
        if (!variance) return std::nullopt;
        return deviation(*variance);
    }

    // Rows [0, n) of a column, as n calls of update would give them (NaN
    // where update gives nothing), with the same state left behind.
    // Settled series of a panel, one per lane of a pack (panel.hpp):
    // Variance's, for periods of up to 64.
    template <class Pack>
    struct Lanes {
        Variance::Lanes<Pack> variance;
        double nbdev = 0.0;

        static bool fits(const StdDev& d) noexcept { return Variance::Lanes<Pack>::fits(d.variance_); }
        static bool settled(const StdDev& d) noexcept { return Variance::Lanes<Pack>::settled(d.variance_); }
        void load(const StdDev& d, std::size_t lane) noexcept {
            variance.load(d.variance_, lane);
            nbdev = d.nbdev_;
        }
        void store(StdDev& d, std::size_t lane) const noexcept { variance.store(d.variance_, lane); }
        [[gnu::always_inline]] Pack step(Pack x) noexcept { return deviation(variance.step(x), nbdev); }
    };

    template <class Pack = lanes::Narrow>
    [[gnu::always_inline]] void update_block(const double* values, std::size_t n, double* out) noexcept {
        variance_.update_block<Pack>(values, n, out,
                                     [&](auto variance) KESTOV_INLINE_LAMBDA { return deviation(variance); });
    }

    std::optional<double> value() const noexcept {
        const auto variance = variance_.value();
        if (!variance) return std::nullopt;
        return deviation(*variance);
    }

    bool is_ready() const noexcept { return variance_.is_ready(); }
    std::uint64_t warmup_period() const noexcept { return variance_.warmup_period(); }
    std::uint64_t period() const noexcept { return variance_.period(); }
    double nbdev() const noexcept { return nbdev_; }

    void reset() noexcept { variance_.reset(); }

    // Saved state (state.hpp).
    std::tuple<std::uint64_t, double> config() const noexcept { return {variance_.period(), nbdev_}; }
    template <class V>
    void fields(V& v) {
        v(variance_);
    }
};

}  // namespace kestov
