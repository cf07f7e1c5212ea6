#pragma once
// Every core indicator, for programs that stream through the library.

#include "kestov/candle.hpp"
#include "kestov/error.hpp"
#include "kestov/indicator.hpp"
#include "kestov/indicators/atr.hpp"
#include "kestov/indicators/dema.hpp"
#include "kestov/indicators/ema.hpp"
#include "kestov/indicators/hma.hpp"
#include "kestov/indicators/kama.hpp"
#include "kestov/indicators/keltner.hpp"
#include "kestov/indicators/macd.hpp"
#include "kestov/indicators/sma.hpp"
#include "kestov/indicators/tema.hpp"
#include "kestov/indicators/trix.hpp"
#include "kestov/indicators/wma.hpp"

namespace kestov {
static_assert(Indicator<SMA> && Indicator<EMA> && Indicator<WMA> && Indicator<HMA> && Indicator<DEMA> &&
              Indicator<TEMA> && Indicator<TRIX> && Indicator<KAMA> && Indicator<ATR> &&
              Indicator<MACD> && Indicator<Keltner>);
}  // namespace kestov
