// Counts every allocation in the process, so a run of updates can show it
// allocates nothing.

#include <cstddef>
#include <cstdlib>
#include <new>
#include <random>

#include "check.hpp"
#include "kestov/kestov.hpp"

static_assert(kestov::Indicator<kestov::RSI>);
static_assert(kestov::Indicator<kestov::ROC>);
static_assert(kestov::Indicator<kestov::Stochastic>);
static_assert(kestov::Indicator<kestov::WilliamsR>);
static_assert(kestov::Indicator<kestov::CCI>);
static_assert(kestov::Indicator<kestov::AwesomeOscillator>);
static_assert(kestov::Indicator<kestov::Aroon>);
static_assert(kestov::Indicator<kestov::MFI>);

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
    std::mt19937_64 rng(11);
    std::uniform_real_distribution<double> u(0.0, 1.0);
    const std::size_t before = allocations;
    double close = 100;
    for (int i = 0; i < 100'000; ++i) {
        if (i == 50'000) {
            sma.reset();
            atr.reset();
        }
        close += u(rng) - 0.5;
        const double high = close + u(rng);
        const double low = close - u(rng);
        sma.update(close);
        atr.update(kestov::Candle::create(close, high, low, close, 10.0, i).value());
    }
    CHECK_EQ(allocations - before, 0u);
    CHECK(sma.is_ready() && atr.is_ready());
}

// Monotonic queues at their fullest: a steady fall keeps every high queued,
// a steady rise every low; then a reversal empties them. Windows of 30 cut
// the blocks of WilliamsR and Aroon at other places than the runs of 500.
TEST(momentum_updates_never_allocate) {
    auto rsi = kestov::RSI::create(14).value();
    auto roc = kestov::ROC::create(12).value();
    auto stochastic = kestov::Stochastic::create(30, 3).value();
    auto williams = kestov::WilliamsR::create(30).value();
    auto cci = kestov::CCI::create(20).value();
    auto ao = kestov::AwesomeOscillator::create(5, 34).value();
    auto aroon = kestov::Aroon::create(30).value();
    auto mfi = kestov::MFI::create(14).value();
    const std::size_t before = allocations;
    for (int i = 0; i < 100'000; ++i) {
        if (i == 50'000) {
            rsi.reset(), roc.reset(), stochastic.reset(), williams.reset();
            cci.reset(), ao.reset(), aroon.reset(), mfi.reset();
        }
        const double close = 1000.0 + ((i / 500) % 2 == 0 ? -(i % 500) : i % 500) + 0.25 * (i % 3);
        const auto candle = kestov::Candle::create(close, close + 1.0, close - 1.0, close, i % 7, i).value();
        rsi.update(close), roc.update(close), stochastic.update(candle), williams.update(candle);
        cci.update(candle), ao.update(candle), aroon.update(candle), mfi.update(candle);
    }
    CHECK_EQ(allocations - before, 0u);
    CHECK(rsi.is_ready() && roc.is_ready() && stochastic.is_ready() && williams.is_ready());
    CHECK(cci.is_ready() && ao.is_ready() && aroon.is_ready() && mfi.is_ready());
}

TEST(construction_allocates_its_room) {
    const std::size_t before = allocations;
    auto sma = kestov::SMA::create(10);
    CHECK(sma.has_value());
    CHECK(allocations - before >= 1u);
}
