#pragma once
// Every core indicator, for programs that stream through the library, with
// saved states (state.hpp) and panels of many series (panel.hpp).

#include "kestov/candle.hpp"
#include "kestov/error.hpp"
#include "kestov/indicator.hpp"
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
#include "kestov/panel.hpp"
#include "kestov/state.hpp"

namespace kestov {
template <class... T>
constexpr bool all_indicators = (Indicator<T> && ...);

static_assert(all_indicators<SMA, EMA, WMA, RSI, MACD, BollingerBands, ATR, Stochastic, OBV, DEMA, TEMA, HMA, KAMA,
                             CCI, ROC, WilliamsR, ADX, MFI, TRIX, PSAR, Keltner, Donchian, VWAP, AwesomeOscillator,
                             Aroon>);
}  // namespace kestov
