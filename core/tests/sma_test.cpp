#include <cmath>
#include <limits>
#include <optional>
#include <random>
#include <variant>
#include <vector>

#include "check.hpp"
#include "kestov/indicator.hpp"
#include "kestov/indicators/sma.hpp"

using kestov::SMA;

static_assert(kestov::Indicator<SMA>);

namespace {

constexpr double kNaN = std::numeric_limits<double>::quiet_NaN();

std::vector<std::optional<double>> feed(SMA& sma, std::initializer_list<double> values) {
    std::vector<std::optional<double>> out;
    for (double v : values) out.push_back(sma.update(v));
    return out;
}

bool same(const std::vector<std::optional<double>>& got, std::initializer_list<std::optional<double>> want) {
    if (got.size() != want.size()) return false;
    auto it = want.begin();
    for (const auto& g : got) {
        const auto& w = *it++;
        if (g.has_value() != w.has_value()) return false;
        if (g && check::bits(*g) != check::bits(*w)) return false;
    }
    return true;
}

}  // namespace

TEST(sma_period_zero_is_refused) {
    auto sma = SMA::create(0);
    CHECK(!sma.has_value());
    if (!sma) CHECK(std::get<kestov::IndicatorError>(sma.error()) == kestov::IndicatorError::period_zero());
}

TEST(sma_worked_examples) {
    auto a = SMA::create(3).value();
    CHECK(same(feed(a, {1, 2, 3, 4}), {std::nullopt, std::nullopt, 2.0, 3.0}));
    CHECK_EQ(a.warmup_period(), 3u);

    auto b = SMA::create(2).value();
    CHECK(same(feed(b, {1, kNaN, 3}), {std::nullopt, std::nullopt, 2.0}));
    b.reset();
    CHECK(!b.value().has_value());
    CHECK(same(feed(b, {1, 3, kNaN, INFINITY}), {std::nullopt, 2.0, 2.0, 2.0}));

    // The running sum is never recomputed, so its rounding stays visible.
    auto c = SMA::create(2).value();
    CHECK(same(feed(c, {1e16, 1, 1}), {std::nullopt, 5e15, 0.5}));

    auto one = SMA::create(1).value();
    CHECK(same(feed(one, {-0.0, 7.25, 1e300}), {0.0, 7.25, 1e300}));
    CHECK(one.is_ready());
}

TEST(sma_reset_restores_the_fresh_state) {
    auto fresh = SMA::create(5).value();
    auto used = SMA::create(5).value();
    std::mt19937_64 rng(7);
    std::normal_distribution<double> step(0.0, 1.0);
    for (int i = 0; i < 17; ++i) used.update(100 + step(rng));
    used.reset();
    CHECK(!used.is_ready());
    for (int i = 0; i < 50; ++i) {
        const double x = 100 + step(rng);
        const auto a = fresh.update(x);
        const auto b = used.update(x);
        CHECK_EQ(a.has_value(), b.has_value());
        if (a && b) CHECK_SAME(*a, *b);
        CHECK_EQ(fresh.is_ready(), used.is_ready());
    }
}
