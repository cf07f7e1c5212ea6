#pragma once
// Normalized average true range: the ATR as a percentage of the close,
// (atr / close) * 100, with the ATR class's own arithmetic, so its average
// is the ATR's to the bit; 0 where the close is 0.

#include <cstdint>
#include <optional>
#include <string_view>
#include <tuple>

#include "kestov/candle.hpp"
#include "kestov/error.hpp"
#include "kestov/expected.hpp"
#include "kestov/indicators/atr.hpp"

namespace kestov {

class NATR {
public:
    using Input = Candle;
    using Output = double;
    static constexpr std::string_view name = "NATR";

private:
    ATR atr_;
    bool has_value_ = false;
    double value_ = 0.0;

    explicit NATR(ATR atr) noexcept : atr_(std::move(atr)) {}

public:
    static Expected<NATR, BuildError> create(std::uint64_t period) noexcept {
        auto atr = ATR::create(period);
        if (!atr) return atr.error();
        return NATR(std::move(atr).value());
    }

    std::optional<double> update(const Candle& candle) noexcept {
        const auto atr = atr_.update(candle);
        if (!atr) return std::nullopt;
        const double close = candle.close();
        value_ = close == 0.0 ? 0.0 : (*atr / close) * 100.0;
        has_value_ = true;
        return value_;
    }

    std::optional<double> value() const noexcept {
        if (!has_value_) return std::nullopt;
        return value_;
    }

    bool is_ready() const noexcept { return has_value_; }
    std::uint64_t warmup_period() const noexcept { return atr_.warmup_period(); }
    std::uint64_t period() const noexcept { return atr_.period(); }

    void reset() noexcept {
        atr_.reset();
        has_value_ = false;
        value_ = 0.0;
    }

    // Saved state (state.hpp).
    std::tuple<std::uint64_t> config() const noexcept { return {atr_.period()}; }
    template <class V>
    void fields(V& v) {
        v(atr_);
        v(has_value_);
        v(value_);
    }
    const char* state_fault() const noexcept {
        if (has_value_ != atr_.is_ready()) return "NATR: value flag and average disagree";
        return nullptr;
    }
};

}  // namespace kestov
