// Saved states through the C++ interface: every indicator restored or
// copied at any point continues bit for bit, and every cut of its bytes is
// refused without reading past them.

#include <bit>
#include <cstdint>
#include <limits>
#include <optional>
#include <random>
#include <variant>
#include <vector>

#include "check.hpp"
#include "kestov/kestov.hpp"
#include "kestov/state.hpp"

namespace {

std::uint64_t output_bits(const std::optional<double>& out) {
    return out ? std::bit_cast<std::uint64_t>(*out) : 1;  // 1: no output (no double has these bits here)
}
template <std::size_t K>
std::uint64_t output_bits(const std::optional<std::array<double, K>>& out) {
    std::uint64_t h = out ? 0 : 1;
    if (out)
        for (double x : *out) h = h * 1'000'003 ^ std::bit_cast<std::uint64_t>(x);
    return h;
}

// Random inputs with gaps, infinities and signed zeros for value
// indicators, and ties and extreme magnitudes for candle ones.
struct Inputs {
    std::mt19937_64 rng;
    double close = 100.0;

    template <class T>
    typename T::Input next() {
        std::uniform_real_distribution<double> u(0.0, 1.0);
        close += u(rng) - 0.5;
        const double r = u(rng);
        if constexpr (std::same_as<typename T::Input, double>) {
            if (r < 0.05) return std::numeric_limits<double>::quiet_NaN();
            if (r < 0.08) return -std::numeric_limits<double>::infinity();
            if (r < 0.11) return -0.0;
            if (r < 0.13) return 1e300;
            return close;
        } else {
            const double scale = r < 0.05 ? 1e300 : r < 0.1 ? 1e-300 : 1.0;
            const double c = close * scale;
            if (r > 0.95) return kestov::Candle::create(-0.0, -0.0, -0.0, -0.0, 0.0, 0).value();
            return kestov::Candle::create(c, c + u(rng) * scale, c - u(rng) * scale, c, 100.0 * u(rng), 0).value();
        }
    }
};

template <class T>
void check_round_trips(kestov::Expected<T, kestov::BuildError> made) {
    CHECK(made.has_value());
    if (!made) return;
    T original = std::move(made).value();
    Inputs inputs{std::mt19937_64(5)};
    for (int step = 0; step < 400; ++step) {
        if (step == 250) original.reset();
        if (step % 37 == 0) {
            const std::vector<unsigned char> bytes = kestov::save_state(original);
            auto loaded = kestov::load_state<T>(bytes);
            auto copied = kestov::copy_state(original);
            CHECK(loaded.has_value() && copied.has_value());
            if (!loaded || !copied) return;
            CHECK(kestov::same_state(original, loaded.value()));
            for (std::size_t cut = 0; cut < bytes.size(); ++cut) {
                auto partial = kestov::load_state<T>(bytes.data(), cut);
                CHECK(!partial.has_value() && std::holds_alternative<kestov::StateError>(partial.error()));
            }
            // Each goes its own way from here, and all three agree.
            Inputs ahead = inputs;
            for (int i = 0; i < 60; ++i) {
                const auto x = ahead.next<T>();
                const auto expected = output_bits(loaded.value().update(x));
                CHECK_EQ(output_bits(copied.value().update(x)), expected);
                if (i == 30) CHECK(kestov::same_state(loaded.value(), copied.value()));
            }
            CHECK(kestov::same_state(original, T(kestov::load_state<T>(bytes).value())));
        }
        original.update(inputs.next<T>());
    }
}

}  // namespace

TEST(every_state_round_trips) {
    check_round_trips(kestov::SMA::create(20));
    check_round_trips(kestov::EMA::create(9));
    check_round_trips(kestov::WMA::create(9));
    check_round_trips(kestov::RSI::create(14));
    check_round_trips(kestov::MACD::create(5, 13, 4));
    check_round_trips(kestov::BollingerBands::create(20, 2.0));
    check_round_trips(kestov::ATR::create(14));
    check_round_trips(kestov::Stochastic::create(14, 3));
    check_round_trips(kestov::OBV::create());
    check_round_trips(kestov::DEMA::create(8));
    check_round_trips(kestov::TEMA::create(6));
    check_round_trips(kestov::HMA::create(16));
    check_round_trips(kestov::KAMA::create(10, 2, 30));
    check_round_trips(kestov::CCI::create(20));
    check_round_trips(kestov::ROC::create(10));
    check_round_trips(kestov::WilliamsR::create(14));
    check_round_trips(kestov::ADX::create(14));
    check_round_trips(kestov::MFI::create(14));
    check_round_trips(kestov::TRIX::create(5));
    check_round_trips(kestov::PSAR::create(0.02, 0.02, 0.2));
    check_round_trips(kestov::Keltner::create(20, 10, 2.0));
    check_round_trips(kestov::Donchian::create(20));
    check_round_trips(kestov::VWAP::create());
    check_round_trips(kestov::AwesomeOscillator::create(5, 34));
    check_round_trips(kestov::Aroon::create(14));
}

TEST(a_state_names_what_is_wrong) {
    auto sma = kestov::SMA::create(3).value();
    sma.update(1.0);
    std::vector<unsigned char> bytes = kestov::save_state(sma);
    auto other = kestov::load_state<kestov::EMA>(bytes);
    CHECK(!other.has_value());
    if (!other) CHECK_EQ(std::string(kestov::load_error_text(other.error())), "the state is of another indicator class");
    bytes[7 + 3] = 0;  // period 0, refused as the constructor refuses it
    auto zero = kestov::load_state<kestov::SMA>(bytes);
    CHECK(!zero.has_value() && std::holds_alternative<kestov::IndicatorError>(zero.error()));
}

namespace {

// Series s of a panel is a copy of the prototype fed only s's inputs.
template <class T>
void check_panel(kestov::Expected<T, kestov::BuildError> made) {
    T prototype = std::move(made).value();
    Inputs warm{std::mt19937_64(8)};
    for (int i = 0; i < 7; ++i) prototype.update(warm.next<T>());
    constexpr std::size_t count = 5;
    auto panel = kestov::Panel<T>::of(prototype, count);
    CHECK(panel.has_value() && panel.value().size() == count);
    if (!panel) return;
    std::vector<T> singles;
    for (std::size_t s = 0; s < count; ++s) singles.push_back(kestov::copy_state(prototype).value());
    std::vector<Inputs> inputs;
    for (std::size_t s = 0; s < count; ++s) inputs.push_back(Inputs{std::mt19937_64(20 + s)});
    for (int row = 0; row < 200; ++row) {
        std::vector<std::optional<typename T::Input>> cells;
        for (std::size_t s = 0; s < count; ++s) {
            const auto x = inputs[s].template next<T>();
            cells.push_back((row + s) % 7 == 3 ? std::nullopt : std::optional(x));  // a hole now and then
        }
        panel.value().update_row([&](std::size_t s) { return cells[s]; },
                                 [&](std::size_t s, const auto& out) {
                                     const auto expected = cells[s] ? singles[s].update(*cells[s]) : decltype(out){};
                                     CHECK_EQ(output_bits(out), output_bits(expected));
                                 });
    }
    for (std::size_t s = 0; s < count; ++s) CHECK(kestov::same_state(panel.value()[s], singles[s]));
}

}  // namespace

TEST(panel_series_are_single_indicators) {
    check_panel(kestov::ATR::create(14));
    check_panel(kestov::MACD::create(5, 13, 4));
    check_panel(kestov::KAMA::create(10, 2, 30));
    check_panel(kestov::Aroon::create(9));
    check_panel(kestov::VWAP::create());
}
