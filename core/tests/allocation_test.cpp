// Counts every allocation in the process, so a run of updates can show it
// allocates nothing.

#include <cstddef>
#include <cstdlib>
#include <new>
#include <random>

#include "check.hpp"
#include "kestov/indicators/atr.hpp"
#include "kestov/indicators/sma.hpp"

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

TEST(construction_allocates_its_room) {
    const std::size_t before = allocations;
    auto sma = kestov::SMA::create(10);
    CHECK(sma.has_value());
    CHECK(allocations - before >= 1u);
}
