#pragma once
// Negative volume index: the volume index (volume_index.hpp) that moves on
// the candles with less volume than the one before.

#include <string_view>

#include "kestov/indicators/volume_index.hpp"

namespace kestov {

struct NegativeVolume {
    static constexpr std::string_view name = "NVI";
    static constexpr const char* fault_before_first = "NVI: an index off its base before the first candle";
    static constexpr bool counts(double volume, double prev_volume) noexcept { return volume < prev_volume; }
};

using NVI = VolumeIndex<NegativeVolume>;

}  // namespace kestov
