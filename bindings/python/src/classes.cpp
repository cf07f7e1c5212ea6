// The classes of the module, one description each, in registration order.
// A description names the core type and how batch reads its rows, then the
// constructor parameters, how to build the core from them, the properties and
// the repr; indicator_type.hpp does the rest.

#include "classes.hpp"

#include "indicator_type.hpp"
#include "kestov/indicators/adx.hpp"
#include "kestov/indicators/atr.hpp"
#include "kestov/indicators/bollinger.hpp"
#include "kestov/indicators/donchian.hpp"
#include "kestov/indicators/obv.hpp"
#include "kestov/indicators/psar.hpp"
#include "kestov/indicators/sma.hpp"
#include "kestov/indicators/vwap.hpp"

namespace kestov::py {
namespace {

struct SMA_ : Describe<SMA, Prices> {
    static constexpr const char* name = "SMA";
    static constexpr Param params[] = {{"period"}};
    static auto make(std::uint64_t period) { return Core::create(period); }
    static constexpr const char* contiguity = "contiguous numpy array";
    static constexpr Property<Core> properties[] = {prop<&Core::period>("period"),
                                                    prop<&Core::value>("value")};
    static constexpr Repr repr = Repr::Config;
    static auto config(const Core& c) { return std::tuple{c.period()}; }
};

struct BollingerBands_ : Describe<BollingerBands, Prices> {
    static constexpr const char* name = "BollingerBands";
    static constexpr Param params[] = {{"period", "20"}, {"multiplier", "2.0"}};
    static auto make(std::uint64_t period, double multiplier) { return Core::create(period, multiplier); }
    static constexpr const char* contiguity = "contiguous numpy array";
    static constexpr const char* update_note = "Returns `(upper, middle, lower, stddev)` or `None` during warmup.";
    static constexpr const char* batch_note = "Batch returns shape `(n, 4)` columns `[upper, middle, lower, stddev]`.";
    static constexpr Property<Core> properties[] = {prop<&Core::period>("period"),
                                                    prop<&Core::multiplier>("multiplier")};
    static constexpr Repr repr = Repr::Config;
    static auto config(const Core& c) { return std::tuple{c.period(), c.multiplier()}; }
};

struct ATR_ : Describe<ATR, HighLowClose> {
    static constexpr const char* name = "ATR";
    static constexpr Param params[] = {{"period", "14"}};
    static auto make(std::uint64_t period) { return Core::create(period); }
    static constexpr const char* batch_note = "Batch over numpy columns: high, low, close (all 1-D, equal length).";
    static constexpr Property<Core> properties[] = {prop<&Core::period>("period")};
    static constexpr Repr repr = Repr::Config;
    static auto config(const Core& c) { return std::tuple{c.period()}; }
};

struct OBV_ : Describe<OBV, CloseVolume> {
    static constexpr const char* name = "OBV";
    static auto make() { return Core::create(); }
    static constexpr const char* batch_note = "Batch over numpy close + volume arrays.";
    static constexpr Property<Core> properties[] = {prop<&Core::value>("value")};
    static constexpr Repr repr = Repr::Config;  // no parameters: "OBV()"
    static auto config(const Core&) { return std::tuple{}; }
};

struct ADX_ : Describe<ADX, HighLowClose> {
    static constexpr const char* name = "ADX";
    static constexpr Param params[] = {{"period", "14"}};
    static auto make(std::uint64_t period) { return Core::create(period); }
    static constexpr const char* update_note = "Returns `(plus_di, minus_di, adx)` or None during warmup.";
    static constexpr const char* batch_note = "Batch returns shape `(n, 3)`: `[plus_di, minus_di, adx]`.";
};

struct PSAR_ : Describe<PSAR, HighLowClose> {
    static constexpr const char* name = "PSAR";
    static constexpr Param params[] = {{"af_start", "0.02"}, {"af_step", "0.02"}, {"af_max", "0.20"}};
    static auto make(double af_start, double af_step, double af_max) {
        return Core::create(af_start, af_step, af_max);
    }
};

struct Donchian_ : Describe<Donchian, HighLow> {
    static constexpr const char* name = "Donchian";
    static constexpr Param params[] = {{"period", "20"}};
    static auto make(std::uint64_t period) { return Core::create(period); }
};

struct VWAP_ : Describe<VWAP, HighLowCloseVolume> {
    static constexpr const char* name = "VWAP";
    static auto make() { return Core::create(); }
};

template <class D>
constexpr ClassEntry entry() {
    return {D::name, &type_object<D>};
}

constexpr ClassEntry registry[] = {
    entry<SMA_>(),
    entry<BollingerBands_>(),
    entry<ATR_>(),
    entry<OBV_>(),
    entry<ADX_>(),
    entry<PSAR_>(),
    entry<Donchian_>(),
    entry<VWAP_>(),
};

}  // namespace

std::span<const ClassEntry> classes() { return registry; }

}  // namespace kestov::py
