#pragma once
// Every core indicator, for programs that stream through the library, with
// saved states (state.hpp) and panels of many series (panel.hpp).

#include "kestov/candle.hpp"
#include "kestov/error.hpp"
#include "kestov/indicator.hpp"
#include "kestov/lanes.hpp"
#include "kestov/indicators/accumulation_distribution.hpp"
#include "kestov/indicators/adx.hpp"
#include "kestov/indicators/adxr.hpp"
#include "kestov/indicators/apo.hpp"
#include "kestov/indicators/aroon.hpp"
#include "kestov/indicators/aroon_oscillator.hpp"
#include "kestov/indicators/atr.hpp"
#include "kestov/indicators/awesome_oscillator.hpp"
#include "kestov/indicators/balance_of_power.hpp"
#include "kestov/indicators/beta.hpp"
#include "kestov/indicators/bollinger.hpp"
#include "kestov/indicators/cci.hpp"
#include "kestov/indicators/chaikin_money_flow.hpp"
#include "kestov/indicators/chaikin_oscillator.hpp"
#include "kestov/indicators/cmo.hpp"
#include "kestov/indicators/coppock.hpp"
#include "kestov/indicators/correlation.hpp"
#include "kestov/indicators/dema.hpp"
#include "kestov/indicators/donchian.hpp"
#include "kestov/indicators/dpo.hpp"
#include "kestov/indicators/dx.hpp"
#include "kestov/indicators/ease_of_movement.hpp"
#include "kestov/indicators/ema.hpp"
#include "kestov/indicators/force_index.hpp"
#include "kestov/indicators/heikin_ashi.hpp"
#include "kestov/indicators/hma.hpp"
#include "kestov/indicators/ichimoku.hpp"
#include "kestov/indicators/kama.hpp"
#include "kestov/indicators/keltner.hpp"
#include "kestov/indicators/kst.hpp"
#include "kestov/indicators/linear_regression.hpp"
#include "kestov/indicators/macd.hpp"
#include "kestov/indicators/mass_index.hpp"
#include "kestov/indicators/mfi.hpp"
#include "kestov/indicators/mid_point.hpp"
#include "kestov/indicators/mid_price.hpp"
#include "kestov/indicators/momentum.hpp"
#include "kestov/indicators/natr.hpp"
#include "kestov/indicators/nvi.hpp"
#include "kestov/indicators/obv.hpp"
#include "kestov/indicators/ppo.hpp"
#include "kestov/indicators/psar.hpp"
#include "kestov/indicators/pvi.hpp"
#include "kestov/indicators/pvt.hpp"
#include "kestov/indicators/rma.hpp"
#include "kestov/indicators/roc.hpp"
#include "kestov/indicators/rsi.hpp"
#include "kestov/indicators/session_vwap.hpp"
#include "kestov/indicators/sma.hpp"
#include "kestov/indicators/stddev.hpp"
#include "kestov/indicators/stoch_rsi.hpp"
#include "kestov/indicators/stochastic.hpp"
#include "kestov/indicators/supertrend.hpp"
#include "kestov/indicators/t3.hpp"
#include "kestov/indicators/tema.hpp"
#include "kestov/indicators/trima.hpp"
#include "kestov/indicators/trix.hpp"
#include "kestov/indicators/true_range.hpp"
#include "kestov/indicators/tsi.hpp"
#include "kestov/indicators/ultimate_oscillator.hpp"
#include "kestov/indicators/variance.hpp"
#include "kestov/indicators/vortex.hpp"
#include "kestov/indicators/vwap.hpp"
#include "kestov/indicators/vwma.hpp"
#include "kestov/indicators/williams_r.hpp"
#include "kestov/indicators/wma.hpp"
#include "kestov/indicators/zlema.hpp"
#include "kestov/panel.hpp"
#include "kestov/state.hpp"

namespace kestov {

template <class... T>
struct TypeList {};

// Every core indicator, in the order the Python modules register them: the
// first 25, then those added since.
using AllIndicators =
    TypeList<SMA, EMA, WMA, RSI, MACD, BollingerBands, ATR, Stochastic, OBV, DEMA, TEMA, HMA, KAMA, CCI, ROC, WilliamsR,
             ADX, MFI, TRIX, PSAR, Keltner, Donchian, VWAP, AwesomeOscillator, Aroon, Momentum, TrueRange, StochRSI, ADXR,
             DX, PPO, APO, TSI, CMO, UltimateOscillator, KST, Coppock, DPO, SuperTrend, Ichimoku, AroonOscillator,
             BalanceOfPower, ZLEMA, T3, TRIMA, VWMA, RMA, Correlation, Beta, SessionVWAP, AccumulationDistribution,
             ChaikinOscillator, ChaikinMoneyFlow, ForceIndex, EaseOfMovement, PVT, NVI, PVI, Vortex, MassIndex,
             HeikinAshi, StdDev, Variance, LinearRegression, MidPoint, MidPrice, NATR>;

template <class... T>
constexpr bool all_saveable(TypeList<T...>) {
    return (Saveable<T> && ...);
}
static_assert(all_saveable(AllIndicators{}), "every indicator follows the contract and describes its state");

}  // namespace kestov
