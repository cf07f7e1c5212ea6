// Counts every allocation in the process, so a run of updates can show it
// allocates nothing.

#include <concepts>
#include <cstddef>
#include <cstdlib>
#include <limits>
#include <new>
#include <random>
#include <tuple>
#include <utility>

#include "check.hpp"
#include "kestov/kestov.hpp"
#include "kestov/state.hpp"

namespace {
std::size_t allocations = 0;
std::size_t allocated_bytes = 0;
}

[[gnu::noinline]] void* operator new(std::size_t n) {
    ++allocations;
    allocated_bytes += n;
    if (void* p = std::malloc(n == 0 ? 1 : n)) return p;
    throw std::bad_alloc();
}
[[gnu::noinline]] void* operator new[](std::size_t n) { return operator new(n); }
[[gnu::noinline]] void* operator new(std::size_t n, const std::nothrow_t&) noexcept {
    ++allocations;
    allocated_bytes += n;
    return std::malloc(n == 0 ? 1 : n);
}
[[gnu::noinline]] void* operator new[](std::size_t n, const std::nothrow_t& tag) noexcept { return operator new(n, tag); }
[[gnu::noinline]] void operator delete(void* p) noexcept { std::free(p); }
[[gnu::noinline]] void operator delete[](void* p) noexcept { std::free(p); }
[[gnu::noinline]] void operator delete(void* p, std::size_t) noexcept { std::free(p); }
[[gnu::noinline]] void operator delete[](void* p, std::size_t) noexcept { std::free(p); }

namespace {

// Feeds a long random series (with gaps and a reset halfway) and returns how
// many allocations the updates made.
template <kestov::Indicator T>
std::size_t allocations_while_updating(T& indicator) {
    std::mt19937_64 rng(11);
    std::uniform_real_distribution<double> u(0.0, 1.0);
    const std::size_t before = allocations;
    double close = 100;
    for (int i = 0; i < 20'000; ++i) {
        if (i == 10'000) indicator.reset();
        close += u(rng) - 0.5;
        if constexpr (std::same_as<typename T::Input, double>) {
            indicator.update(i % 101 == 0 ? std::numeric_limits<double>::quiet_NaN() : close);
        } else if constexpr (std::same_as<typename T::Input, kestov::Pair>) {
            indicator.update(kestov::Pair{close, i % 101 == 0 ? 1e200 : 50.0 + u(rng)});  // a square beyond range now and then
        } else {
            const double high = close + u(rng);
            const double low = close - u(rng);
            indicator.update(kestov::Candle::create(close, high, low, close, 10.0 * u(rng), i).value());
        }
    }
    return allocations - before;
}

// What a call allocates: how many blocks and how many bytes.
template <class F>
std::pair<std::size_t, std::size_t> reserved_by(F&& call) {
    const std::size_t count = allocations, bytes = allocated_bytes;
    call();
    return {allocations - count, allocated_bytes - bytes};
}

template <class T>
void check_updates_never_allocate(kestov::Expected<T, kestov::BuildError> made) {
    CHECK(made.has_value());
    if (!made) return;
    T indicator = std::move(made).value();
    CHECK_EQ(allocations_while_updating(indicator), 0u);
    CHECK(indicator.is_ready());

    // Saving into the caller's room allocates nothing; restoring reserves
    // exactly what building the same configuration does, and nothing more.
    static unsigned char bytes[1 << 16];
    const std::size_t size = kestov::state_size(indicator);
    CHECK(size <= sizeof bytes);
    CHECK(reserved_by([&] { kestov::save_state(indicator, bytes); }).first == 0u);
    const auto built = reserved_by([&] { (void)std::apply(&T::create, indicator.config()); });
    const auto loaded = reserved_by([&] { CHECK(kestov::load_state<T>(bytes, size).has_value()); });
    CHECK(built == loaded);
}

}  // namespace

TEST(updates_never_allocate) {
    check_updates_never_allocate(kestov::SMA::create(50));
    check_updates_never_allocate(kestov::EMA::create(50));
    check_updates_never_allocate(kestov::WMA::create(50));
    check_updates_never_allocate(kestov::ATR::create(50));
    check_updates_never_allocate(kestov::DEMA::create(50));
    check_updates_never_allocate(kestov::TEMA::create(50));
    check_updates_never_allocate(kestov::HMA::create(50));
    check_updates_never_allocate(kestov::KAMA::create(10, 2, 30));
    check_updates_never_allocate(kestov::TRIX::create(50));
    check_updates_never_allocate(kestov::MACD::create(12, 26, 9));
    check_updates_never_allocate(kestov::Keltner::create(20, 10, 2.0));
    check_updates_never_allocate(kestov::BollingerBands::create(20, 2.0));
    check_updates_never_allocate(kestov::Donchian::create(20));
    check_updates_never_allocate(kestov::ADX::create(14));
    check_updates_never_allocate(kestov::PSAR::create(0.02, 0.02, 0.2));
    check_updates_never_allocate(kestov::OBV::create());
    check_updates_never_allocate(kestov::VWAP::create());
    check_updates_never_allocate(kestov::RSI::create(14));
    check_updates_never_allocate(kestov::ROC::create(12));
    check_updates_never_allocate(kestov::Stochastic::create(30, 3));
    check_updates_never_allocate(kestov::WilliamsR::create(30));
    check_updates_never_allocate(kestov::CCI::create(20));
    check_updates_never_allocate(kestov::AwesomeOscillator::create(5, 34));
    check_updates_never_allocate(kestov::Aroon::create(30));
    check_updates_never_allocate(kestov::MFI::create(14));
    check_updates_never_allocate(kestov::StochRSI::create(14, 5, 3));
    check_updates_never_allocate(kestov::ADXR::create(14));
    check_updates_never_allocate(kestov::DX::create(14));
    check_updates_never_allocate(kestov::PPO::create(12, 26, 9));
    check_updates_never_allocate(kestov::APO::create(12, 26));
    check_updates_never_allocate(kestov::TSI::create(25, 13));
    check_updates_never_allocate(kestov::CMO::create(14));
    check_updates_never_allocate(kestov::UltimateOscillator::create(7, 14, 28));
    check_updates_never_allocate(kestov::KST::create(10, 15, 20, 30, 10, 10, 10, 15, 9));
    check_updates_never_allocate(kestov::Coppock::create(10, 11, 14));
    check_updates_never_allocate(kestov::DPO::create(20));
    check_updates_never_allocate(kestov::SuperTrend::create(10, 3.0));
    check_updates_never_allocate(kestov::Ichimoku::create(9, 26, 52));
    check_updates_never_allocate(kestov::AroonOscillator::create(14));
    check_updates_never_allocate(kestov::BalanceOfPower::create());
    check_updates_never_allocate(kestov::ZLEMA::create(30));
    check_updates_never_allocate(kestov::T3::create(5, 0.7));
    check_updates_never_allocate(kestov::TRIMA::create(30));
    check_updates_never_allocate(kestov::VWMA::create(30));
    check_updates_never_allocate(kestov::RMA::create(30));
    check_updates_never_allocate(kestov::AccumulationDistribution::create());
    check_updates_never_allocate(kestov::ChaikinOscillator::create(3, 10));
    check_updates_never_allocate(kestov::ChaikinMoneyFlow::create(20));
    check_updates_never_allocate(kestov::ForceIndex::create(13));
    check_updates_never_allocate(kestov::EaseOfMovement::create(14, 100000000.0));
    check_updates_never_allocate(kestov::PVT::create());
    check_updates_never_allocate(kestov::NVI::create());
    check_updates_never_allocate(kestov::PVI::create());
    check_updates_never_allocate(kestov::Vortex::create(14));
    check_updates_never_allocate(kestov::MassIndex::create(9, 25));
    check_updates_never_allocate(kestov::HeikinAshi::create());
    check_updates_never_allocate(kestov::Correlation::create(30));
    check_updates_never_allocate(kestov::Beta::create(5));
    check_updates_never_allocate(kestov::SessionVWAP::create(86400, 0));
    check_updates_never_allocate(kestov::StdDev::create(5, 1.0));
    check_updates_never_allocate(kestov::Variance::create(5));
    check_updates_never_allocate(kestov::LinearRegression::create(14));
    check_updates_never_allocate(kestov::MidPoint::create(14));
    check_updates_never_allocate(kestov::MidPrice::create(14));
    check_updates_never_allocate(kestov::NATR::create(14));
}

TEST(construction_allocates_its_room) {
    const std::size_t before = allocations;
    auto sma = kestov::SMA::create(10);
    CHECK(sma.has_value());
    CHECK(allocations - before >= 1u);
}
