#pragma once
// Triangular moving average: a simple average of a simple average, whose
// lengths add up to period + 1, so the weights over the last `period` inputs
// rise linearly to the middle and fall again (1, 2, 3, 2, 1 for 5; 1, 2, 2,
// 1 for 4).

#include <cstdint>
#include <optional>
#include <string_view>
#include <tuple>

#include "kestov/error.hpp"
#include "kestov/expected.hpp"
#include "kestov/indicators/sma.hpp"
#include "kestov/numeric.hpp"

namespace kestov {

class TRIMA {
public:
    using Input = double;
    using Output = double;
    static constexpr std::string_view name = "TRIMA";

private:
    SMA inner_;  // period / 2 + 1 inputs
    SMA outer_;  // (period + 1) / 2 inner averages
    std::uint64_t period_;

    TRIMA(SMA inner, SMA outer, std::uint64_t period) noexcept
        : inner_(std::move(inner)), outer_(std::move(outer)), period_(period) {}

public:
    static Expected<TRIMA, BuildError> create(std::uint64_t period) noexcept {
        if (period == 0) return BuildError{IndicatorError::period_zero()};
        auto inner = SMA::create(period / 2 + 1);
        if (!inner) return inner.error();
        auto outer = SMA::create(period / 2 + period % 2);
        if (!outer) return outer.error();
        return TRIMA(std::move(inner).value(), std::move(outer).value(), period);
    }

    std::optional<double> update(double value) noexcept {
        if (!is_finite(value)) return outer_.value();
        const auto inner = inner_.update(value);
        if (!inner) return std::nullopt;
        return outer_.update(*inner);
    }

    std::optional<double> value() const noexcept { return outer_.value(); }

    bool is_ready() const noexcept { return outer_.is_ready(); }
    std::uint64_t warmup_period() const noexcept { return period_; }
    std::uint64_t period() const noexcept { return period_; }

    void reset() noexcept {
        inner_.reset();
        outer_.reset();
    }

    // Saved state (state.hpp).
    std::tuple<std::uint64_t> config() const noexcept { return {period_}; }
    template <class V>
    void fields(V& v) {
        v(inner_);
        v(outer_);
    }
    const char* state_fault() const noexcept {
        if (outer_.has_input() && !inner_.is_ready()) return "TRIMA: outer average fed before the inner was ready";
        return nullptr;
    }
};

}  // namespace kestov
