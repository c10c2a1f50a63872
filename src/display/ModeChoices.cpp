#include "display/ModeChoices.h"

#include <algorithm>
#include <functional>
#include <string>

namespace qv {

ModeChoices modeChoices(const std::vector<DisplayMode>& modes, uint32_t width, uint32_t height,
                        size_t maxResolutions) {
    ModeChoices choices;
    for (const DisplayMode& mode : modes) {
        const std::pair<uint32_t, uint32_t> size{mode.width, mode.height};
        if (std::find(choices.resolutions.begin(), choices.resolutions.end(), size) == choices.resolutions.end())
            choices.resolutions.push_back(size);
        if (mode.width == width && mode.height == height &&
            std::find(choices.rates.begin(), choices.rates.end(), mode.refreshHz) == choices.rates.end())
            choices.rates.push_back(mode.refreshHz);
    }
    // Pixel counts as unsigned 32-bit products, as Windows' own sizes are.
    const auto pixels = [](const std::pair<uint32_t, uint32_t>& size) { return size.first * size.second; };
    std::stable_sort(choices.resolutions.begin(), choices.resolutions.end(),
                     [&](const auto& a, const auto& b) { return pixels(a) > pixels(b); });
    if (choices.resolutions.size() > maxResolutions) choices.resolutions.resize(maxResolutions);
    std::sort(choices.rates.begin(), choices.rates.end(), std::greater<uint32_t>());
    return choices;
}

std::string refreshLabel(uint32_t hz) {
    switch (hz) {
    case 23: return "23.976 Hz";
    case 29: return "29.97 Hz";
    case 47: return "47.952 Hz";
    case 59: return "59.94 Hz";
    case 71: return "71.928 Hz";
    case 119: return "119.88 Hz";
    case 143: return "143.86 Hz";
    default: return std::to_string(hz) + " Hz";
    }
}

} // namespace qv
