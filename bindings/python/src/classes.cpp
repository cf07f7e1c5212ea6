// The module's registry: its classes in registration order, each built from
// its description (descriptions.hpp).

#include "classes.hpp"

#include "descriptions.hpp"

namespace kestov::py {
namespace {

using namespace descriptions;

template <class D>
constexpr ClassEntry entry() {
    return {D::name, &type_object<D>};
}

constexpr ClassEntry registry[] = {
    entry<SMA_>(),
    entry<EMA_>(),
    entry<WMA_>(),
    entry<RSI_>(),
    entry<MACD_>(),
    entry<BollingerBands_>(),
    entry<ATR_>(),
    entry<Stochastic_>(),
    entry<OBV_>(),
    entry<DEMA_>(),
    entry<TEMA_>(),
    entry<HMA_>(),
    entry<KAMA_>(),
    entry<CCI_>(),
    entry<ROC_>(),
    entry<WilliamsR_>(),
    entry<ADX_>(),
    entry<MFI_>(),
    entry<TRIX_>(),
    entry<PSAR_>(),
    entry<Keltner_>(),
    entry<Donchian_>(),
    entry<VWAP_>(),
    entry<AwesomeOscillator_>(),
    entry<Aroon_>(),
};

}  // namespace

std::span<const ClassEntry> classes() { return registry; }

}  // namespace kestov::py
