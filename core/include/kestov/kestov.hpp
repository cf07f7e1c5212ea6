#pragma once
// Every core indicator, for programs that stream through the library.

#include "kestov/candle.hpp"
#include "kestov/error.hpp"
#include "kestov/indicator.hpp"
#include "kestov/indicators/adx.hpp"
#include "kestov/indicators/atr.hpp"
#include "kestov/indicators/bollinger.hpp"
#include "kestov/indicators/donchian.hpp"
#include "kestov/indicators/obv.hpp"
#include "kestov/indicators/psar.hpp"
#include "kestov/indicators/sma.hpp"
#include "kestov/indicators/vwap.hpp"
