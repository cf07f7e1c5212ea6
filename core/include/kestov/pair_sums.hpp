#pragma once
// The last `length` pairs (x, y) and the five running sums the two-series
// statistics are made of: x, y, x * x, y * y and x * y.
//
// Each sum is kept as SMA keeps its one: the leaving term subtracted, then
// the new one added. A square or product beyond the largest double would
// leave an infinity in a running sum, and inf - inf poisons it for good once
// that term leaves; so whenever a sum is not finite after a step, all five
// are taken afresh from the window, oldest first from -0.0. They are finite
// again as soon as the window holds no such term.

#include <algorithm>
#include <array>
#include <bit>
#include <cstddef>
#include <cstdint>

#include "kestov/error.hpp"
#include "kestov/expected.hpp"
#include "kestov/numeric.hpp"
#include "kestov/ring_buffer.hpp"

namespace kestov {

class PairSums {
public:
    using Term = std::array<double, 2>;

    struct Sums {
        double x = 0.0;
        double y = 0.0;
        double xx = 0.0;
        double yy = 0.0;
        double xy = 0.0;
    };

private:
    RingBuffer<Term> window_;
    Sums sums_;

    explicit PairSums(RingBuffer<Term> window) noexcept : window_(std::move(window)) {}

public:
    static Expected<PairSums, RoomError> with_length(std::uint64_t length) noexcept {
        auto window = RingBuffer<Term>::with_capacity(length);
        if (!window) return window.error();
        return PairSums(std::move(window).value());
    }

    void push(double x, double y) noexcept {
        if (window_.full()) {
            const Term old = window_.replace_oldest({x, y});
            sums_ = step(sums_, old[0], old[1], x, y);
        } else {
            window_.push_back({x, y});
            sums_ = enter(sums_, x, y);
        }
        if (!finite(sums_)) [[unlikely]]
            recompute();
    }

    // A full window's step: the leaving pair's terms subtracted, then the
    // new pair's added. A step whose sums are not all finite is push's to
    // take (it takes them afresh from the window).
    [[gnu::always_inline]] static Sums step(Sums s, double x_old, double y_old, double x, double y) noexcept {
        s.x = s.x - x_old;
        s.y = s.y - y_old;
        s.xx = s.xx - x_old * x_old;
        s.yy = s.yy - y_old * y_old;
        s.xy = s.xy - x_old * y_old;
        return enter(s, x, y);
    }
    [[gnu::always_inline]] static bool finite(const Sums& s) noexcept {
        // One test, on the bits as is_finite's: the largest magnitude.
        const auto magnitude = [](double v) { return std::bit_cast<std::uint64_t>(v) & 0x7fff'ffff'ffff'ffffULL; };
        return std::max({magnitude(s.x), magnitude(s.y), magnitude(s.xx), magnitude(s.yy), magnitude(s.xy)}) <
               0x7ff0'0000'0000'0000ULL;
    }

    // The state push leaves after the pairs that end just before `a_end`
    // and `b_end` in their columns, the last of them these sums.
    void settle(const Sums& sums, const double* a_end, const double* b_end) noexcept {
        window_.clear();
        for (std::size_t j = window_.capacity(); j > 0; --j) window_.push_back({*(a_end - j), *(b_end - j)});
        sums_ = sums;
    }

    // push's step for a full window whose sums `s` stay finite, for a
    // column path that carries the sums itself: false, with nothing
    // changed, where push would take them afresh from the window.
    [[gnu::always_inline]] bool step_finite(Sums& s, double x, double y) noexcept {
        const Term& old = window_.front();
        const Sums next = step(s, old[0], old[1], x, y);
        if (!finite(next)) [[unlikely]]
            return false;
        window_.replace_oldest({x, y});
        s = next;
        return true;
    }
    // The sums a column path carried on.
    void resume(const Sums& s) noexcept { sums_ = s; }

    const Sums& sums() const noexcept { return sums_; }
    bool full() const noexcept { return window_.full(); }
    std::size_t size() const noexcept { return window_.size(); }

    void clear() noexcept {
        window_.clear();
        sums_ = Sums{};
    }

    template <class V>
    void fields(V& v) {
        v(sums_.x);
        v(sums_.y);
        v(sums_.xx);
        v(sums_.yy);
        v(sums_.xy);
        v(window_);
    }

private:
    [[gnu::always_inline]] static Sums enter(Sums s, double x, double y) noexcept {
        s.x = s.x + x;
        s.y = s.y + y;
        s.xx = s.xx + x * x;
        s.yy = s.yy + y * y;
        s.xy = s.xy + x * y;
        return s;
    }

    void recompute() noexcept {
        Sums s{-0.0, -0.0, -0.0, -0.0, -0.0};
        for (std::size_t i = 0; i < window_.size(); ++i) {
            const Term& t = window_[i];
            s.x = s.x + t[0];
            s.y = s.y + t[1];
            s.xx = s.xx + t[0] * t[0];
            s.yy = s.yy + t[1] * t[1];
            s.xy = s.xy + t[0] * t[1];
        }
        sums_ = s;
    }
};

}  // namespace kestov
