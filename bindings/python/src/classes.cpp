// The classes of the module, one description each, in registration order.
// A description names the core type and how batch reads its rows, then the
// constructor parameters, how to build the core from them, the properties and
// the repr; indicator_type.hpp does the rest.

#include "classes.hpp"

#include "indicator_type.hpp"
#include "kestov/indicators/atr.hpp"
#include "kestov/indicators/sma.hpp"

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

struct ATR_ : Describe<ATR, HighLowClose> {
    static constexpr const char* name = "ATR";
    static constexpr Param params[] = {{"period", "14"}};
    static auto make(std::uint64_t period) { return Core::create(period); }
    static constexpr const char* batch_note = "Batch over numpy columns: high, low, close (all 1-D, equal length).";
    static constexpr Property<Core> properties[] = {prop<&Core::period>("period")};
    static constexpr Repr repr = Repr::Config;
    static auto config(const Core& c) { return std::tuple{c.period()}; }
};

template <class D>
constexpr ClassEntry entry() {
    return {D::name, &type_object<D>};
}

constexpr ClassEntry registry[] = {
    entry<SMA_>(),
    entry<ATR_>(),
};

}  // namespace

std::span<const ClassEntry> classes() { return registry; }

}  // namespace kestov::py
