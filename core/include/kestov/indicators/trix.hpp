#pragma once
// TRIX: the one-step percentage change of a triple-smoothed EMA.

#include <cstdint>
#include <optional>
#include <tuple>
#include <string_view>

#include "kestov/error.hpp"
#include "kestov/expected.hpp"
#include "kestov/indicators/tema.hpp"

namespace kestov {

class TRIX {
public:
    using Input = double;
    using Output = double;
    static constexpr std::string_view name = "TRIX";

private:
    EmaChain3 chain_;
    bool has_prev_ = false;
    double prev_triple_ = 0.0;
    std::uint64_t period_;

    TRIX(EmaChain3 chain, std::uint64_t period) noexcept : chain_(std::move(chain)), period_(period) {}

public:
    static Expected<TRIX, BuildError> create(std::uint64_t period) noexcept {
        auto chain = EmaChain3::create(period);
        if (!chain) return chain.error();
        return TRIX(std::move(chain).value(), period);
    }

    std::optional<double> update(double value) noexcept {
        const auto e = chain_.update(value);
        if (!e) return std::nullopt;
        const double e3 = e->e3;
        if (!has_prev_) {
            prev_triple_ = e3;
            has_prev_ = true;
            return std::nullopt;
        }
        const double p = prev_triple_;
        // A zero previous value gives 0 rather than an infinity.
        const double result = p == 0.0 ? 0.0 : ((e3 - p) * 100.0) / p;
        prev_triple_ = e3;
        return result;
    }

    // True one input before the first output: the first E3 is only stored.
    bool is_ready() const noexcept { return has_prev_ && chain_.is_ready(); }
    std::uint64_t warmup_period() const noexcept { return 3 * period_ - 1; }
    std::uint64_t period() const noexcept { return period_; }

    void reset() noexcept {
        chain_.reset();
        has_prev_ = false;
        prev_triple_ = 0.0;
    }

    // Saved state (state.hpp).
    std::tuple<std::uint64_t> config() const noexcept { return {period_}; }
    template <class V>
    void fields(V& v) {
        v(chain_);
        v(has_prev_);
        v(prev_triple_);
    }
    const char* state_fault() const noexcept {
        if (has_prev_ && !chain_.is_ready()) return "TRIX: a previous value before the averages were ready";
        return nullptr;
    }
};

}  // namespace kestov
