#pragma once
// Detrended price oscillator, as of the bar: the input period / 2 + 1
// finite inputs back less the simple average of the last `period`. It reads
// no later input: the value at a bar describes the input `shift` bars
// earlier, and is drawn there when plotted centred.

#include <algorithm>
#include <cstdint>
#include <optional>
#include <string_view>
#include <tuple>

#include "kestov/error.hpp"
#include "kestov/expected.hpp"
#include "kestov/indicators/sma.hpp"
#include "kestov/lanes.hpp"
#include "kestov/numeric.hpp"
#include "kestov/ring_buffer.hpp"
#include "kestov/stretches.hpp"

namespace kestov {

class DPO {
public:
    using Input = double;
    using Output = double;
    static constexpr std::string_view name = "DPO";

private:
    bool has_value_ = false;
    double value_ = 0.0;
    RingBuffer<double> window_;  // the last shift + 1 finite inputs
    SMA average_;
    std::uint64_t period_;

    DPO(RingBuffer<double> window, SMA average, std::uint64_t period) noexcept
        : window_(std::move(window)), average_(std::move(average)), period_(period) {}

public:
    static std::uint64_t shift_of(std::uint64_t period) noexcept { return period / 2 + 1; }

    static Expected<DPO, BuildError> create(std::uint64_t period) noexcept {
        if (period == 0) return BuildError{IndicatorError::period_zero()};
        auto window = RingBuffer<double>::with_capacity(shift_of(period) + 1);
        if (!window) return BuildError{window.error()};
        auto average = SMA::create(period);
        if (!average) return average.error();
        return DPO(std::move(window).value(), std::move(average).value(), period);
    }

    std::optional<double> update(double value) noexcept {
        if (!is_finite(value)) return this->value();
        if (window_.full()) {
            window_.replace_oldest(value);
        } else {
            window_.push_back(value);
        }
        const auto mean = average_.update(value);
        if (!mean || !window_.full()) return std::nullopt;
        value_ = window_.front() - *mean;
        has_value_ = true;
        return value_;
    }

    // Rows [0, n) of a column, as n calls of update would give them. Where
    // both windows lie in the column, the average's chain alone, and the
    // differences several rows at a time.
    // Settled series of a panel, one per lane of a pack (panel.hpp), for
    // periods of up to 64: the average's lanes and the window of the
    // shifted price.
    template <class Pack>
    struct Lanes {
        SMA::Lanes<Pack> average;
        LaneWindow<Pack, 34> window;
        Pack value;

        static bool fits(const DPO& d) noexcept {
            return SMA::Lanes<Pack>::fits(d.average_) && decltype(window)::fits(d.window_.size());
        }
        static bool settled(const DPO& d) noexcept { return d.has_value_ && fits(d); }
        void load(const DPO& d, std::size_t lane) noexcept {
            average.load(d.average_, lane);
            window.load(d.window_, lane);
            value[lane] = d.value_;
        }
        void store(DPO& d, std::size_t lane) const noexcept {
            average.store(d.average_, lane);
            window.store(d.window_, lane);
            d.value_ = value[lane];
        }
        [[gnu::always_inline]] Pack step(Pack x) noexcept {
            window.replace_oldest(x);
            return value = window.front() - average.step(x);
        }
    };

    template <class Pack = lanes::Narrow>
    [[gnu::always_inline]] void update_block(const double* values, std::size_t n, double* out) noexcept {
        const std::size_t shift = static_cast<std::size_t>(shift_of(period_));
        stretches::feed_object<Pack>(
            *this, values, n, out, static_cast<std::size_t>(warmup_period()),
            [&](std::size_t first, std::size_t last) KESTOV_INLINE_LAMBDA {
                const std::size_t end = average_.window_rows<Pack>(
                    values, first, last, [&](auto mean, std::size_t r) KESTOV_INLINE_LAMBDA {
                        lanes::store(out + r, lanes::load<decltype(mean)>(values + r - shift) - mean);
                    });
                if (end == first) return end;
                window_.clear();
                for (std::size_t j = end - shift - 1; j < end; ++j) window_.push_back(values[j]);
                value_ = out[end - 1];
                return end;
            });
    }

    std::optional<double> value() const noexcept {
        if (!has_value_) return std::nullopt;
        return value_;
    }

    bool is_ready() const noexcept { return has_value_; }
    std::uint64_t warmup_period() const noexcept { return std::max(period_, shift_of(period_) + 1); }
    std::uint64_t period() const noexcept { return period_; }
    std::uint64_t shift() const noexcept { return shift_of(period_); }

    void reset() noexcept {
        has_value_ = false;
        value_ = 0.0;
        window_.clear();
        average_.reset();
    }

    // Saved state (state.hpp).
    std::tuple<std::uint64_t> config() const noexcept { return {period_}; }
    template <class V>
    void fields(V& v) {
        v(has_value_);
        v(value_);
        v(window_);
        v(average_);
    }
    const char* state_fault() const noexcept {
        if (has_value_ != (window_.full() && average_.is_ready())) return "DPO: value flag and windows disagree";
        return nullptr;
    }
};

}  // namespace kestov
