// Part 2 of the table of every class's panel operations (many_ops.hpp).

#include "many_ops.hpp"

template <>
std::span<const kestov::py::universe::PanelOps* const> kestov::py::universe::ops_part<2>() noexcept {
    return part_table<2>;
}
