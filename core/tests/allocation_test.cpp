// Counts every allocation in the process, so a run of updates can show it
// allocates nothing.

#include <cstddef>
#include <cstdlib>
#include <new>
#include <random>

#include "check.hpp"
#include "kestov/indicator.hpp"
#include "kestov/indicators/adx.hpp"
#include "kestov/indicators/atr.hpp"
#include "kestov/indicators/bollinger.hpp"
#include "kestov/indicators/donchian.hpp"
#include "kestov/indicators/obv.hpp"
#include "kestov/indicators/psar.hpp"
#include "kestov/indicators/sma.hpp"
#include "kestov/indicators/vwap.hpp"

static_assert(kestov::Indicator<kestov::BollingerBands>);
static_assert(kestov::Indicator<kestov::Donchian>);
static_assert(kestov::Indicator<kestov::ADX>);
static_assert(kestov::Indicator<kestov::PSAR>);
static_assert(kestov::Indicator<kestov::OBV>);
static_assert(kestov::Indicator<kestov::VWAP>);

namespace {
std::size_t allocations = 0;
}

void* operator new(std::size_t n) {
    ++allocations;
    if (void* p = std::malloc(n == 0 ? 1 : n)) return p;
    throw std::bad_alloc();
}
void* operator new[](std::size_t n) { return operator new(n); }
void* operator new(std::size_t n, const std::nothrow_t&) noexcept {
    ++allocations;
    return std::malloc(n == 0 ? 1 : n);
}
void* operator new[](std::size_t n, const std::nothrow_t& tag) noexcept { return operator new(n, tag); }
void operator delete(void* p) noexcept { std::free(p); }
void operator delete[](void* p) noexcept { std::free(p); }
void operator delete(void* p, std::size_t) noexcept { std::free(p); }
void operator delete[](void* p, std::size_t) noexcept { std::free(p); }

TEST(updates_never_allocate) {
    auto sma = kestov::SMA::create(50).value();
    auto atr = kestov::ATR::create(50).value();
    auto bands = kestov::BollingerBands::create(50, 2.0).value();
    auto donchian = kestov::Donchian::create(50).value();
    auto adx = kestov::ADX::create(50).value();
    auto psar = kestov::PSAR::create(0.02, 0.02, 0.2).value();
    auto obv = kestov::OBV::create().value();
    auto vwap = kestov::VWAP::create().value();
    std::mt19937_64 rng(11);
    std::uniform_real_distribution<double> u(0.0, 1.0);
    const std::size_t before = allocations;
    double close = 100;
    for (int i = 0; i < 100'000; ++i) {
        if (i == 50'000) {
            sma.reset();
            atr.reset();
            bands.reset();
            donchian.reset();
            adx.reset();
            psar.reset();
            obv.reset();
            vwap.reset();
        }
        close += u(rng) - 0.5;
        const double high = close + u(rng);
        const double low = close - u(rng);
        sma.update(close);
        bands.update(close);
        const auto candle = kestov::Candle::create(close, high, low, close, 10.0, i).value();
        atr.update(candle);
        donchian.update(candle);
        adx.update(candle);
        psar.update(candle);
        obv.update(candle);
        vwap.update(candle);
    }
    CHECK_EQ(allocations - before, 0u);
    CHECK(sma.is_ready() && atr.is_ready());
    CHECK(bands.is_ready() && donchian.is_ready() && adx.is_ready() && psar.is_ready() && obv.is_ready() &&
          vwap.is_ready());
}

TEST(construction_allocates_its_room) {
    const std::size_t before = allocations;
    auto sma = kestov::SMA::create(10);
    CHECK(sma.has_value());
    CHECK(allocations - before >= 1u);
}
