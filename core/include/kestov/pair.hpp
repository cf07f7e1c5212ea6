#pragma once
// Two values observed together, the input of the two-series statistics.

namespace kestov {

struct Pair {
    double a;
    double b;
};

}  // namespace kestov
