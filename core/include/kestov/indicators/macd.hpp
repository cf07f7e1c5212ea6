#pragma once
// Moving average convergence/divergence: the difference of a fast and a slow
// EMA, an EMA of that difference as the signal, and their difference.

#include <array>
#include <cstdint>
#include <optional>
#include <string_view>
#include <tuple>

#include "kestov/error.hpp"
#include "kestov/expected.hpp"
#include "kestov/indicators/ema.hpp"
#include "kestov/numeric.hpp"

namespace kestov {

class MACD {
public:
    using Input = double;
    using Output = std::array<double, 3>;  // macd, signal, histogram
    static constexpr std::string_view name = "MACD";

private:
    EMA fast_ema_;
    EMA slow_ema_;
    EMA signal_ema_;
    bool has_current_ = false;
    Output current_{};
    std::uint64_t fast_;
    std::uint64_t slow_;
    std::uint64_t signal_;

    MACD(EMA fast, EMA slow, EMA signal, std::uint64_t f, std::uint64_t s, std::uint64_t g) noexcept
        : fast_ema_(std::move(fast)), slow_ema_(std::move(slow)), signal_ema_(std::move(signal)), fast_(f), slow_(s),
          signal_(g) {}

public:
    static Expected<MACD, BuildError> create(std::uint64_t fast, std::uint64_t slow, std::uint64_t signal) noexcept {
        if (fast == 0 || slow == 0 || signal == 0) return BuildError{IndicatorError::period_zero()};
        if (fast >= slow)
            return BuildError{IndicatorError::invalid_period("fast period must be strictly less than slow period")};
        auto f = EMA::create(fast);
        if (!f) return f.error();
        auto s = EMA::create(slow);
        if (!s) return s.error();
        auto g = EMA::create(signal);
        if (!g) return g.error();
        return MACD(std::move(f).value(), std::move(s).value(), std::move(g).value(), fast, slow, signal);
    }

    std::optional<Output> update(double value) noexcept {
        if (!is_finite(value)) return current();
        // Both averages see every finite input, whatever the other returns.
        const auto f = fast_ema_.update(value);
        const auto s = slow_ema_.update(value);
        if (!s || !f) return std::nullopt;
        const double macd = *f - *s;
        const auto signal = signal_ema_.update(macd);
        if (!signal) return std::nullopt;
        current_ = {macd, *signal, macd - *signal};
        has_current_ = true;
        return current_;
    }

    bool is_ready() const noexcept { return has_current_; }
    std::uint64_t warmup_period() const noexcept { return slow_ + signal_ - 1; }
    std::tuple<std::uint64_t, std::uint64_t, std::uint64_t> periods() const noexcept {
        return {fast_, slow_, signal_};
    }

    void reset() noexcept {
        fast_ema_.reset();
        slow_ema_.reset();
        signal_ema_.reset();
        has_current_ = false;
        current_ = {};
    }

    // Saved state (state.hpp).
    std::tuple<std::uint64_t, std::uint64_t, std::uint64_t> config() const noexcept { return periods(); }
    template <class V>
    void fields(V& v) {
        v(fast_ema_);
        v(slow_ema_);
        v(signal_ema_);
        v(has_current_);
        v(current_);
    }
    const char* state_fault() const noexcept {
        if (signal_ema_.has_input() && !(fast_ema_.is_ready() && slow_ema_.is_ready()))
            return "MACD: signal fed before both averages were ready";
        if (has_current_ != signal_ema_.is_ready()) return "MACD: current value and signal disagree";
        return nullptr;
    }

private:
    std::optional<Output> current() const noexcept {
        if (!has_current_) return std::nullopt;
        return current_;
    }
};

}  // namespace kestov
