#include <cmath>
#include <optional>

#include "check.hpp"
#include "kestov/indicator.hpp"
#include "kestov/indicators/atr.hpp"

using kestov::ATR;
using kestov::Candle;

static_assert(kestov::Indicator<ATR>);

namespace {

Candle bar(double h, double l, double c) { return Candle::create(c, h, l, c, 0.0, 0).value(); }

}  // namespace

TEST(atr_worked_example) {
    auto atr = ATR::create(3).value();
    CHECK(!atr.update(bar(10, 8, 9)).has_value());
    CHECK(!atr.update(bar(11, 9, 10.5)).has_value());
    CHECK(!atr.is_ready());
    const auto third = atr.update(bar(12, 10.5, 11));
    CHECK(third.has_value() && atr.is_ready());
    // True ranges 2, 2, 1.5, summed in order.
    if (third) CHECK_SAME(*third, 5.5 / 3.0);
    // Wilder step with one rounding of value * 2 + tr.
    const auto fourth = atr.update(bar(11.5, 11, 11.2));
    if (fourth) CHECK_SAME(*fourth, std::fma(5.5 / 3.0, 2.0, 0.5) / 3.0);
}

TEST(atr_true_range_uses_the_gap_to_the_previous_close) {
    auto atr = ATR::create(1).value();
    CHECK_SAME(*atr.update(bar(10, 8, 9)), 2.0);    // first bar: its own range
    CHECK_SAME(*atr.update(bar(15, 14, 14.5)), 6.0);  // gap up from 9
    CHECK_SAME(*atr.update(bar(9, 8, 8.5)), 6.5);     // gap down from 14.5
    atr.reset();
    CHECK_SAME(*atr.update(bar(15, 14, 14.5)), 1.0);  // no previous close after reset
}

TEST(atr_flat_series_is_zero) {
    auto atr = ATR::create(4).value();
    std::optional<double> last;
    for (int i = 0; i < 10; ++i) last = atr.update(bar(5, 5, 5));
    CHECK(last.has_value());
    if (last) CHECK_SAME(*last, 0.0);
    CHECK_EQ(atr.warmup_period(), 4u);
}
