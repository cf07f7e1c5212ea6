#pragma once
// Every core indicator, for programs that stream through the library.

#include "kestov/candle.hpp"
#include "kestov/error.hpp"
#include "kestov/indicator.hpp"
#include "kestov/indicators/atr.hpp"
#include "kestov/indicators/sma.hpp"
