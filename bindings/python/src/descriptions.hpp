#pragma once
// The classes of the module, one description each. A description names the
// core type and how batch reads its rows, then the constructor parameters
// (their C++ types come from the core's factory), the properties and the
// repr; indicator_type.hpp builds the class from it, and the panel of
// kestov.many its own type over the same core.

#include "indicator_type.hpp"
#include "kestov/indicators/adx.hpp"
#include "kestov/indicators/aroon.hpp"
#include "kestov/indicators/atr.hpp"
#include "kestov/indicators/awesome_oscillator.hpp"
#include "kestov/indicators/bollinger.hpp"
#include "kestov/indicators/cci.hpp"
#include "kestov/indicators/dema.hpp"
#include "kestov/indicators/donchian.hpp"
#include "kestov/indicators/ema.hpp"
#include "kestov/indicators/hma.hpp"
#include "kestov/indicators/kama.hpp"
#include "kestov/indicators/keltner.hpp"
#include "kestov/indicators/macd.hpp"
#include "kestov/indicators/mfi.hpp"
#include "kestov/indicators/obv.hpp"
#include "kestov/indicators/psar.hpp"
#include "kestov/indicators/roc.hpp"
#include "kestov/indicators/rsi.hpp"
#include "kestov/indicators/sma.hpp"
#include "kestov/indicators/stochastic.hpp"
#include "kestov/indicators/tema.hpp"
#include "kestov/indicators/trix.hpp"
#include "kestov/indicators/vwap.hpp"
#include "kestov/indicators/williams_r.hpp"
#include "kestov/indicators/wma.hpp"

namespace kestov::py::descriptions {

struct SMA_ : Describe<SMA, Prices> {
    static constexpr const char* name = "SMA";
    static constexpr Param params[] = {{"period"}};
    static constexpr const char* contiguity = "contiguous numpy array";
    static constexpr Property<Core> properties[] = {prop<&Core::period>("period"),
                                                    prop<&Core::value>("value")};
    static constexpr Repr repr = Repr::Config;
};

struct EMA_ : Describe<EMA, Prices> {
    static constexpr const char* name = "EMA";
    static constexpr Param params[] = {{"period"}};
    static constexpr const char* contiguity = "contiguous numpy array";
    static constexpr Property<Core> properties[] = {prop<&Core::period>("period"), prop<&Core::alpha>("alpha"),
                                                    prop<&Core::value>("value")};
    static constexpr Repr repr = Repr::Config;
};

struct WMA_ : Describe<WMA, Prices> {
    static constexpr const char* name = "WMA";
    static constexpr Param params[] = {{"period"}};
    static constexpr const char* contiguity = "contiguous numpy array";
    static constexpr Property<Core> properties[] = {prop<&Core::period>("period"), prop<&Core::value>("value")};
    static constexpr Repr repr = Repr::Config;
};

struct MACD_ : Describe<MACD, Prices> {
    static constexpr const char* name = "MACD";
    static constexpr Param params[] = {{"fast", "12"}, {"slow", "26"}, {"signal", "9"}};
    static constexpr const char* contiguity = "contiguous numpy array";
    static constexpr const char* update_note = "Returns `(macd, signal, histogram)` or `None` during warmup.";
    static constexpr const char* batch_note =
        "Batch over a numpy array of closes. Returns a 2D array of shape `(n, 3)`\n"
        "with columns `[macd, signal, histogram]`. Warmup rows are NaN.";
    static constexpr Property<Core> properties[] = {prop<&Core::periods>("periods")};
    static constexpr Repr repr = Repr::Config;
};

struct ATR_ : Describe<ATR, HighLowClose> {
    static constexpr const char* name = "ATR";
    static constexpr Param params[] = {{"period", "14"}};
    static constexpr const char* batch_note = "Batch over numpy columns: high, low, close (all 1-D, equal length).";
    static constexpr Property<Core> properties[] = {prop<&Core::period>("period")};
    static constexpr Repr repr = Repr::Config;
};

// The plain "(period)" averages built from other averages.
template <class CoreT, const char* Name>
struct PeriodAverage : Describe<CoreT, Prices> {
    using Core = CoreT;
    static constexpr const char* name = Name;
    static constexpr Param params[] = {{"period"}};
    static constexpr Property<Core> properties[] = {prop<&Core::period>("period")};
    static constexpr Repr repr = Repr::Config;
};

inline constexpr char dema_name[] = "DEMA";
inline constexpr char tema_name[] = "TEMA";
inline constexpr char hma_name[] = "HMA";
using DEMA_ = PeriodAverage<DEMA, dema_name>;
using TEMA_ = PeriodAverage<TEMA, tema_name>;
using HMA_ = PeriodAverage<HMA, hma_name>;

struct KAMA_ : Describe<KAMA, Prices> {
    static constexpr const char* name = "KAMA";
    static constexpr Param params[] = {{"er_period", "10"}, {"fast", "2"}, {"slow", "30"}};
    static constexpr Repr repr = Repr::BareName;
};

struct TRIX_ : Describe<TRIX, Prices> {
    static constexpr const char* name = "TRIX";
    static constexpr Param params[] = {{"period"}};
};

struct Keltner_ : Describe<Keltner, HighLowClose> {
    static constexpr const char* name = "Keltner";
    static constexpr Param params[] = {{"ema_period", "20"}, {"atr_period", "10"}, {"multiplier", "2.0"}};
    static constexpr const char* update_note = "Returns `(upper, middle, lower)` or None during warmup.";
    static constexpr const char* batch_note = "Returns shape `(n, 3)` for `[upper, middle, lower]`.";
};

struct BollingerBands_ : Describe<BollingerBands, Prices> {
    static constexpr const char* name = "BollingerBands";
    static constexpr Param params[] = {{"period", "20"}, {"multiplier", "2.0"}};
    static constexpr const char* contiguity = "contiguous numpy array";
    static constexpr const char* update_note = "Returns `(upper, middle, lower, stddev)` or `None` during warmup.";
    static constexpr const char* batch_note = "Batch returns shape `(n, 4)` columns `[upper, middle, lower, stddev]`.";
    static constexpr Property<Core> properties[] = {prop<&Core::period>("period"),
                                                    prop<&Core::multiplier>("multiplier")};
    static constexpr Repr repr = Repr::Config;
};

struct OBV_ : Describe<OBV, CloseVolume> {
    static constexpr const char* name = "OBV";
    static constexpr const char* batch_note = "Batch over numpy close + volume arrays.";
    static constexpr Property<Core> properties[] = {prop<&Core::value>("value")};
    static constexpr Repr repr = Repr::Config;  // no parameters: "OBV()"
};

struct ADX_ : Describe<ADX, HighLowClose> {
    static constexpr const char* name = "ADX";
    static constexpr Param params[] = {{"period", "14"}};
    static constexpr const char* update_note = "Returns `(plus_di, minus_di, adx)` or None during warmup.";
    static constexpr const char* batch_note = "Batch returns shape `(n, 3)`: `[plus_di, minus_di, adx]`.";
};

struct PSAR_ : Describe<PSAR, HighLowClose> {
    static constexpr const char* name = "PSAR";
    static constexpr Param params[] = {{"af_start", "0.02"}, {"af_step", "0.02"}, {"af_max", "0.20"}};
};

struct Donchian_ : Describe<Donchian, HighLow> {
    static constexpr const char* name = "Donchian";
    static constexpr Param params[] = {{"period", "20"}};
};

struct VWAP_ : Describe<VWAP, HighLowCloseVolume> {
    static constexpr const char* name = "VWAP";
};

struct RSI_ : Describe<RSI, Prices> {
    static constexpr const char* name = "RSI";
    static constexpr Param params[] = {{"period", "14"}};
    static constexpr const char* contiguity = "contiguous numpy array";
    static constexpr Property<Core> properties[] = {prop<&Core::period>("period"),
                                                    prop<&Core::value>("value")};
    static constexpr Repr repr = Repr::Config;
};

struct Stochastic_ : Describe<Stochastic, HighLowClose> {
    static constexpr const char* name = "Stochastic";
    static constexpr Param params[] = {{"k_period", "14"}, {"d_period", "3"}};
    static constexpr const char* batch_note =
        "Batch over high/low/close numpy columns. Returns shape `(n, 2)` for `[k, d]`.";
    static constexpr Property<Core> properties[] = {prop<&Core::periods>("periods")};
    static constexpr Repr repr = Repr::Config;
};

struct CCI_ : Describe<CCI, HighLowClose> {
    static constexpr const char* name = "CCI";
    static constexpr Param params[] = {{"period", "20"}};
    static constexpr Property<Core> properties[] = {prop<&Core::period>("period")};
    static constexpr Repr repr = Repr::Config;
};

struct ROC_ : Describe<ROC, Prices> {
    static constexpr const char* name = "ROC";
    static constexpr Param params[] = {{"period"}};
    static constexpr Property<Core> properties[] = {prop<&Core::period>("period")};
    static constexpr Repr repr = Repr::Config;
};

struct WilliamsR_ : Describe<WilliamsR, HighLowClose> {
    static constexpr const char* name = "WilliamsR";
    static constexpr Param params[] = {{"period", "14"}};
};

struct MFI_ : Describe<MFI, HighLowCloseVolume> {
    static constexpr const char* name = "MFI";
    static constexpr Param params[] = {{"period", "14"}};
};

struct AwesomeOscillator_ : Describe<AwesomeOscillator, HighLow> {
    static constexpr const char* name = "AwesomeOscillator";
    static constexpr Param params[] = {{"fast", "5"}, {"slow", "34"}};
};

struct Aroon_ : Describe<Aroon, HighLow> {
    static constexpr const char* name = "Aroon";
    static constexpr Param params[] = {{"period", "14"}};
};

// Every description, in registration order.
template <template <class...> class F>
using Each = F<SMA_, EMA_, WMA_, RSI_, MACD_, BollingerBands_, ATR_, Stochastic_, OBV_, DEMA_, TEMA_, HMA_, KAMA_, CCI_,
               ROC_, WilliamsR_, ADX_, MFI_, TRIX_, PSAR_, Keltner_, Donchian_, VWAP_, AwesomeOscillator_, Aroon_>;

}  // namespace kestov::py::descriptions
