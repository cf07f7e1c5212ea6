#pragma once
// Force index (Elder): the EMA of each candle's force, the change of the
// close times the volume, (close - previous close) * volume. The first
// candle only sets the previous close; the EMA is the library's, seeded with
// the mean of the first `period` forces, as TA-Lib's EFI is.

#include <cstdint>
#include <optional>
#include <string_view>
#include <tuple>

#include "kestov/candle.hpp"
#include "kestov/error.hpp"
#include "kestov/expected.hpp"
#include "kestov/indicators/ema.hpp"

namespace kestov {

class ForceIndex {
public:
    using Input = Candle;
    using Output = double;
    static constexpr std::string_view name = "ForceIndex";

private:
    bool has_prev_close_ = false;
    double prev_close_ = 0.0;
    EMA ema_;
    std::uint64_t period_;

    ForceIndex(EMA ema, std::uint64_t period) noexcept : ema_(std::move(ema)), period_(period) {}

public:
    static Expected<ForceIndex, BuildError> create(std::uint64_t period) noexcept {
        auto ema = EMA::create(period);
        if (!ema) return ema.error();
        return ForceIndex(std::move(ema).value(), period);
    }

    std::optional<double> update(const Candle& candle) noexcept {
        const double c = candle.close();
        const double pc = prev_close_;
        const bool had = has_prev_close_;
        prev_close_ = c;
        has_prev_close_ = true;
        if (!had) return std::nullopt;
        // A force too large for a double is passed over by the EMA, as any
        // input that is not finite: the output repeats.
        return ema_.update((c - pc) * candle.volume());
    }

    std::optional<double> value() const noexcept { return ema_.value(); }

    bool is_ready() const noexcept { return ema_.is_ready(); }
    std::uint64_t warmup_period() const noexcept { return period_ + 1; }
    std::uint64_t period() const noexcept { return period_; }

    void reset() noexcept {
        has_prev_close_ = false;
        prev_close_ = 0.0;
        ema_.reset();
    }

    // Saved state (state.hpp).
    std::tuple<std::uint64_t> config() const noexcept { return {period_}; }
    template <class V>
    void fields(V& v) {
        v(has_prev_close_);
        v(prev_close_);
        v(ema_);
    }
    const char* state_fault() const noexcept {
        if (ema_.has_input() && !has_prev_close_) return "ForceIndex: forces without a previous close";
        return nullptr;
    }
};

}  // namespace kestov
