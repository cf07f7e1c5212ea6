// libFuzzer harness for the core, built with AddressSanitizer and
// UndefinedBehaviorSanitizer by scripts/fuzz.sh. Each input picks one target:
//
// - Candle::create on arbitrary fields: a candle exists exactly when the
//   rules hold, with its fields unchanged; otherwise the first broken rule,
//   in order, names the error.
// - RingBuffer and BlockExtreme against plain models (a deque,
//   a scan of the window from its oldest entry).
// - A random sequence of update, reset and move on one of the 25 indicators,
//   built from a random configuration (huge periods included), with these
//   invariants: construction fails only through its error value; an output
//   means is_ready(); warmup_period() never changes; after reset the object
//   gives bit for bit what a freshly built one gives; over moderate inputs
//   the first output comes with exactly the warmup_period()-th input and
//   one follows every later input.
// Any broken invariant aborts with a message, which libFuzzer reports. When
// replaying an input, KESTOV_FUZZ_TRACE=1 prints where each update stood.

#include <fuzzer/FuzzedDataProvider.h>

#include <array>
#include <bit>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <deque>
#include <limits>
#include <optional>
#include <utility>

#include "kestov/kestov.hpp"
#include "kestov/ring_buffer.hpp"
#include "kestov/window_extreme.hpp"

namespace {

[[noreturn]] void fail(const char* what, const char* detail = "") {
    std::fprintf(stderr, "core invariant broken: %s %s\n", what, detail);
    std::abort();
}

#define EXPECT(cond, ...)                                \
    do {                                                 \
        if (!(cond)) fail(#cond __VA_OPT__(, ) __VA_ARGS__); \
    } while (0)

constexpr double inf = std::numeric_limits<double>::infinity();
constexpr double nan = std::numeric_limits<double>::quiet_NaN();
constexpr std::uint64_t huge_periods[] = {std::uint64_t{1} << 60, (std::uint64_t{1} << 60) - 1,
                                          std::uint64_t{1} << 62, std::uint64_t{1} << 63,
                                          std::numeric_limits<std::uint64_t>::max() - 1,
                                          std::numeric_limits<std::uint64_t>::max()};

std::uint64_t wild_values = 0;  // drawn by any_double so far

double any_double(FuzzedDataProvider& in) {
    ++wild_values;
    switch (in.ConsumeIntegralInRange(0, 7)) {
        case 0: {
            constexpr double special[] = {0.0, -0.0, nan, -nan, inf, -inf, 5e-324, 1.7976931348623157e308,
                                          -1.7976931348623157e308, 2.2250738585072014e-308, 1e300, -1e-300};
            return special[in.ConsumeIntegralInRange<std::size_t>(0, std::size(special) - 1)];
        }
        case 1: return std::bit_cast<double>(in.ConsumeIntegral<std::uint64_t>());
        default: return in.ConsumeFloatingPointInRange(-1e4, 1e4);
    }
}

std::uint64_t any_period(FuzzedDataProvider& in) {
    if (in.ConsumeIntegralInRange(0, 15) == 0)
        return huge_periods[in.ConsumeIntegralInRange<std::size_t>(0, std::size(huge_periods) - 1)];
    return in.ConsumeIntegralInRange<std::uint64_t>(0, 40);
}

bool same(double a, double b) { return std::bit_cast<std::uint64_t>(a) == std::bit_cast<std::uint64_t>(b); }
template <std::size_t K>
bool same(const std::array<double, K>& a, const std::array<double, K>& b) {
    for (std::size_t i = 0; i < K; ++i)
        if (!same(a[i], b[i])) return false;
    return true;
}
template <class T>
bool same(const std::optional<T>& a, const std::optional<T>& b) {
    return a.has_value() == b.has_value() && (!a || same(*a, *b));
}

// ---- Candle ---------------------------------------------------------------

const char* first_broken_rule(double o, double h, double l, double c, double v) {
    namespace t = kestov::candle_text;
    if (!std::isfinite(o) || !std::isfinite(h) || !std::isfinite(l) || !std::isfinite(c)) return t::prices_not_finite;
    if (!std::isfinite(v)) return t::volume_not_finite;
    if (v < 0) return t::volume_negative;
    if (h < l) return t::high_below_low;
    if (h < o || h < c) return t::high_below_body;
    if (l > o || l > c) return t::low_above_body;
    return nullptr;
}

void fuzz_candle(FuzzedDataProvider& in) {
    double f[5];
    for (double& x : f) x = any_double(in);
    const auto ts = in.ConsumeIntegral<std::int64_t>();
    const auto made = kestov::Candle::create(f[0], f[1], f[2], f[3], f[4], ts);
    const char* rule = first_broken_rule(f[0], f[1], f[2], f[3], f[4]);
    if (rule == nullptr) {
        EXPECT(made.has_value());
        const kestov::Candle& k = made.value();
        EXPECT(same(k.open(), f[0]) && same(k.high(), f[1]) && same(k.low(), f[2]) && same(k.close(), f[3]) &&
               same(k.volume(), f[4]) && k.timestamp() == ts);
    } else {
        EXPECT(!made.has_value());
        EXPECT(made.error().kind() == kestov::ErrorKind::InvalidCandle);
        EXPECT(std::strcmp(made.error().detail(), rule) == 0, rule);
    }
}

// A candle that passes the rules, or nothing when the input cannot make one.
std::optional<kestov::Candle> valid_candle(FuzzedDataProvider& in) {
    double f[4];
    for (double& x : f) x = in.ConsumeFloatingPointInRange(-1e4, 1e4);
    if (in.ConsumeIntegralInRange(0, 31) == 0) f[in.ConsumeIntegralInRange(0, 3)] = any_double(in);
    double lo = f[0], hi = f[0];
    for (double x : f) lo = x < lo ? x : lo, hi = x > hi ? x : hi;
    const double volume = in.ConsumeBool() ? 0.0 : in.ConsumeFloatingPointInRange(0.0, 1e6);
    const auto made = kestov::Candle::create(f[1], hi, lo, f[2], volume, in.ConsumeIntegral<std::int64_t>());
    if (!made) return std::nullopt;
    return made.value();
}

// ---- Buffers and window extremes ------------------------------------------

void fuzz_ring_buffer(FuzzedDataProvider& in) {
    const auto capacity = in.ConsumeIntegralInRange<std::uint64_t>(0, 20);
    auto made = kestov::RingBuffer<double>::with_capacity(capacity);
    EXPECT(made.has_value());
    auto ring = std::move(made).value();
    std::deque<double> model;
    const std::size_t room = capacity == 0 ? 1 : capacity;
    while (in.remaining_bytes() > 0) {
        switch (in.ConsumeIntegralInRange(0, 3)) {
            case 0:
            case 1:
                if (model.size() < room) {
                    const double x = any_double(in);
                    ring.push_back(x);
                    model.push_back(x);
                }
                break;
            case 2:
                if (!model.empty()) {
                    const bool front = in.ConsumeBool();
                    const double got = front ? ring.pop_front() : ring.pop_back();
                    EXPECT(same(got, front ? model.front() : model.back()));
                    front ? model.pop_front() : model.pop_back();
                }
                break;
            default:
                ring.clear();
                model.clear();
        }
        EXPECT(ring.size() == model.size() && ring.full() == (model.size() == room) && ring.capacity() == room);
        for (std::size_t i = 0; i < model.size(); ++i) EXPECT(same(ring[i], model[i]));
    }
}

// The mark a scan of `window` (oldest first) finds, moving on Wins.
template <class Wins>
kestov::PriceMark scan(const std::deque<kestov::PriceMark>& window) {
    kestov::PriceMark best = window.front();
    for (const auto& m : window)
        if (Wins{}(m.price, best.price)) best = m;
    return best;
}

template <class Wins>
void fuzz_extremes(FuzzedDataProvider& in) {
    const auto length = in.ConsumeIntegralInRange<std::uint64_t>(1, 24);
    auto block = kestov::BlockExtreme<kestov::ExtremeOf<Wins>>::with_capacity(length);
    EXPECT(block.has_value());
    std::deque<kestov::PriceMark> window;
    std::uint64_t seq = 0;
    while (in.remaining_bytes() > 0) {
        if (in.ConsumeIntegralInRange(0, 40) == 0) {
            block.value().clear();
            window.clear();
            seq = 0;
            continue;
        }
        // Few distinct prices, so ties (and +0.0 against -0.0) are common.
        constexpr double prices[] = {-0.0, 0.0, 1.0, -1.0, 2.5, 1e300};
        const double p = in.ConsumeBool() ? prices[in.ConsumeIntegralInRange<std::size_t>(0, std::size(prices) - 1)]
                                          : in.ConsumeFloatingPointInRange(-10.0, 10.0);
        block.value().push({seq, p});
        window.push_back({seq, p});
        if (window.size() > length) window.pop_front();
        ++seq;
        const auto want = scan<Wins>(window);
        const auto b = block.value().extreme();
        EXPECT(b.seq == want.seq && same(b.price, want.price), "block extreme");
    }
}

// ---- Indicators -----------------------------------------------------------

template <class T, class Make>
void fuzz_indicator(FuzzedDataProvider& in, Make make) {
    auto built = make();
    if (!built) return;  // refusals come only as error values; a throw or abort would end the run
    auto rebuild = [&] {
        auto again = make();
        if (!again) fail("the same configuration built once, then failed");
        return std::move(again).value();
    };
    T obj = std::move(built).value();
    T fresh = rebuild();  // reset must leave obj exactly like this
    const std::uint64_t warmup = obj.warmup_period();
    std::uint64_t accepted = 0;  // inputs since the last reset
    std::uint64_t wild_before = wild_values;  // moderate inputs only since the last reset?
    double volume = 0.0;
    while (in.remaining_bytes() > 0) {
        const int op = in.ConsumeIntegralInRange(0, 40);
        if (op == 0) {
            obj.reset();
            fresh = rebuild();
            accepted = 0, wild_before = wild_values, volume = 0.0;
            continue;
        }
        if (op == 1) {
            T moved(std::move(obj));
            obj = std::move(moved);
            continue;
        }
        std::optional<typename T::Output> got, want;
        if constexpr (std::same_as<typename T::Input, kestov::Candle>) {
            const auto candle = valid_candle(in);
            if (!candle) continue;
            got = obj.update(*candle);
            want = fresh.update(*candle);
            volume += candle->volume();
        } else {
            const double x = in.ConsumeIntegralInRange(0, 15) == 0 ? any_double(in)
                                                                    : in.ConsumeFloatingPointInRange(-1e4, 1e4);
            got = obj.update(x);
            want = fresh.update(x);
        }
        ++accepted;
        const char* name = __PRETTY_FUNCTION__;  // names T
        if (std::getenv("KESTOV_FUZZ_TRACE"))
            std::fprintf(stderr, "input %llu of warmup %llu: output %d\n", static_cast<unsigned long long>(accepted),
                         static_cast<unsigned long long>(warmup), got.has_value());
        EXPECT(same(got, want), name);
        EXPECT(obj.is_ready() == fresh.is_ready(), name);
        EXPECT(!got || obj.is_ready(), name);
        EXPECT(obj.warmup_period() == warmup, name);
        if constexpr (std::same_as<T, kestov::VWAP>) {
            EXPECT(got.has_value() == (volume > 0.0), name);
        } else if (wild_values == wild_before) {
            // Over moderate inputs; extreme finite ones can overflow on the way (2 * WMA in HMA).
            EXPECT(got.has_value() == (accepted >= warmup), name);
        }
    }
}

// The configuration is drawn once, left to right; every build uses it.
template <class T, class... Draw>
void fuzz_with(FuzzedDataProvider& in, Draw... draw) {
    const std::tuple config{draw(in)...};
    fuzz_indicator<T>(in, [&] { return std::apply(&T::create, config); });
}

const auto period = [](FuzzedDataProvider& in) { return any_period(in); };
const auto factor = [](FuzzedDataProvider& in) {
    return in.ConsumeBool() ? in.ConsumeFloatingPointInRange(0.0, 3.0) : any_double(in);
};

void fuzz_indicators(FuzzedDataProvider& in) {
    using namespace kestov;
    switch (in.ConsumeIntegralInRange(0, 24)) {
        case 0: return fuzz_with<SMA>(in, period);
        case 1: return fuzz_with<EMA>(in, period);
        case 2: return fuzz_with<WMA>(in, period);
        case 3: return fuzz_with<RSI>(in, period);
        case 4: return fuzz_with<MACD>(in, period, period, period);
        case 5: return fuzz_with<BollingerBands>(in, period, factor);
        case 6: return fuzz_with<ATR>(in, period);
        case 7: return fuzz_with<Stochastic>(in, period, period);
        case 8: return fuzz_with<OBV>(in);
        case 9: return fuzz_with<DEMA>(in, period);
        case 10: return fuzz_with<TEMA>(in, period);
        case 11: return fuzz_with<HMA>(in, period);
        case 12: return fuzz_with<KAMA>(in, period, period, period);
        case 13: return fuzz_with<CCI>(in, period);
        case 14: return fuzz_with<ROC>(in, period);
        case 15: return fuzz_with<WilliamsR>(in, period);
        case 16: return fuzz_with<ADX>(in, period);
        case 17: return fuzz_with<MFI>(in, period);
        case 18: return fuzz_with<TRIX>(in, period);
        case 19: return fuzz_with<PSAR>(in, factor, factor, factor);
        case 20: return fuzz_with<Keltner>(in, period, period, factor);
        case 21: return fuzz_with<Donchian>(in, period);
        case 22: return fuzz_with<VWAP>(in);
        case 23: return fuzz_with<AwesomeOscillator>(in, period, period);
        default: return fuzz_with<Aroon>(in, period);
    }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    FuzzedDataProvider in(data, size);
    switch (in.ConsumeIntegralInRange(0, 9)) {
        case 0: fuzz_candle(in); break;
        case 1: fuzz_ring_buffer(in); break;
        case 2: fuzz_extremes<kestov::Higher>(in); break;
        case 3: fuzz_extremes<kestov::HigherOrEqual>(in); break;
        case 4: fuzz_extremes<kestov::Lower>(in); break;
        case 5: fuzz_extremes<kestov::LowerOrEqual>(in); break;
        default: fuzz_indicators(in);
    }
    return 0;
}
