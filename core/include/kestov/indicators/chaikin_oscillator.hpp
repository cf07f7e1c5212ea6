#pragma once
// Chaikin oscillator: the accumulation/distribution line's fast EMA less its
// slow EMA, APO applied to the line. The EMAs are the library's, each seeded
// with the mean of its first inputs, where TA-Lib's ADOSC starts both from
// the first value of the line; after a few slow periods the two agree to
// rounding.

#include <cstdint>
#include <optional>
#include <string_view>
#include <tuple>

#include "kestov/candle.hpp"
#include "kestov/error.hpp"
#include "kestov/expected.hpp"
#include "kestov/indicators/accumulation_distribution.hpp"
#include "kestov/indicators/apo.hpp"

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
