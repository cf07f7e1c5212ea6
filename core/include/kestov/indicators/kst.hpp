#pragma once
// Know sure thing (Pring): four rates of change (ROC, in percent), each
// smoothed by its own simple average, weighted 1, 2, 3 and 4 and added; a
// simple average of that sum as its signal.

#include <algorithm>
#include <array>
#include <cstdint>
#include <optional>
#include <string_view>
#include <tuple>

#include "kestov/error.hpp"
#include "kestov/expected.hpp"
#include "kestov/indicators/roc.hpp"
#include "kestov/indicators/sma.hpp"
#include "kestov/numeric.hpp"

namespace kestov {

class KST {
public:
    using Input = double;
    using Output = std::array<double, 2>;  // kst, signal
    using Periods = std::tuple<std::uint64_t, std::uint64_t, std::uint64_t, std::uint64_t, std::uint64_t,
                               std::uint64_t, std::uint64_t, std::uint64_t, std::uint64_t>;
    static constexpr std::string_view name = "KST";

private:
    std::array<ROC, 4> rocs_;
    std::array<SMA, 4> smooths_;
    SMA signal_;
    bool has_current_ = false;
    Output current_{};
    std::array<std::uint64_t, 9> periods_;  // r1..r4, s1..s4, signal

    KST(std::array<ROC, 4> rocs, std::array<SMA, 4> smooths, SMA signal, std::array<std::uint64_t, 9> periods) noexcept
        : rocs_(std::move(rocs)), smooths_(std::move(smooths)), signal_(std::move(signal)), periods_(periods) {}

public:
    static Expected<KST, BuildError> create(std::uint64_t r1, std::uint64_t r2, std::uint64_t r3, std::uint64_t r4,
                                            std::uint64_t s1, std::uint64_t s2, std::uint64_t s3, std::uint64_t s4,
                                            std::uint64_t signal) noexcept {
        const std::array<std::uint64_t, 9> periods{r1, r2, r3, r4, s1, s2, s3, s4, signal};
        for (const std::uint64_t p : periods)
            if (p == 0) return BuildError{IndicatorError::period_zero()};
        auto a = ROC::create(r1);
        if (!a) return a.error();
        auto b = ROC::create(r2);
        if (!b) return b.error();
        auto c = ROC::create(r3);
        if (!c) return c.error();
        auto d = ROC::create(r4);
        if (!d) return d.error();
        auto e = SMA::create(s1);
        if (!e) return e.error();
        auto f = SMA::create(s2);
        if (!f) return f.error();
        auto g = SMA::create(s3);
        if (!g) return g.error();
        auto h = SMA::create(s4);
        if (!h) return h.error();
        auto k = SMA::create(signal);
        if (!k) return k.error();
        return KST({std::move(a).value(), std::move(b).value(), std::move(c).value(), std::move(d).value()},
                   {std::move(e).value(), std::move(f).value(), std::move(g).value(), std::move(h).value()},
                   std::move(k).value(), periods);
    }

    std::optional<Output> update(double value) noexcept {
        if (!is_finite(value)) return this->value();
        std::array<std::optional<double>, 4> smoothed;
        // Every rate and its average see each finite input, whatever the
        // others return.
        for (std::size_t i = 0; i < 4; ++i) {
            const auto rate = rocs_[i].update(value);
            if (rate) smoothed[i] = smooths_[i].update(*rate);
        }
        for (const auto& s : smoothed)
            if (!s) return std::nullopt;
        // Weighted 1 to 4 and added left to right.
        const double kst = ((*smoothed[0] * 1.0 + *smoothed[1] * 2.0) + *smoothed[2] * 3.0) + *smoothed[3] * 4.0;
        const auto signal = signal_.update(kst);
        if (!signal) return std::nullopt;
        current_ = {kst, *signal};
        has_current_ = true;
        return current_;
    }

    std::optional<Output> value() const noexcept {
        if (!has_current_) return std::nullopt;
        return current_;
    }

    bool is_ready() const noexcept { return has_current_; }
    std::uint64_t warmup_period() const noexcept {
        std::uint64_t longest = 0;
        for (std::size_t i = 0; i < 4; ++i) longest = std::max(longest, periods_[i] + periods_[4 + i]);
        return longest + periods_[8] - 1;
    }
    Periods periods() const noexcept {
        const auto& p = periods_;
        return {p[0], p[1], p[2], p[3], p[4], p[5], p[6], p[7], p[8]};
    }
    std::uint64_t r1() const noexcept { return periods_[0]; }
    std::uint64_t r2() const noexcept { return periods_[1]; }
    std::uint64_t r3() const noexcept { return periods_[2]; }
    std::uint64_t r4() const noexcept { return periods_[3]; }
    std::uint64_t s1() const noexcept { return periods_[4]; }
    std::uint64_t s2() const noexcept { return periods_[5]; }
    std::uint64_t s3() const noexcept { return periods_[6]; }
    std::uint64_t s4() const noexcept { return periods_[7]; }
    std::uint64_t signal() const noexcept { return periods_[8]; }

    void reset() noexcept {
        for (ROC& roc : rocs_) roc.reset();
        for (SMA& sma : smooths_) sma.reset();
        signal_.reset();
        has_current_ = false;
        current_ = {};
    }

    // Saved state (state.hpp).
    Periods config() const noexcept { return periods(); }
    template <class V>
    void fields(V& v) {
        for (ROC& roc : rocs_) v(roc);
        for (SMA& sma : smooths_) v(sma);
        v(signal_);
        v(has_current_);
        v(current_);
    }
    const char* state_fault() const noexcept {
        for (std::size_t i = 0; i < 4; ++i)
            if (smooths_[i].has_input() && !rocs_[i].is_ready()) return "KST: an average fed before its rate was ready";
        if (signal_.has_input())
            for (const SMA& sma : smooths_)
                if (!sma.is_ready()) return "KST: signal fed before the four averages were ready";
        if (has_current_ != signal_.is_ready()) return "KST: current value and signal disagree";
        return nullptr;
    }
};

}  // namespace kestov
