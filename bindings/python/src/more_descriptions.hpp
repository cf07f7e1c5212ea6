#pragma once
// The classes of kestov._more, described as those of kestov._kestov are
// (descriptions.hpp), registered in their own module.

#include "indicator_type.hpp"
#include "kestov/indicators/accumulation_distribution.hpp"
#include "kestov/indicators/adxr.hpp"
#include "kestov/indicators/apo.hpp"
#include "kestov/indicators/aroon_oscillator.hpp"
#include "kestov/indicators/balance_of_power.hpp"
#include "kestov/indicators/beta.hpp"
#include "kestov/indicators/chaikin_money_flow.hpp"
#include "kestov/indicators/chaikin_oscillator.hpp"
#include "kestov/indicators/cmo.hpp"
#include "kestov/indicators/coppock.hpp"
#include "kestov/indicators/correlation.hpp"
#include "kestov/indicators/dpo.hpp"
#include "kestov/indicators/dx.hpp"
#include "kestov/indicators/ease_of_movement.hpp"
#include "kestov/indicators/force_index.hpp"
#include "kestov/indicators/heikin_ashi.hpp"
#include "kestov/indicators/ichimoku.hpp"
#include "kestov/indicators/kst.hpp"
#include "kestov/indicators/linear_regression.hpp"
#include "kestov/indicators/mass_index.hpp"
#include "kestov/indicators/mid_point.hpp"
#include "kestov/indicators/mid_price.hpp"
#include "kestov/indicators/momentum.hpp"
#include "kestov/indicators/natr.hpp"
#include "kestov/indicators/nvi.hpp"
#include "kestov/indicators/ppo.hpp"
#include "kestov/indicators/pvi.hpp"
#include "kestov/indicators/pvt.hpp"
#include "kestov/indicators/rma.hpp"
#include "kestov/indicators/session_vwap.hpp"
#include "kestov/indicators/stddev.hpp"
#include "kestov/indicators/stoch_rsi.hpp"
#include "kestov/indicators/supertrend.hpp"
#include "kestov/indicators/t3.hpp"
#include "kestov/indicators/trima.hpp"
#include "kestov/indicators/true_range.hpp"
#include "kestov/indicators/tsi.hpp"
#include "kestov/indicators/ultimate_oscillator.hpp"
#include "kestov/indicators/variance.hpp"
#include "kestov/indicators/vortex.hpp"
#include "kestov/indicators/vwma.hpp"
#include "kestov/indicators/zlema.hpp"

namespace kestov::py::descriptions {

template <Indicator CoreT, class RowsT>
struct DescribeMore : Describe<CoreT, RowsT> {
    static constexpr const char* module = "kestov._more";
    static constexpr Repr repr = Repr::Config;
};

struct Momentum_ : DescribeMore<Momentum, Prices> {
    static constexpr const char* name = "Momentum";
    static constexpr Param params[] = {{"period", "10"}};
    static constexpr Property<Core> properties[] = {prop<&Core::period>("period"), prop<&Core::value>("value")};
};

struct TrueRange_ : DescribeMore<TrueRange, HighLowClose> {
    static constexpr const char* name = "TrueRange";
    static constexpr Property<Core> properties[] = {prop<&Core::value>("value")};
};

struct StochRSI_ : DescribeMore<StochRSI, Prices> {
    static constexpr const char* name = "StochRSI";
    static constexpr Param params[] = {{"period", "14"}, {"k_period", "5"}, {"d_period", "3"}};
    static constexpr Property<Core> properties[] = {prop<&Core::period>("period"), prop<&Core::k_period>("k_period"),
                                                    prop<&Core::d_period>("d_period"), prop<&Core::value>("value")};
};

struct ADXR_ : DescribeMore<ADXR, HighLowClose> {
    static constexpr const char* name = "ADXR";
    static constexpr Param params[] = {{"period", "14"}};
    static constexpr Property<Core> properties[] = {prop<&Core::period>("period"), prop<&Core::value>("value")};
};

struct DX_ : DescribeMore<DX, HighLowClose> {
    static constexpr const char* name = "DX";
    static constexpr Param params[] = {{"period", "14"}};
    static constexpr Property<Core> properties[] = {prop<&Core::period>("period"), prop<&Core::value>("value")};
};

struct PPO_ : DescribeMore<PPO, Prices> {
    static constexpr const char* name = "PPO";
    static constexpr Param params[] = {{"fast", "12"}, {"slow", "26"}, {"signal", "9"}};
    static constexpr Property<Core> properties[] = {prop<&Core::fast>("fast"), prop<&Core::slow>("slow"),
                                                    prop<&Core::signal>("signal"), prop<&Core::value>("value")};
};

struct APO_ : DescribeMore<APO, Prices> {
    static constexpr const char* name = "APO";
    static constexpr Param params[] = {{"fast", "12"}, {"slow", "26"}};
    static constexpr Property<Core> properties[] = {prop<&Core::fast>("fast"), prop<&Core::slow>("slow"),
                                                    prop<&Core::value>("value")};
};

struct TSI_ : DescribeMore<TSI, Prices> {
    static constexpr const char* name = "TSI";
    static constexpr Param params[] = {{"long", "25"}, {"short", "13"}};
    static constexpr Property<Core> properties[] = {prop<&Core::long_period>("long"),
                                                    prop<&Core::short_period>("short"), prop<&Core::value>("value")};
};

struct CMO_ : DescribeMore<CMO, Prices> {
    static constexpr const char* name = "CMO";
    static constexpr Param params[] = {{"period", "14"}};
    static constexpr Property<Core> properties[] = {prop<&Core::period>("period"), prop<&Core::value>("value")};
};

struct UltimateOscillator_ : DescribeMore<UltimateOscillator, HighLowClose> {
    static constexpr const char* name = "UltimateOscillator";
    static constexpr Param params[] = {{"fast", "7"}, {"medium", "14"}, {"slow", "28"}};
    static constexpr Property<Core> properties[] = {prop<&Core::fast>("fast"), prop<&Core::medium>("medium"),
                                                    prop<&Core::slow>("slow"), prop<&Core::value>("value")};
};

struct KST_ : DescribeMore<KST, Prices> {
    static constexpr const char* name = "KST";
    static constexpr Param params[] = {{"r1", "10"}, {"r2", "15"}, {"r3", "20"}, {"r4", "30"}, {"s1", "10"},
                                       {"s2", "10"}, {"s3", "10"}, {"s4", "15"}, {"signal", "9"}};
    static constexpr Property<Core> properties[] = {
        prop<&Core::r1>("r1"), prop<&Core::r2>("r2"), prop<&Core::r3>("r3"), prop<&Core::r4>("r4"),
        prop<&Core::s1>("s1"), prop<&Core::s2>("s2"), prop<&Core::s3>("s3"), prop<&Core::s4>("s4"),
        prop<&Core::signal>("signal"), prop<&Core::value>("value")};
};

struct Coppock_ : DescribeMore<Coppock, Prices> {
    static constexpr const char* name = "Coppock";
    static constexpr Param params[] = {{"wma_period", "10"}, {"roc1", "11"}, {"roc2", "14"}};
    static constexpr Property<Core> properties[] = {prop<&Core::wma_period>("wma_period"), prop<&Core::roc1>("roc1"),
                                                    prop<&Core::roc2>("roc2"), prop<&Core::value>("value")};
};

struct DPO_ : DescribeMore<DPO, Prices> {
    static constexpr const char* name = "DPO";
    static constexpr Param params[] = {{"period", "20"}};
    static constexpr Property<Core> properties[] = {prop<&Core::period>("period"), prop<&Core::value>("value")};
};

struct SuperTrend_ : DescribeMore<SuperTrend, HighLowClose> {
    static constexpr const char* name = "SuperTrend";
    static constexpr Param params[] = {{"period", "10"}, {"multiplier", "3.0"}};
    static constexpr Property<Core> properties[] = {prop<&Core::period>("period"),
                                                    prop<&Core::multiplier>("multiplier"), prop<&Core::value>("value")};
};

struct Ichimoku_ : DescribeMore<Ichimoku, HighLow> {
    static constexpr const char* name = "Ichimoku";
    static constexpr Param params[] = {{"tenkan", "9"}, {"kijun", "26"}, {"senkou", "52"}};
    static constexpr Property<Core> properties[] = {prop<&Core::tenkan>("tenkan"), prop<&Core::kijun>("kijun"),
                                                    prop<&Core::senkou>("senkou"), prop<&Core::value>("value")};
};

struct AroonOscillator_ : DescribeMore<AroonOscillator, HighLow> {
    static constexpr const char* name = "AroonOscillator";
    static constexpr Param params[] = {{"period", "14"}};
    static constexpr Property<Core> properties[] = {prop<&Core::period>("period"), prop<&Core::value>("value")};
};

struct BalanceOfPower_ : DescribeMore<BalanceOfPower, OpenHighLowClose> {
    static constexpr const char* name = "BalanceOfPower";
    static constexpr Property<Core> properties[] = {prop<&Core::value>("value")};
};

struct ZLEMA_ : DescribeMore<ZLEMA, Prices> {
    static constexpr const char* name = "ZLEMA";
    static constexpr Param params[] = {{"period", "30"}};
    static constexpr Property<Core> properties[] = {prop<&Core::period>("period"), prop<&Core::value>("value")};
};

struct T3_ : DescribeMore<T3, Prices> {
    static constexpr const char* name = "T3";
    static constexpr Param params[] = {{"period", "5"}, {"vfactor", "0.7"}};
    static constexpr Property<Core> properties[] = {prop<&Core::period>("period"), prop<&Core::vfactor>("vfactor"),
                                                    prop<&Core::value>("value")};
};

struct TRIMA_ : DescribeMore<TRIMA, Prices> {
    static constexpr const char* name = "TRIMA";
    static constexpr Param params[] = {{"period", "30"}};
    static constexpr Property<Core> properties[] = {prop<&Core::period>("period"), prop<&Core::value>("value")};
};

struct VWMA_ : DescribeMore<VWMA, CloseVolume> {
    static constexpr const char* name = "VWMA";
    static constexpr Param params[] = {{"period", "30"}};
    static constexpr Property<Core> properties[] = {prop<&Core::period>("period"), prop<&Core::value>("value")};
};

struct RMA_ : DescribeMore<RMA, Prices> {
    static constexpr const char* name = "RMA";
    static constexpr Param params[] = {{"period", "30"}};
    static constexpr Property<Core> properties[] = {prop<&Core::period>("period"), prop<&Core::value>("value")};
};

struct Correlation_ : DescribeMore<Correlation, Pairs> {
    static constexpr const char* name = "Correlation";
    static constexpr Param params[] = {{"period", "30"}};
    static constexpr Property<Core> properties[] = {prop<&Core::period>("period"), prop<&Core::value>("value")};
};

struct Beta_ : DescribeMore<Beta, Pairs> {
    static constexpr const char* name = "Beta";
    static constexpr Param params[] = {{"period", "5"}};
    static constexpr Property<Core> properties[] = {prop<&Core::period>("period"), prop<&Core::value>("value")};
};

struct SessionVWAP_ : DescribeMore<SessionVWAP, HighLowCloseVolumeTimestamp> {
    static constexpr const char* name = "SessionVWAP";
    static constexpr Param params[] = {{"session", "86400"}, {"offset", "0"}};
    static constexpr Property<Core> properties[] = {prop<&Core::session>("session"), prop<&Core::offset>("offset"),
                                                    prop<&Core::value>("value")};
};

struct AccumulationDistribution_ : DescribeMore<AccumulationDistribution, HighLowCloseVolume> {
    static constexpr const char* name = "AccumulationDistribution";
    static constexpr Property<Core> properties[] = {prop<&Core::value>("value")};
};

struct ChaikinOscillator_ : DescribeMore<ChaikinOscillator, HighLowCloseVolume> {
    static constexpr const char* name = "ChaikinOscillator";
    static constexpr Param params[] = {{"fast", "3"}, {"slow", "10"}};
    static constexpr Property<Core> properties[] = {prop<&Core::fast>("fast"), prop<&Core::slow>("slow"),
                                                    prop<&Core::value>("value")};
};

struct ChaikinMoneyFlow_ : DescribeMore<ChaikinMoneyFlow, HighLowCloseVolume> {
    static constexpr const char* name = "ChaikinMoneyFlow";
    static constexpr Param params[] = {{"period", "20"}};
    static constexpr Property<Core> properties[] = {prop<&Core::period>("period"), prop<&Core::value>("value")};
};

struct ForceIndex_ : DescribeMore<ForceIndex, CloseVolume> {
    static constexpr const char* name = "ForceIndex";
    static constexpr Param params[] = {{"period", "13"}};
    static constexpr Property<Core> properties[] = {prop<&Core::period>("period"), prop<&Core::value>("value")};
};

struct EaseOfMovement_ : DescribeMore<EaseOfMovement, HighLowVolume> {
    static constexpr const char* name = "EaseOfMovement";
    static constexpr Param params[] = {{"period", "14"}, {"volume_divisor", "100000000.0"}};
    static constexpr Property<Core> properties[] = {prop<&Core::period>("period"),
                                                    prop<&Core::volume_divisor>("volume_divisor"),
                                                    prop<&Core::value>("value")};
};

struct PVT_ : DescribeMore<PVT, CloseVolume> {
    static constexpr const char* name = "PVT";
    static constexpr Property<Core> properties[] = {prop<&Core::value>("value")};
};

struct NVI_ : DescribeMore<NVI, CloseVolume> {
    static constexpr const char* name = "NVI";
    static constexpr Property<Core> properties[] = {prop<&Core::value>("value")};
};

struct PVI_ : DescribeMore<PVI, CloseVolume> {
    static constexpr const char* name = "PVI";
    static constexpr Property<Core> properties[] = {prop<&Core::value>("value")};
};

struct Vortex_ : DescribeMore<Vortex, HighLowClose> {
    static constexpr const char* name = "Vortex";
    static constexpr Param params[] = {{"period", "14"}};
    static constexpr Property<Core> properties[] = {prop<&Core::period>("period"), prop<&Core::value>("value")};
};

struct MassIndex_ : DescribeMore<MassIndex, HighLow> {
    static constexpr const char* name = "MassIndex";
    static constexpr Param params[] = {{"ema_period", "9"}, {"sum_period", "25"}};
    static constexpr Property<Core> properties[] = {prop<&Core::ema_period>("ema_period"),
                                                    prop<&Core::sum_period>("sum_period"), prop<&Core::value>("value")};
};

struct HeikinAshi_ : DescribeMore<HeikinAshi, OpenHighLowClose> {
    static constexpr const char* name = "HeikinAshi";
    static constexpr Property<Core> properties[] = {prop<&Core::value>("value")};
};

struct StdDev_ : DescribeMore<StdDev, Prices> {
    static constexpr const char* name = "StdDev";
    static constexpr Param params[] = {{"period", "5"}, {"nbdev", "1.0"}};
    static constexpr Property<Core> properties[] = {prop<&Core::period>("period"), prop<&Core::nbdev>("nbdev"),
                                                    prop<&Core::value>("value")};
};

struct Variance_ : DescribeMore<Variance, Prices> {
    static constexpr const char* name = "Variance";
    static constexpr Param params[] = {{"period", "5"}};
    static constexpr Property<Core> properties[] = {prop<&Core::period>("period"), prop<&Core::value>("value")};
};

struct LinearRegression_ : DescribeMore<LinearRegression, Prices> {
    static constexpr const char* name = "LinearRegression";
    static constexpr Param params[] = {{"period", "14"}};
    static constexpr Property<Core> properties[] = {prop<&Core::period>("period"), prop<&Core::value>("value")};
};

struct MidPoint_ : DescribeMore<MidPoint, Prices> {
    static constexpr const char* name = "MidPoint";
    static constexpr Param params[] = {{"period", "14"}};
    static constexpr Property<Core> properties[] = {prop<&Core::period>("period"), prop<&Core::value>("value")};
};

struct MidPrice_ : DescribeMore<MidPrice, HighLow> {
    static constexpr const char* name = "MidPrice";
    static constexpr Param params[] = {{"period", "14"}};
    static constexpr Property<Core> properties[] = {prop<&Core::period>("period"), prop<&Core::value>("value")};
};

struct NATR_ : DescribeMore<NATR, HighLowClose> {
    static constexpr const char* name = "NATR";
    static constexpr Param params[] = {{"period", "14"}};
    static constexpr Property<Core> properties[] = {prop<&Core::period>("period"), prop<&Core::value>("value")};
};

// Every description of kestov._more, in registration order.
template <template <class...> class F>
using EachMore = F<Momentum_, TrueRange_, StochRSI_, ADXR_, DX_, PPO_, APO_, TSI_, CMO_, UltimateOscillator_, KST_,
                    Coppock_, DPO_, SuperTrend_, Ichimoku_, AroonOscillator_, BalanceOfPower_, ZLEMA_, T3_, TRIMA_,
                    VWMA_, RMA_, Correlation_, Beta_, SessionVWAP_, AccumulationDistribution_, ChaikinOscillator_,
                    ChaikinMoneyFlow_, ForceIndex_, EaseOfMovement_, PVT_, NVI_, PVI_, Vortex_, MassIndex_,
                    HeikinAshi_, StdDev_, Variance_, LinearRegression_, MidPoint_, MidPrice_, NATR_>;

}  // namespace kestov::py::descriptions
