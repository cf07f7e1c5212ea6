#pragma once
// The classes of kestov._more, described as those of kestov._kestov are
// (descriptions.hpp), registered in their own module.

#include "indicator_type.hpp"
#include "kestov/indicators/momentum.hpp"
#include "kestov/indicators/true_range.hpp"

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
};

// Every description of kestov._more, in registration order.
template <template <class...> class F>
using EachMore = F<Momentum_, TrueRange_>;

}  // namespace kestov::py::descriptions
