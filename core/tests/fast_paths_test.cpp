// The fast forms against the plain definitions they stand for.

#include <bit>
#include <cstdint>
#include <limits>
#include <random>
#include <vector>

#include "check.hpp"
#include "kestov/kestov.hpp"

namespace {

constexpr double kNaN = std::numeric_limits<double>::quiet_NaN();
constexpr double kInf = std::numeric_limits<double>::infinity();

// The candle rules one after another, as written down.
const char* plain_rule(double o, double h, double l, double c, double v) {
    using namespace kestov::candle_text;
    const auto finite = [](double x) { return x - x == 0.0; };
    if (!(finite(o) && finite(h) && finite(l) && finite(c))) return prices_not_finite;
    if (!finite(v)) return volume_not_finite;
    if (v < 0.0) return volume_negative;
    if (h < l) return high_below_low;
    if (h < o || h < c) return high_below_body;
    if (l > o || l > c) return low_above_body;
    return nullptr;
}

}  // namespace

TEST(combined_candle_test_accepts_and_names_as_the_rules_in_order) {
    const double values[] = {kNaN, -kInf, kInf, -1.0, -0.0, 0.0, 1.0, 2.0};
    for (double o : values)
        for (double h : values)
            for (double l : values)
                for (double c : values)
                    for (double v : values) {
                        const auto made = kestov::Candle::create(o, h, l, c, v, 7);
                        const char* rule = plain_rule(o, h, l, c, v);
                        CHECK_EQ(made.has_value(), rule == nullptr);
                        if (!made) CHECK(made.error().detail() == rule);
                    }
}

TEST(ring_buffer_replaces_the_oldest_in_order_across_the_wrap) {
    auto ring = kestov::RingBuffer<int>::with_capacity(4).value();
    std::vector<int> model;
    for (int i = 0; i < 30; ++i) {
        if (ring.full()) {
            CHECK_EQ(ring.replace_oldest(i), model.front());
            model.erase(model.begin());
        } else {
            ring.push_back(i);
        }
        model.push_back(i);
        for (std::size_t k = 0; k < ring.size(); ++k) CHECK_EQ(ring[k], model[k]);
    }
}

TEST(mirrored_window_holds_the_last_values_in_adjacent_slots) {
    for (int length : {1, 3, 4}) {
        auto window = kestov::MirroredWindow<int>::with_length(static_cast<std::uint64_t>(length)).value();
        std::vector<int> model;
        for (int i = 0; i < 20; ++i) {
            if (window.full()) {
                CHECK_EQ(window.oldest(), model.front());
                model.erase(model.begin());
            }
            window.push(i);
            model.push_back(i);
            CHECK(std::vector<int>(window.data(), window.data() + window.size()) == model);
            if (i == 9) {
                window.clear();
                model.clear();
            }
        }
    }
}

#if (defined(__GNUC__) || defined(__clang__)) && (defined(__x86_64__) || defined(__i386__))
namespace {

// The same updates compiled with the processor's fused multiply-add and
// without it (the library's fma): every bit must agree.
template <class T>
std::vector<std::uint64_t> run(T& indicator, const std::vector<kestov::Candle>& candles) {
    std::vector<std::uint64_t> out;
    for (const auto& candle : candles) {
        const auto value = [&] {
            if constexpr (std::same_as<typename T::Input, double>) return indicator.update(candle.close());
            else return indicator.update(candle);
        }();
        if constexpr (std::same_as<typename T::Output, double>) {
            out.push_back(value ? std::bit_cast<std::uint64_t>(*value) : 1);
        } else {
            if (value)
                for (double x : *value) out.push_back(std::bit_cast<std::uint64_t>(x));
        }
    }
    return out;
}

template <class T>
[[gnu::flatten]] std::vector<std::uint64_t> run_portable(T& indicator, const std::vector<kestov::Candle>& candles) {
    return run(indicator, candles);
}

template <class T>
[[gnu::flatten, gnu::target("fma")]] std::vector<std::uint64_t> run_fused(T& indicator,
                                                                          const std::vector<kestov::Candle>& candles) {
    return run(indicator, candles);
}

template <class Make>
void check_same_both_ways(Make make, const std::vector<kestov::Candle>& candles) {
    auto a = make().value();
    auto b = make().value();
    const auto portable = run_portable(a, candles);
    CHECK(!portable.empty());
    CHECK(portable == run_fused(b, candles));
}

}  // namespace

TEST(hardware_fma_gives_the_portable_bits) {
    if (!__builtin_cpu_supports("fma")) return;
    std::mt19937_64 rng(5);
    std::uniform_real_distribution<double> u(0.0, 1.0);
    std::vector<kestov::Candle> candles;
    double close = 100;
    for (int i = 0; i < 50'000; ++i) {
        // Magnitudes from tiny to huge, where an unfused step would round twice.
        const double scale = i % 5000 < 100 ? 1e-300 : (i % 5000 < 200 ? 1e300 : 1.0);
        close += (u(rng) - 0.5) * scale;
        candles.push_back(kestov::Candle::create(close, close + u(rng) * scale, close - u(rng) * scale, close, 1, i).value());
    }
    check_same_both_ways([] { return kestov::EMA::create(20); }, candles);
    check_same_both_ways([] { return kestov::ATR::create(14); }, candles);
    check_same_both_ways([] { return kestov::MACD::create(12, 26, 9); }, candles);
    check_same_both_ways([] { return kestov::TRIX::create(9); }, candles);
    check_same_both_ways([] { return kestov::Keltner::create(20, 10, 2.0); }, candles);
}
#endif
