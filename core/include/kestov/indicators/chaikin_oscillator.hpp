#pragma once
// Chaikin oscillator: the accumulation/distribution line's fast EMA less its
// slow EMA, APO applied to the line. The EMAs are the library's, each seeded
// with the mean of its first inputs, where TA-Lib's ADOSC starts both from
// the first value of the line; after a few slow periods the two agree to
// rounding.

#include <array>
#include <cstddef>
#include <cstdint>
#include <optional>
#include <string_view>
#include <tuple>

#include "kestov/candle.hpp"
#include "kestov/error.hpp"
#include "kestov/expected.hpp"
#include "kestov/indicators/accumulation_distribution.hpp"
#include "kestov/indicators/apo.hpp"
#include "kestov/indicators/ema.hpp"
#include "kestov/lanes.hpp"
#include "kestov/numeric.hpp"
#include "kestov/stretches.hpp"

namespace kestov {

class ChaikinOscillator {
public:
    using Input = Candle;
    using Output = double;
    static constexpr std::string_view name = "ChaikinOscillator";

private:
    AccumulationDistribution line_;
    APO apo_;

    explicit ChaikinOscillator(APO apo) noexcept : apo_(std::move(apo)) {}

public:
    static Expected<ChaikinOscillator, BuildError> create(std::uint64_t fast, std::uint64_t slow) noexcept {
        auto apo = APO::create(fast, slow);
        if (!apo) return apo.error();
        return ChaikinOscillator(std::move(apo).value());
    }

    // A line that has overflowed is not finite, and APO passes over it as
    // over any such input: the output repeats.
    std::optional<double> update(const Candle& candle) noexcept { return apo_.update(*line_.update(candle)); }


    // Rows [0, n) of valid candle columns, as n calls of update would give
    // them. Once both averages are seeded, the flows are formed several rows
    // at a time, and the chain is the line's addition and the averages'
    // steps; a line that has overflowed steps nothing.
    template <class Pack = lanes::Narrow>
    [[gnu::always_inline]] void update_block(const CandleColumns& c, std::size_t n, double* out) noexcept {
        std::size_t i = 0;
        for (; i < n && !apo_.is_ready(); ++i) stretches::through_update(*this, c.at(i), out, i);
        if (i == n) return;
        auto [fast_ema, slow_ema] = apo_.averages();
        double line = *line_.value(), fast = *fast_ema.value(), slow = *slow_ema.value();
        const double fast_alpha = fast_ema.alpha(), slow_alpha = slow_ema.alpha();
        double flows[stretches::chain_chunk];
        std::size_t base = i;
        stretches::chain_then_lanes<Pack, 2>(
            i, n,
            [&](std::size_t c0, std::size_t c1) KESTOV_INLINE_LAMBDA {
                base = c0;
                stretches::fill_rows<Pack>(flows, c0, c1, [&](auto kind, std::size_t r) KESTOV_INLINE_LAMBDA {
                    return AccumulationDistribution::flow_at<decltype(kind)>(c, r);
                });
            },
            [&](std::size_t r) KESTOV_INLINE_LAMBDA {
                line = line + flows[r - base];
                if (is_finite(line)) [[likely]] {
                    fast = EMA::smooth(fast, fast_alpha, line);
                    slow = EMA::smooth(slow, slow_alpha, line);
                }
                return std::array<double, 2>{fast, slow};
            },
            [&](const auto& k, std::size_t r) KESTOV_INLINE_LAMBDA { lanes::store(out + r, k[0] - k[1]); });
        line_.resume(line);
        fast_ema.resume(fast);
        slow_ema.resume(slow);
    }
    std::optional<double> value() const noexcept { return apo_.value(); }

    bool is_ready() const noexcept { return apo_.is_ready(); }
    std::uint64_t warmup_period() const noexcept { return apo_.warmup_period(); }
    std::uint64_t fast() const noexcept { return apo_.fast(); }
    std::uint64_t slow() const noexcept { return apo_.slow(); }

    void reset() noexcept {
        line_.reset();
        apo_.reset();
    }

    // Saved state (state.hpp).
    std::tuple<std::uint64_t, std::uint64_t> config() const noexcept { return {apo_.fast(), apo_.slow()}; }
    template <class V>
    void fields(V& v) {
        v(line_);
        v(apo_);
    }
    const char* state_fault() const noexcept {
        if (apo_.is_ready() && !line_.is_ready()) return "ChaikinOscillator: averages without a line";
        return nullptr;
    }
};

}  // namespace kestov
