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

#include <array>
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
            sums_.x = sums_.x - old[0];
            sums_.y = sums_.y - old[1];
            sums_.xx = sums_.xx - old[0] * old[0];
            sums_.yy = sums_.yy - old[1] * old[1];
            sums_.xy = sums_.xy - old[0] * old[1];
        } else {
            window_.push_back({x, y});
        }
        sums_.x = sums_.x + x;
        sums_.y = sums_.y + y;
        sums_.xx = sums_.xx + x * x;
        sums_.yy = sums_.yy + y * y;
        sums_.xy = sums_.xy + x * y;
        const bool finite = is_finite(sums_.x) & is_finite(sums_.y) & is_finite(sums_.xx) & is_finite(sums_.yy) &
                            is_finite(sums_.xy);
        if (!finite) [[unlikely]]
            recompute();
    }

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
