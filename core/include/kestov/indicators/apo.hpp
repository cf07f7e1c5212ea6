#pragma once
// Absolute price oscillator: the fast EMA less the slow EMA, MACD's line
// without its signal.

#include <cstdint>
#include <optional>
#include <string_view>
#include <tuple>

#include "kestov/error.hpp"
#include "kestov/expected.hpp"
#include "kestov/indicators/ema.hpp"
#include "kestov/numeric.hpp"

namespace kestov {

class APO {
public:
    using Input = double;
    using Output = double;
    static constexpr std::string_view name = "APO";

private:
    EMA fast_ema_;
    EMA slow_ema_;
    std::uint64_t fast_;
    std::uint64_t slow_;

    APO(EMA fast, EMA slow, std::uint64_t f, std::uint64_t s) noexcept
        : fast_ema_(std::move(fast)), slow_ema_(std::move(slow)), fast_(f), slow_(s) {}

public:
    static Expected<APO, BuildError> create(std::uint64_t fast, std::uint64_t slow) noexcept {
        if (fast == 0 || slow == 0) return BuildError{IndicatorError::period_zero()};
        if (fast >= slow)
            return BuildError{IndicatorError::invalid_period("fast period must be strictly less than slow period")};
        auto f = EMA::create(fast);
        if (!f) return f.error();
        auto s = EMA::create(slow);
        if (!s) return s.error();
        return APO(std::move(f).value(), std::move(s).value(), fast, slow);
    }

    std::optional<double> update(double value) noexcept {
        if (!is_finite(value)) return this->value();
        // Both averages see every finite input, whatever the other returns.
        const auto f = fast_ema_.update(value);
        const auto s = slow_ema_.update(value);
        if (!s || !f) return std::nullopt;
        return *f - *s;
    }

    std::optional<double> value() const noexcept {
        const auto s = slow_ema_.value();
        if (!s) return std::nullopt;
        return *fast_ema_.value() - *s;
    }

    // The two averages, for a batch path that steps them itself.
    auto averages() noexcept { return std::tie(fast_ema_, slow_ema_); }
    bool is_ready() const noexcept { return slow_ema_.is_ready(); }
    std::uint64_t warmup_period() const noexcept { return slow_; }
    std::uint64_t fast() const noexcept { return fast_; }
    std::uint64_t slow() const noexcept { return slow_; }

    void reset() noexcept {
        fast_ema_.reset();
        slow_ema_.reset();
    }

    // Saved state (state.hpp).
    std::tuple<std::uint64_t, std::uint64_t> config() const noexcept { return {fast_, slow_}; }
    template <class V>
    void fields(V& v) {
        v(fast_ema_);
        v(slow_ema_);
    }
    const char* state_fault() const noexcept {
        if (slow_ema_.is_ready() && !fast_ema_.is_ready()) return "APO: slow average ready before the fast one";
        return nullptr;
    }
};

}  // namespace kestov
