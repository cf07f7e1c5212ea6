#pragma once
// Positive volume index: the volume index (volume_index.hpp) that moves on
// the candles with more volume than the one before.

#include <string_view>

#include "kestov/indicators/volume_index.hpp"

namespace kestov {

struct PositiveVolume {
    static constexpr std::string_view name = "PVI";
    static constexpr const char* fault_before_first = "PVI: an index off its base before the first candle";
    static constexpr bool counts(double volume, double prev_volume) noexcept { return volume > prev_volume; }
};

using PVI = VolumeIndex<PositiveVolume>;

}  // namespace kestov
