#include <cmath>
#include <cstring>
#include <limits>

#include "check.hpp"
#include "kestov/candle.hpp"

using kestov::Candle;
using kestov::ErrorKind;
using kestov::IndicatorError;

namespace {

constexpr double kNaN = std::numeric_limits<double>::quiet_NaN();
constexpr double kInf = std::numeric_limits<double>::infinity();

struct Row {
    double o, h, l, c, v;
    const char* error;  // null: valid
};

// Each row breaks one or more rules; the first rule in order decides.
constexpr Row rows[] = {
    {1, 1, 1, 1, 0, nullptr},
    {1, 1, 1, 1, -0.0, nullptr},
    {1, 2, 0.5, 1.5, 1e300, nullptr},
    {1, 1, 1, 1, -1e-300, "volume must be non-negative"},
    {1, 2, 0, kNaN, -1, "open, high, low, close must all be finite"},
    {kInf, 2, 0, 1, 1, "open, high, low, close must all be finite"},
    {1, -kInf, 0, 1, 1, "open, high, low, close must all be finite"},
    {1, 2, 0, 1, kInf, "volume must be finite"},
    {1, 0, 2, 1, kInf, "volume must be finite"},
    {1, 0, 2, 1, kNaN, "volume must be finite"},
    {3, 1, 2, 1.5, 1, "high must be >= low"},
    {1, 2, 0, 3, 1, "high must be >= open and >= close"},
    {3, 2, 0, 1, 1, "high must be >= open and >= close"},
    {1, 3, 2, 2.5, 1, "low must be <= open and <= close"},
    {2.5, 3, 2, 1, 1, "low must be <= open and <= close"},
};

}  // namespace

TEST(candle_rules_apply_in_order) {
    for (const Row& r : rows) {
        auto candle = Candle::create(r.o, r.h, r.l, r.c, r.v, -7);
        if (r.error == nullptr) {
            CHECK(candle.has_value());
            if (!candle) continue;
            CHECK_SAME(candle.value().volume(), r.v);
            CHECK_EQ(candle.value().timestamp(), -7);
        } else {
            CHECK(!candle.has_value());
            if (candle) continue;
            CHECK(candle.error().kind() == ErrorKind::InvalidCandle);
            CHECK_EQ(candle.error().message(), std::string("invalid candle: ") + r.error);
        }
    }
}

TEST(error_display_texts) {
    CHECK_EQ(IndicatorError::period_zero().message(), "period must be greater than zero");
    CHECK_EQ(IndicatorError::invalid_period("fast period must be strictly less than slow period").message(),
             "invalid period: fast period must be strictly less than slow period");
    CHECK_EQ(IndicatorError::non_finite().message(), "input value must be finite (got NaN or infinity)");
    CHECK_EQ(IndicatorError::invalid_multiplier().message(), "multiplier must be greater than zero");
    CHECK_EQ(IndicatorError::invalid_candle("high must be >= low").message(), "invalid candle: high must be >= low");
}

TEST(finiteness_is_read_from_the_bits) {
    CHECK(kestov::is_finite(std::numeric_limits<double>::max()));
    CHECK(kestov::is_finite(-std::numeric_limits<double>::denorm_min()));
    CHECK(!kestov::is_finite(kInf));
    CHECK(!kestov::is_finite(-kInf));
    CHECK(!kestov::is_finite(kNaN));
    CHECK(!kestov::is_finite(-kNaN));
}
