#pragma once
// Two values observed together, the input of the two-series statistics.

#include <cstddef>

namespace kestov {

struct Pair {
    double a;
    double b;
};

// A block of pairs as two columns.
struct PairColumns {
    const double* a = nullptr;
    const double* b = nullptr;

    Pair at(std::size_t i) const noexcept { return {a[i], b[i]}; }
};

}  // namespace kestov
