#pragma once
// Coppock curve: a WMA of the sum of two rates of change (ROC, in percent).

#include <algorithm>
#include <cstdint>
#include <optional>
#include <string_view>
#include <tuple>

#include "kestov/error.hpp"
#include "kestov/expected.hpp"
#include "kestov/indicators/roc.hpp"
#include "kestov/indicators/wma.hpp"
#include "kestov/numeric.hpp"

namespace kestov {

class Coppock {
public:
    using Input = double;
    using Output = double;
    static constexpr std::string_view name = "Coppock";

private:
    ROC roc1_;
    ROC roc2_;
    WMA wma_;
    std::uint64_t wma_period_;
    std::uint64_t roc1_period_;
    std::uint64_t roc2_period_;

    Coppock(ROC roc1, ROC roc2, WMA wma, std::uint64_t w, std::uint64_t r1, std::uint64_t r2) noexcept
        : roc1_(std::move(roc1)), roc2_(std::move(roc2)), wma_(std::move(wma)), wma_period_(w), roc1_period_(r1),
          roc2_period_(r2) {}

public:
    static Expected<Coppock, BuildError> create(std::uint64_t wma_period, std::uint64_t roc1,
                                                std::uint64_t roc2) noexcept {
        if (wma_period == 0 || roc1 == 0 || roc2 == 0) return BuildError{IndicatorError::period_zero()};
        auto w = WMA::create(wma_period);
        if (!w) return w.error();
        auto r1 = ROC::create(roc1);
        if (!r1) return r1.error();
        auto r2 = ROC::create(roc2);
        if (!r2) return r2.error();
        return Coppock(std::move(r1).value(), std::move(r2).value(), std::move(w).value(), wma_period, roc1, roc2);
    }

    std::optional<double> update(double value) noexcept {
        if (!is_finite(value)) return wma_.value();
        const auto a = roc1_.update(value);
        const auto b = roc2_.update(value);
        if (!a || !b) return std::nullopt;
        // A sum that is not finite is skipped by the WMA, as a non-finite
        // input is.
        return wma_.update(*a + *b);
    }

    std::optional<double> value() const noexcept { return wma_.value(); }

    bool is_ready() const noexcept { return wma_.is_ready(); }
    std::uint64_t warmup_period() const noexcept { return std::max(roc1_period_, roc2_period_) + wma_period_; }
    std::uint64_t wma_period() const noexcept { return wma_period_; }
    std::uint64_t roc1() const noexcept { return roc1_period_; }
    std::uint64_t roc2() const noexcept { return roc2_period_; }

    void reset() noexcept {
        roc1_.reset();
        roc2_.reset();
        wma_.reset();
    }

    // Saved state (state.hpp).
    std::tuple<std::uint64_t, std::uint64_t, std::uint64_t> config() const noexcept {
        return {wma_period_, roc1_period_, roc2_period_};
    }
    template <class V>
    void fields(V& v) {
        v(roc1_);
        v(roc2_);
        v(wma_);
    }
    const char* state_fault() const noexcept {
        if (wma_.has_input() && !(roc1_.is_ready() && roc2_.is_ready()))
            return "Coppock: average fed before both rates were ready";
        return nullptr;
    }
};

}  // namespace kestov
