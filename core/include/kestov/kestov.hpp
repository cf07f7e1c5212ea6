#pragma once
// Every core indicator, for programs that stream through the library.

#include "kestov/candle.hpp"
#include "kestov/error.hpp"
#include "kestov/indicator.hpp"
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
