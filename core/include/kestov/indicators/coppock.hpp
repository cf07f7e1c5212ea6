#pragma once
// Coppock curve: a WMA of the sum of two rates of change (ROC, in percent).

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <optional>
#include <string_view>
#include <tuple>

#include "kestov/error.hpp"
#include "kestov/expected.hpp"
#include "kestov/indicators/roc.hpp"
#include "kestov/indicators/wma.hpp"
#include "kestov/lanes.hpp"
#include "kestov/numeric.hpp"
#include "kestov/stretches.hpp"

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

    // Rows [0, n) of a column, as n calls of update would give them. Where
    // both rates' windows lie in the column and the average is full, a
    // chunk at a time: the sums of rates several rows at a time into a
    // line after the average's window, then the average's chains alone
    // over the line. A chunk with a sum that is not finite goes through
    // update, which skips it.
    template <class Pack = lanes::Narrow>
    [[gnu::always_inline]] void update_block(const double* values, std::size_t n, double* out) noexcept {
        constexpr std::size_t w = lanes::width<Pack>;
        const std::size_t a = static_cast<std::size_t>(roc1_period_), b = static_cast<std::size_t>(roc2_period_);
        const std::size_t p = static_cast<std::size_t>(wma_period_);
        const auto by_row = [&](std::size_t i) KESTOV_INLINE_LAMBDA { stretches::through_update(*this, values[i], out, i); };
        if (p > stretches::most_lookback) {
            for (std::size_t i = 0; i < n; ++i) by_row(i);
            return;
        }
        stretches::feed_object<Pack>(
            *this, values, n, out, std::max(a, b), [&](std::size_t first, std::size_t last) KESTOV_INLINE_LAMBDA {
                std::size_t i = first;
                for (; i < last && !wma_.is_ready(); ++i) by_row(i);
                if (i == last) return;
                double line[stretches::most_lookback + stretches::chunk];
                WMA::Sums s = wma_.settled(line);
                stretches::in_chunks(i, last, [&](std::size_t c0, std::size_t c1) KESTOV_INLINE_LAMBDA {
                    const std::size_t len = c1 - c0;
                    lanes::MaskOf<Pack> spoilt{};
                    std::size_t j = 0;
                    for (; j + w <= len; j += w) {
                        const double* v = values + c0 + j;
                        const Pack x = lanes::load<Pack>(v);
                        const Pack sum = ROC::rate(x, lanes::load<Pack>(v - a)) + ROC::rate(x, lanes::load<Pack>(v - b));
                        lanes::store(line + p + j, sum);
                        spoilt |= lanes::bits_of(sum - sum);
                    }
                    bool finite = !lanes::any(spoilt);
                    for (; j < len; ++j) {
                        const double* v = values + c0 + j;
                        const double sum = ROC::rate(*v, *(v - a)) + ROC::rate(*v, *(v - b));
                        line[p + j] = sum;
                        finite &= is_finite(sum);
                    }
                    if (!finite) {
                        wma_.settle(s, line);
                        // Past the first chunk the rates' windows lie behind
                        // in this stretch; at it, update has just left them.
                        if (c0 > i) {
                            roc1_.settle(values + c0);
                            roc2_.settle(values + c0);
                        }
                        for (std::size_t r = c0; r < c1; ++r) by_row(r);
                        s = wma_.settled(line);
                        return;
                    }
                    s = wma_.line_rows<Pack>(s, line, p, p + len,
                                             [&](auto average, std::size_t r)
                                                 KESTOV_INLINE_LAMBDA { lanes::store(out + c0 + (r - p), average); });
                    std::copy(line + len, line + len + p, line);
                });
                wma_.settle(s, line);
                roc1_.settle(values + last);
                roc2_.settle(values + last);
            });
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
