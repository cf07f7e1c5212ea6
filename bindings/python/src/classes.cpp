// The classes of the module, one description each, in registration order.
// A description names the core type and how batch reads its rows, then the
// constructor parameters, how to build the core from them, the properties and
// the repr; indicator_type.hpp does the rest.

#include "classes.hpp"

#include "indicator_type.hpp"
#include "kestov/indicators/aroon.hpp"
#include "kestov/indicators/atr.hpp"
#include "kestov/indicators/awesome_oscillator.hpp"
#include "kestov/indicators/cci.hpp"
#include "kestov/indicators/mfi.hpp"
#include "kestov/indicators/roc.hpp"
#include "kestov/indicators/rsi.hpp"
#include "kestov/indicators/sma.hpp"
#include "kestov/indicators/stochastic.hpp"
#include "kestov/indicators/williams_r.hpp"

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

struct RSI_ : Describe<RSI, Prices> {
    static constexpr const char* name = "RSI";
    static constexpr Param params[] = {{"period", "14"}};
    static auto make(std::uint64_t period) { return Core::create(period); }
    static constexpr const char* contiguity = "contiguous numpy array";
    static constexpr Property<Core> properties[] = {prop<&Core::period>("period"),
                                                    prop<&Core::value>("value")};
    static constexpr Repr repr = Repr::Config;
    static auto config(const Core& c) { return std::tuple{c.period()}; }
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

struct Stochastic_ : Describe<Stochastic, HighLowClose> {
    static constexpr const char* name = "Stochastic";
    static constexpr Param params[] = {{"k_period", "14"}, {"d_period", "3"}};
    static auto make(std::uint64_t k_period, std::uint64_t d_period) { return Core::create(k_period, d_period); }
    static constexpr const char* batch_note =
        "Batch over high/low/close numpy columns. Returns shape `(n, 2)` for `[k, d]`.";
    static constexpr Property<Core> properties[] = {prop<&Core::periods>("periods")};
    static constexpr Repr repr = Repr::Config;
    static auto config(const Core& c) { return c.periods(); }
};

struct CCI_ : Describe<CCI, HighLowClose> {
    static constexpr const char* name = "CCI";
    static constexpr Param params[] = {{"period", "20"}};
    static auto make(std::uint64_t period) { return Core::create(period); }
    static constexpr Property<Core> properties[] = {prop<&Core::period>("period")};
    static constexpr Repr repr = Repr::Config;
    static auto config(const Core& c) { return std::tuple{c.period()}; }
};

struct ROC_ : Describe<ROC, Prices> {
    static constexpr const char* name = "ROC";
    static constexpr Param params[] = {{"period"}};
    static auto make(std::uint64_t period) { return Core::create(period); }
    static constexpr Property<Core> properties[] = {prop<&Core::period>("period")};
    static constexpr Repr repr = Repr::Config;
    static auto config(const Core& c) { return std::tuple{c.period()}; }
};

struct WilliamsR_ : Describe<WilliamsR, HighLowClose> {
    static constexpr const char* name = "WilliamsR";
    static constexpr Param params[] = {{"period", "14"}};
    static auto make(std::uint64_t period) { return Core::create(period); }
};

struct MFI_ : Describe<MFI, HighLowCloseVolume> {
    static constexpr const char* name = "MFI";
    static constexpr Param params[] = {{"period", "14"}};
    static auto make(std::uint64_t period) { return Core::create(period); }
};

struct AwesomeOscillator_ : Describe<AwesomeOscillator, HighLow> {
    static constexpr const char* name = "AwesomeOscillator";
    static constexpr Param params[] = {{"fast", "5"}, {"slow", "34"}};
    static auto make(std::uint64_t fast, std::uint64_t slow) { return Core::create(fast, slow); }
};

struct Aroon_ : Describe<Aroon, HighLow> {
    static constexpr const char* name = "Aroon";
    static constexpr Param params[] = {{"period", "14"}};
    static auto make(std::uint64_t period) { return Core::create(period); }
};

template <class D>
constexpr ClassEntry entry() {
    return {D::name, &type_object<D>};
}

constexpr ClassEntry registry[] = {
    entry<SMA_>(),
    entry<RSI_>(),
    entry<ATR_>(),
    entry<Stochastic_>(),
    entry<CCI_>(),
    entry<ROC_>(),
    entry<WilliamsR_>(),
    entry<MFI_>(),
    entry<AwesomeOscillator_>(),
    entry<Aroon_>(),
};

}  // namespace

std::span<const ClassEntry> classes() { return registry; }

}  // namespace kestov::py
