#pragma once
// Know sure thing (Pring): four rates of change (ROC, in percent), each
// smoothed by its own simple average, weighted 1, 2, 3 and 4 and added; a
// simple average of that sum as its signal.

#include <algorithm>
#include <array>
#include <cstddef>
#include <cstdint>
#include <optional>
#include <string_view>
#include <tuple>

#include "kestov/error.hpp"
#include "kestov/expected.hpp"
#include "kestov/indicators/roc.hpp"
#include "kestov/indicators/sma.hpp"
#include "kestov/lanes.hpp"
#include "kestov/numeric.hpp"
#include "kestov/stretches.hpp"

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

    // Weighted 1 to 4 and added left to right.
    template <class T>
    [[gnu::always_inline]] static T weighted(T a, T b, T c, T d) noexcept {
        return ((a * 1.0 + b * 2.0) + c * 3.0) + d * 4.0;
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
        const double kst = weighted(*smoothed[0], *smoothed[1], *smoothed[2], *smoothed[3]);
        const auto signal = signal_.update(kst);
        if (!signal) return std::nullopt;
        current_ = {kst, *signal};
        has_current_ = true;
        return current_;
    }

    // Rows [0, n) of a column, as n calls of update would give them, a
    // chunk at a time once every average is full: the four rates several
    // rows at a time into lines after their averages' windows; the four
    // averages' sums, chains side by side; their means and the weighted sum
    // several rows at a time into a line after the signal's window; the
    // signal's chain; its means. A chunk with a rate or a sum that is not
    // finite goes through update, which skips it.
    template <class Pack = lanes::Narrow>
    [[gnu::always_inline]] void update_block(const double* values, std::size_t n, double* out) noexcept {
        constexpr std::size_t w = lanes::width<Pack>;
        constexpr std::size_t line_size = stretches::most_lookback + stretches::chunk;
        const auto by_row = [&](std::size_t i)
                                KESTOV_INLINE_LAMBDA { stretches::through_update(*this, values[i], out, i); };
        std::array<std::size_t, 4> back{}, span{};
        for (std::size_t k = 0; k < 4; ++k) {
            back[k] = static_cast<std::size_t>(periods_[k]);
            span[k] = static_cast<std::size_t>(periods_[4 + k]);
        }
        const std::size_t g = static_cast<std::size_t>(periods_[8]);
        if (*std::max_element(span.begin(), span.end()) > stretches::most_lookback || g > stretches::most_lookback) {
            for (std::size_t i = 0; i < n; ++i) by_row(i);
            return;
        }
        stretches::feed_object<Pack>(
            *this, values, n, out, *std::max_element(back.begin(), back.end()),
            [&](std::size_t first, std::size_t last) KESTOV_INLINE_LAMBDA {
                std::size_t i = first;
                for (; i < last && !is_ready(); ++i) by_row(i);
                if (i == last) return;
                double lines[4][line_size], sums[4][stretches::chunk], line[line_size], signal_sums[stretches::chunk];
                std::array<double, 4> sum{};
                double signal_sum = 0.0;
                const auto load = [&]() KESTOV_INLINE_LAMBDA {
                    for (std::size_t k = 0; k < 4; ++k) sum[k] = smooths_[k].settled(lines[k]);
                    signal_sum = signal_.settled(line);
                };
                const auto store = [&]() KESTOV_INLINE_LAMBDA {
                    for (std::size_t k = 0; k < 4; ++k) smooths_[k].settle(sum[k], lines[k]);
                    signal_.settle(signal_sum, line);
                };
                load();
                stretches::in_chunks(i, last, [&](std::size_t c0, std::size_t c1) KESTOV_INLINE_LAMBDA {
                    const std::size_t len = c1 - c0;
                    lanes::MaskOf<Pack> spoilt{};
                    bool finite = true;
                    for (std::size_t k = 0; k < 4; ++k) {
                        std::size_t j = 0;
                        for (; j + w <= len; j += w) {
                            const double* v = values + c0 + j;
                            const Pack rate = ROC::rate(lanes::load<Pack>(v), lanes::load<Pack>(v - back[k]));
                            lanes::store(lines[k] + span[k] + j, rate);
                            spoilt |= lanes::bits_of(rate - rate);
                        }
                        for (; j < len; ++j) {
                            const double* v = values + c0 + j;
                            const double rate = ROC::rate(*v, *(v - back[k]));
                            lines[k][span[k] + j] = rate;
                            finite &= is_finite(rate);
                        }
                    }
                    const auto row_by_row = [&]() KESTOV_INLINE_LAMBDA {
                        store();
                        // Past the first chunk the rates' windows lie behind
                        // in this stretch; at it, update has just left them.
                        if (c0 > i)
                            for (ROC& roc : rocs_) roc.settle(values + c0);
                        for (std::size_t r = c0; r < c1; ++r) by_row(r);
                        load();
                    };
                    if (!finite || lanes::any(spoilt)) return row_by_row();
                    const std::array<double, 4> before = sum;
                    // The leaving value is subtracted before the new one is added.
                    for (std::size_t j = 0; j < len; ++j)
                        for (std::size_t k = 0; k < 4; ++k) {
                            sum[k] = lines[k][span[k] + j] + (sum[k] - lines[k][j]);
                            sums[k][j] = sum[k];
                        }
                    std::array<double, 4> count{};
                    for (std::size_t k = 0; k < 4; ++k) count[k] = static_cast<double>(span[k]);
                    std::size_t j = 0;
                    for (; j + w <= len; j += w) {
                        const Pack kst = weighted(lanes::load<Pack>(sums[0] + j) / count[0],
                                                  lanes::load<Pack>(sums[1] + j) / count[1],
                                                  lanes::load<Pack>(sums[2] + j) / count[2],
                                                  lanes::load<Pack>(sums[3] + j) / count[3]);
                        lanes::store(line + g + j, kst);
                        spoilt |= lanes::bits_of(kst - kst);
                    }
                    for (; j < len; ++j) {
                        const double kst = weighted(sums[0][j] / count[0], sums[1][j] / count[1],
                                                    sums[2][j] / count[2], sums[3][j] / count[3]);
                        line[g + j] = kst;
                        finite &= is_finite(kst);
                    }
                    if (!finite || lanes::any(spoilt)) {
                        sum = before;  // the averages' sums at the chunk's start
                        return row_by_row();
                    }
                    for (std::size_t r = 0; r < len; ++r) {
                        signal_sum = line[g + r] + (signal_sum - line[r]);
                        signal_sums[r] = signal_sum;
                    }
                    const double signal_count = static_cast<double>(g);
                    for (j = 0; j + w <= len; j += w)
                        stretches::put(out, c0 + j,
                                       std::array<Pack, 2>{lanes::load<Pack>(line + g + j),
                                                           lanes::load<Pack>(signal_sums + j) / signal_count});
                    for (; j < len; ++j)
                        stretches::put(out, c0 + j, std::array<double, 2>{line[g + j], signal_sums[j] / signal_count});
                    current_ = {line[g + len - 1], signal_sums[len - 1] / signal_count};
                    for (std::size_t k = 0; k < 4; ++k) std::copy(lines[k] + len, lines[k] + len + span[k], lines[k]);
                    std::copy(line + len, line + len + g, line);
                });
                store();
                for (ROC& roc : rocs_) roc.settle(values + last);
            });
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
