#pragma once
#include "display/DisplayInfo.h"

#include <cstddef>
#include <cstdint>
#include <string>
#include <utility>
#include <vector>

namespace qv {

// What a display's mode list offers to choose from: its distinct sizes,
// largest pixel count first (equal counts keep the list's order), at most
// `maxResolutions` of them; and the distinct rates listed for the given
// size, highest first.
struct ModeChoices {
    std::vector<std::pair<uint32_t, uint32_t>> resolutions;
    std::vector<uint32_t> rates;
};

ModeChoices modeChoices(const std::vector<DisplayMode>& modes, uint32_t width, uint32_t height,
                        size_t maxResolutions);

// The refresh rate as the user knows it: the whole numbers drivers report
// for the fractional broadcast rates (59 for 59.94 and so on) with their
// real values, every other rate as it is; "%s Hz".
std::string refreshLabel(uint32_t hz);

} // namespace qv
