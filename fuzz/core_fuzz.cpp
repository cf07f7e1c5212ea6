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
//   one follows every later input. Now and then the object is saved and
//   restored in place (a round trip), and must go on exactly as the twin
//   that never was.
// - load_state on raw bytes, with or without the class's own header in
//   front of them.
// - A valid state, made from a random configuration and generated inputs,
//   round-tripped (the restored object must go on exactly as the original),
//   then edited a few bytes at a time and loaded.
// Whenever a load succeeds, saving the result must give back the loaded
// bytes, copy_state must give an object in the same state, and a few hundred
// updates must run on both alike; reset must then leave the object as a new
// one of its configuration. A refusal must name an offset inside the input,
// and for a flag that is neither 0 nor 1, or a wrong tag, that very byte.
// Any broken invariant aborts with a message, which libFuzzer reports. When
// replaying an input, KESTOV_FUZZ_TRACE=1 prints where each update stood.

#include <fuzzer/FuzzedDataProvider.h>

#include <algorithm>
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
#include <tuple>
#include <type_traits>
#include <utility>
#include <vector>

#include "kestov/kestov.hpp"
#include "kestov/ring_buffer.hpp"
#include "kestov/state.hpp"
#include "kestov/window_extreme.hpp"

namespace {

// load_state calls, by where their bytes came from.
struct Loads {
    std::uint64_t tried = 0;
    std::uint64_t loaded = 0;
};
struct RestoreCounts {
    Loads raw;          // the fuzz input's own bytes
    Loads edited;       // a valid state after byte edits
    Loads round_trips;  // a valid state as saved: every one must load
} restores;

// Printed when the run ends, or stops at a finding; scripts/fuzz.sh reads
// this line into its summary.
void print_restores() {
    const auto n = [](std::uint64_t v) { return static_cast<unsigned long long>(v); };
    std::fprintf(stderr, "kestov restores: raw %llu/%llu, edited %llu/%llu, round trips %llu/%llu loaded\n",
                 n(restores.raw.loaded), n(restores.raw.tried), n(restores.edited.loaded), n(restores.edited.tried),
                 n(restores.round_trips.loaded), n(restores.round_trips.tried));
}

[[noreturn]] void fail(const char* what, const char* detail = "") {
    std::fprintf(stderr, "core invariant broken: %s %s\n", what, detail);
    print_restores();
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
    // Any timestamp, or one near zero, so that sessions both change and last.
    const std::int64_t timestamp = in.ConsumeBool() ? in.ConsumeIntegral<std::int64_t>()
                                                    : in.ConsumeIntegralInRange<std::int64_t>(-1000, 1000);
    const auto made = kestov::Candle::create(f[1], hi, lo, f[2], volume, timestamp);
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

// ---- Saved states -----------------------------------------------------------

// Inputs for the updates that follow a load: a walk seeded by the fuzz input
// rather than drawn from it, so that a short input still runs a few hundred
// updates. Now and then a special value, or a candle of extreme or signed-zero
// prices, which is what a state must carry exactly.
class Stream {
public:
    explicit Stream(std::uint64_t seed) noexcept : state_(seed) {}

    template <class Input>
    std::optional<Input> next() noexcept {
        if constexpr (std::same_as<Input, kestov::Candle>) {
            return candle();
        } else if constexpr (std::same_as<Input, kestov::Pair>) {
            const double a = value();
            return kestov::Pair{a, value()};
        } else {
            return value();
        }
    }

private:
    std::uint64_t bits() noexcept {  // splitmix64
        std::uint64_t z = (state_ += 0x9e3779b97f4a7c15);
        z = (z ^ (z >> 30)) * 0xbf58476d1ce4e5b9;
        z = (z ^ (z >> 27)) * 0x94d049bb133111eb;
        return z ^ (z >> 31);
    }
    double unit() noexcept { return static_cast<double>(bits() >> 11) * 0x1p-53; }
    double step() noexcept { return walk_ += 2.0 * unit() - 1.0; }

    double value() noexcept {
        constexpr double special[] = {0.0, -0.0, nan, inf, -inf, 5e-324, 1e300, -1e300, 1e-300};
        if (bits() % 16 == 0) return special[bits() % std::size(special)];
        return step();
    }

    std::optional<kestov::Candle> candle() noexcept {
        const double open = step(), close = step();
        double high = std::max(open, close) + unit(), low = std::min(open, close) - unit();
        double o = open, c = close, volume = bits() % 8 == 0 ? 0.0 : 1e3 * unit();
        switch (bits() % 16) {
            case 0: o = c = high = low = -0.0; volume = 0.0; break;
            case 1: o *= 1e300, c *= 1e300, high *= 1e300, low *= 1e300; break;
            case 2: o *= 1e-300, c *= 1e-300, high *= 1e-300, low *= 1e-300; break;
            default: break;
        }
        const auto made = kestov::Candle::create(o, high, low, c, volume, static_cast<std::int64_t>(bits()));
        if (!made) return std::nullopt;
        return made.value();
    }

    std::uint64_t state_;
    double walk_ = 100.0;
};

template <class T>
std::vector<unsigned char> header_of() {
    kestov::StateWriter counter(nullptr);
    counter.header(T::name);
    std::vector<unsigned char> bytes(counter.size());
    kestov::StateWriter w(bytes.data());
    w.header(T::name);
    return bytes;
}

std::uint64_t u64_at(const std::vector<unsigned char>& bytes, std::size_t at) {
    std::uint64_t v = 0;
    for (std::size_t i = 0; i < 8; ++i) v |= static_cast<std::uint64_t>(bytes[at + i]) << (8 * i);
    return v;
}

void put_u64(std::vector<unsigned char>& bytes, std::size_t at, std::uint64_t v) {
    for (std::size_t i = 0; i < 8 && at + i < bytes.size(); ++i) bytes[at + i] = static_cast<unsigned char>(v >> (8 * i));
}

// Loading builds the configuration first, so a state asks for whatever
// buffers its periods need. As in the rest of this harness, periods are
// either moderate or beyond any allocation (refused, with
// allocator_may_return_null): one in between would be a real reservation of
// up to a terabyte, which libFuzzer reports as running out of memory.
template <class T>
void bound_periods(std::vector<unsigned char>& bytes) {
    const auto head = header_of<T>();
    if (bytes.size() < head.size() || !std::equal(head.begin(), head.end(), bytes.begin())) return;
    using Config = kestov::ConfigOf<T>;
    const auto bound = [&](std::size_t at) {
        if (at + 8 > bytes.size()) return;
        const std::uint64_t v = u64_at(bytes, at);
        if (v > 0xffff && v < (std::uint64_t{1} << 60)) put_u64(bytes, at, v & 0xffff);
    };
    [&]<std::size_t... K>(std::index_sequence<K...>) {
        ((std::is_same_v<std::tuple_element_t<K, Config>, std::uint64_t> ? bound(head.size() + 8 * K) : void()),
         ...);
    }(std::make_index_sequence<std::tuple_size_v<Config>>{});
}

// The inputs through update_block, in pieces the seed chooses, against
// update's outputs: NaN in every column where update gave nothing.
template <class Pack, class T>
bool columns_agree(T& obj, const std::vector<typename T::Input>& inputs,
                   const std::vector<std::optional<typename T::Output>>& outputs, std::uint64_t seed) {
    constexpr std::size_t k = std::is_same_v<typename T::Output, double> ? 1 : sizeof(typename T::Output) / sizeof(double);
    const std::size_t n = inputs.size();
    std::vector<double> out(n * k);
    std::array<std::vector<double>, 5> fields;
    for (const auto& x : inputs) {
        if constexpr (std::is_same_v<typename T::Input, double>) {
            fields[0].push_back(x);
        } else if constexpr (std::is_same_v<typename T::Input, kestov::Pair>) {
            fields[0].push_back(x.a);
            fields[1].push_back(x.b);
        } else {
            const double f[5] = {x.open(), x.high(), x.low(), x.close(), x.volume()};
            for (int j = 0; j < 5; ++j) fields[j].push_back(f[j]);
        }
    }
    for (std::size_t from = 0, cut = seed % 97; from < n;) {
        const std::size_t to = std::min(n, from + cut + 1);
        const auto at = [&](int j) { return fields[j].data() + from; };
        if constexpr (std::is_same_v<typename T::Input, double>) {
            obj.template update_block<Pack>(at(0), to - from, out.data() + from * k);
        } else if constexpr (std::is_same_v<typename T::Input, kestov::Pair>) {
            obj.template update_block<Pack>(kestov::PairColumns{at(0), at(1)}, to - from, out.data() + from * k);
        } else {
            obj.template update_block<Pack>(kestov::CandleColumns{at(0), at(1), at(2), at(3), at(4)}, to - from,
                                            out.data() + from * k);
        }
        from = to;
        cut = cut * 7 + 13 & 255;
    }
    for (std::size_t i = 0; i < n; ++i) {
        for (std::size_t j = 0; j < k; ++j) {
            double want = kestov::nan_value;
            if (outputs[i]) {
                if constexpr (std::is_same_v<typename T::Output, double>) want = *outputs[i];
                else want = (*outputs[i])[j];
            }
            if (!same(out[i * k + j], want) && !(!outputs[i] && out[i * k + j] != out[i * k + j])) return false;
        }
    }
    return true;
}

// What every loaded object must satisfy; `bytes` is what it was loaded from.
template <class T>
void check_loaded(T& obj, const std::vector<unsigned char>& bytes, std::uint64_t seed) {
    const char* name = T::name.data();
    EXPECT(kestov::state_size(obj) == bytes.size(), name);
    EXPECT(kestov::save_state(obj) == bytes, name);
    auto copied = kestov::copy_state(obj);
    EXPECT(copied.has_value(), name);
    T twin = std::move(copied).value();
    EXPECT(kestov::same_state(obj, twin), name);
    auto fresh = std::apply(&T::create, obj.config());
    EXPECT(fresh.has_value(), name);
    const std::uint64_t warmup = obj.warmup_period();
    EXPECT(fresh.value().warmup_period() == warmup, name);
    std::optional<T> narrow, wide;
    if constexpr (kestov::TakesColumns<T>) {
        narrow.emplace(kestov::copy_state(obj).value());
        wide.emplace(kestov::copy_state(obj).value());
    }
    std::vector<typename T::Input> inputs;
    std::vector<std::optional<typename T::Output>> outputs;
    Stream stream(seed);
    for (int i = 0; i < 300; ++i) {
        const auto x = stream.next<typename T::Input>();
        if (!x) continue;
        const auto got = obj.update(*x);
        EXPECT(same(got, twin.update(*x)), name);
        EXPECT(!got || obj.is_ready(), name);
        EXPECT(obj.warmup_period() == warmup, name);
        inputs.push_back(*x);
        outputs.push_back(got);
    }
    EXPECT(kestov::same_state(obj, twin), name);
    if constexpr (kestov::TakesColumns<T>) {
        EXPECT(columns_agree<kestov::lanes::Narrow>(*narrow, inputs, outputs, seed), name);
        EXPECT(kestov::same_state(obj, *narrow), name);
        EXPECT(columns_agree<kestov::lanes::Wide>(*wide, inputs, outputs, seed), name);
        EXPECT(kestov::same_state(obj, *wide), name);
    }
    obj.reset();
    EXPECT(kestov::same_state(obj, fresh.value()), name);
}

// Loads `bytes`, checking the object or the refusal.
template <class T>
void try_load(std::vector<unsigned char>& bytes, std::uint64_t seed, Loads& count) {
    bound_periods<T>(bytes);
    ++count.tried;
    auto loaded = kestov::load_state<T>(bytes.data(), bytes.size());
    if (!loaded) {
        const kestov::LoadError& error = loaded.error();
        EXPECT(kestov::load_error_text(error) != nullptr, T::name.data());
        if (const auto* bad = std::get_if<kestov::StateError>(&error)) {
            EXPECT(bad->what != nullptr && bad->at <= bytes.size(), T::name.data());
            // The offset names the byte found wrong, where one byte is.
            if (std::strcmp(bad->what, "a flag is neither 0 nor 1") == 0)
                EXPECT(bad->at < bytes.size() && bytes[bad->at] > 1, bad->what);
            if (std::strcmp(bad->what, "not a kestov state (no KSTV tag)") == 0) {
                const auto& tag = kestov::state_magic;
                EXPECT(bad->at < std::min(tag.size(), bytes.size()) && bytes[bad->at] != tag[bad->at] &&
                           std::equal(tag.begin(), tag.begin() + static_cast<std::ptrdiff_t>(bad->at), bytes.begin()),
                       bad->what);
            }
        }
        return;
    }
    ++count.loaded;
    check_loaded(loaded.value(), bytes, seed);
}

// Saved and loaded again: the same bytes, and an object that must go on
// exactly as `obj` would.
template <class T>
T round_trip(const T& obj) {
    const auto bytes = kestov::save_state(obj);
    EXPECT(kestov::state_size(obj) == bytes.size(), T::name.data());
    ++restores.round_trips.tried;
    auto back = kestov::load_state<T>(bytes);
    if (!back) fail("a saved state was refused:", kestov::load_error_text(back.error()));
    ++restores.round_trips.loaded;
    EXPECT(kestov::save_state(back.value()) == bytes, T::name.data());
    return std::move(back).value();
}

template <class T>
void fuzz_raw_state(FuzzedDataProvider& in) {
    const auto seed = in.ConsumeIntegral<std::uint64_t>();
    // With the header given, the fuzzer's effort goes into the configuration
    // and fields rather than into finding the tag and the name.
    std::vector<unsigned char> bytes = in.ConsumeBool() ? header_of<T>() : std::vector<unsigned char>{};
    const auto rest = in.ConsumeRemainingBytes<unsigned char>();
    bytes.insert(bytes.end(), rest.begin(), rest.end());
    try_load<T>(bytes, seed, restores.raw);
}

// A few edits: bytes set or flipped, runs cut out or put in, the end cut off,
// a word overwritten with a value that counts, flags and doubles rarely hold,
// a word moved by one (a count off by one), or a word repeated (a buffer one
// value longer). Half of them land past the configuration, among the fields.
void mutate(FuzzedDataProvider& in, std::vector<unsigned char>& bytes, std::size_t fields_start) {
    constexpr std::uint64_t words[] = {0, 1, 2, 3, 41, std::uint64_t{1} << 32, std::uint64_t{1} << 63,
                                       std::numeric_limits<std::uint64_t>::max(),
                                       std::bit_cast<std::uint64_t>(-0.0), std::bit_cast<std::uint64_t>(nan),
                                       std::bit_cast<std::uint64_t>(inf), std::bit_cast<std::uint64_t>(-inf),
                                       std::bit_cast<std::uint64_t>(1e300)};
    for (int edits = in.ConsumeIntegralInRange(1, 4); edits > 0; --edits) {
        const std::size_t size = bytes.size();
        const std::size_t from = in.ConsumeBool() ? 0 : std::min(fields_start, size);
        const std::size_t at = in.ConsumeIntegralInRange<std::size_t>(from, size);
        const bool inside = at < size;
        switch (in.ConsumeIntegralInRange(0, 7)) {
            case 0:
                if (inside) bytes[at] = in.ConsumeIntegral<unsigned char>();
                break;
            case 1:
                if (inside) bytes[at] ^= static_cast<unsigned char>(1u << in.ConsumeIntegralInRange(0, 7));
                break;
            case 2:
                bytes.erase(bytes.begin() + static_cast<std::ptrdiff_t>(at),
                            bytes.begin() + static_cast<std::ptrdiff_t>(
                                                std::min(size, at + in.ConsumeIntegralInRange<std::size_t>(1, 16))));
                break;
            case 3: {
                const auto put = in.ConsumeBytes<unsigned char>(in.ConsumeIntegralInRange<std::size_t>(1, 16));
                bytes.insert(bytes.begin() + static_cast<std::ptrdiff_t>(at), put.begin(), put.end());
                break;
            }
            case 4: bytes.resize(at); break;
            case 5: put_u64(bytes, at, words[in.ConsumeIntegralInRange<std::size_t>(0, std::size(words) - 1)]); break;
            case 6:
                if (at + 8 <= size) put_u64(bytes, at, u64_at(bytes, at) + (in.ConsumeBool() ? 1 : ~std::uint64_t{0}));
                break;
            default:
                if (at + 8 <= size) {
                    const std::vector<unsigned char> word(bytes.begin() + static_cast<std::ptrdiff_t>(at),
                                                          bytes.begin() + static_cast<std::ptrdiff_t>(at + 8));
                    bytes.insert(bytes.begin() + static_cast<std::ptrdiff_t>(at), word.begin(), word.end());
                }
        }
    }
}

template <class T, class Config>
void fuzz_mutated_state(FuzzedDataProvider& in, const Config& config) {
    auto built = std::apply(&T::create, config);
    if (!built) return;
    T obj = std::move(built).value();
    const auto seed = in.ConsumeIntegral<std::uint64_t>();
    Stream stream(seed);
    // Anywhere in its life: fresh, warming up, long after, or after a reset.
    const auto steps = in.ConsumeIntegralInRange<std::uint64_t>(0, 2 * obj.warmup_period() + 40);
    const auto reset_at = in.ConsumeBool() ? in.ConsumeIntegralInRange<std::uint64_t>(0, steps) : steps;
    for (std::uint64_t i = 0; i < steps; ++i) {
        if (i == reset_at) obj.reset();
        if (const auto x = stream.next<typename T::Input>()) obj.update(*x);
    }
    const std::vector<unsigned char> good = kestov::save_state(obj);
    T back = round_trip(obj);
    for (int i = 0; i < 100; ++i) {
        const auto x = stream.next<typename T::Input>();
        if (x) EXPECT(same(obj.update(*x), back.update(*x)), "restored object departs from the original");
    }
    EXPECT(kestov::same_state(obj, back), T::name.data());

    std::vector<unsigned char> bytes = good;
    const std::size_t fields_start = header_of<T>().size() + 8 * std::tuple_size_v<Config>;
    mutate(in, bytes, fields_start);
    try_load<T>(bytes, seed + 1, restores.edited);
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
    const char* name = __PRETTY_FUNCTION__;  // names T
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
        if (op == 2) {
            obj = round_trip(obj);
            continue;
        }
        std::optional<typename T::Output> got, want;
        if constexpr (std::same_as<typename T::Input, kestov::Candle>) {
            const auto candle = valid_candle(in);
            if (!candle) continue;
            got = obj.update(*candle);
            want = fresh.update(*candle);
            volume += candle->volume();
        } else if constexpr (std::same_as<typename T::Input, kestov::Pair>) {
            const auto one = [&] {
                return in.ConsumeIntegralInRange(0, 15) == 0 ? any_double(in) : in.ConsumeFloatingPointInRange(-1e4, 1e4);
            };
            const double a = one();
            const kestov::Pair pair{a, one()};
            got = obj.update(pair);
            want = fresh.update(pair);
        } else {
            const double x = in.ConsumeIntegralInRange(0, 15) == 0 ? any_double(in)
                                                                    : in.ConsumeFloatingPointInRange(-1e4, 1e4);
            got = obj.update(x);
            want = fresh.update(x);
        }
        ++accepted;
        if (std::getenv("KESTOV_FUZZ_TRACE"))
            std::fprintf(stderr, "input %llu of warmup %llu: output %d\n", static_cast<unsigned long long>(accepted),
                         static_cast<unsigned long long>(warmup), got.has_value());
        EXPECT(same(got, want), name);
        EXPECT(obj.is_ready() == fresh.is_ready(), name);
        EXPECT(!got || obj.is_ready(), name);
        EXPECT(obj.warmup_period() == warmup, name);
        if constexpr (std::same_as<T, kestov::VWAP>) {
            EXPECT(got.has_value() == (volume > 0.0), name);
        } else if constexpr (std::same_as<T, kestov::VWMA> || std::same_as<T, kestov::SessionVWAP> ||
                             std::same_as<typename T::Input, kestov::Pair>) {
            // A window (or session) without volume has no average, and a window where a series stands
            // still no statistic, however long warmed up.
            EXPECT(!got || accepted >= warmup, name);
        } else if (wild_values == wild_before) {
            // Over moderate inputs; extreme finite ones can overflow on the way (2 * WMA in HMA).
            EXPECT(got.has_value() == (accepted >= warmup), name);
        }
    }
}

enum class Mode { Stream, RawState, MutatedState };

// The configuration is drawn once, left to right; every build uses it.
template <Mode M, class T, class... Draw>
void fuzz_with(FuzzedDataProvider& in, Draw... draw) {
    if constexpr (M == Mode::RawState) {
        fuzz_raw_state<T>(in);
    } else {
        const std::tuple config{draw(in)...};
        if constexpr (M == Mode::Stream)
            fuzz_indicator<T>(in, [&] { return std::apply(&T::create, config); });
        else
            fuzz_mutated_state<T>(in, config);
    }
}

const auto period = [](FuzzedDataProvider& in) { return any_period(in); };
const auto factor = [](FuzzedDataProvider& in) {
    return in.ConsumeBool() ? in.ConsumeFloatingPointInRange(0.0, 3.0) : any_double(in);
};

// Each argument of a class's create drawn by its type: a count as a period,
// a double as a factor, a signed integer as an offset.
template <class A>
A draw(FuzzedDataProvider& in) {
    if constexpr (std::is_same_v<A, double>)
        return factor(in);
    else if constexpr (std::is_same_v<A, std::int64_t>)  // an offset: anywhere, the extremes included
        return in.ConsumeBool() ? in.ConsumeIntegral<std::int64_t>() : in.ConsumeIntegralInRange<std::int64_t>(-5, 5);
    else
        return period(in);
}

template <Mode M, class T, class... A>
void fuzz_configured(FuzzedDataProvider& in, std::tuple<A...>*) {
    fuzz_with<M, T>(in, draw<A>...);
}

// One of every core indicator, the fuzzer's choice.
template <Mode M, class... T>
void fuzz_one_of(FuzzedDataProvider& in, kestov::TypeList<T...>) {
    const std::size_t pick = in.ConsumeIntegralInRange<std::size_t>(0, sizeof...(T) - 1);
    std::size_t i = 0;
    ((i++ == pick ? fuzz_configured<M, T>(in, static_cast<kestov::ConfigOf<T>*>(nullptr)) : void()), ...);
}

template <Mode M>
void fuzz_indicators(FuzzedDataProvider& in) {
    fuzz_one_of<M>(in, kestov::AllIndicators{});
}

}  // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***) {
    std::atexit(print_restores);
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    FuzzedDataProvider in(data, size);
    switch (in.ConsumeIntegralInRange(0, 11)) {
        case 0: fuzz_candle(in); break;
        case 1: fuzz_ring_buffer(in); break;
        case 2: fuzz_extremes<kestov::Higher>(in); break;
        case 3: fuzz_extremes<kestov::HigherOrEqual>(in); break;
        case 4: fuzz_extremes<kestov::Lower>(in); break;
        case 5: fuzz_extremes<kestov::LowerOrEqual>(in); break;
        case 6: fuzz_indicators<Mode::RawState>(in); break;
        case 7:
        case 8: fuzz_indicators<Mode::MutatedState>(in); break;
        default: fuzz_indicators<Mode::Stream>(in);
    }
    return 0;
}
