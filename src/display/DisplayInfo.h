#pragma once
#include "display/Luid.h"
#include "display/RefreshRate.h"

#include <cstdint>
#include <string>

namespace qv {

// A monitor's preferred (native) mode. When valid is false the other fields
// carry no meaning.
struct PreferredMode {
    uint32_t width = 0;
    uint32_t height = 0;
    uint32_t refreshHz = 0;
    bool valid = false;
};

// One entry of a display's mode list.
struct DisplayMode {
    uint32_t width = 0;
    uint32_t height = 0;
    uint32_t refreshHz = 0;

    friend bool operator==(const DisplayMode&, const DisplayMode&) = default;
};

// One active display: one active path of the Windows display configuration.
struct DisplayInfo {
    std::string key;      // stable display key, the identifier used everywhere else
    std::string name;     // friendly name shown to the user
    std::string gdiName;  // \\.\DISPLAYn of the path's source; empty when unknown
    uint32_t sourceId = 0;
    uint32_t targetId = 0;
    Luid adapterId;
    uint32_t width = 0;
    uint32_t height = 0;
    uint32_t refreshHz = 0;
    RefreshRate refreshRate;  // exact rate of the path's target; unknown when not reported
    int32_t posX = 0;
    int32_t posY = 0;
    uint32_t orientation = 0;  // 0 landscape, 1 90 degrees, 2 180 degrees, 3 270 degrees
    bool primary = false;      // the source sits at desktop position (0,0)
    bool active = false;
    PreferredMode preferred;
    bool hdrSupported = false;
    bool hdrEnabled = false;
    uint32_t bitsPerColor = 0;  // 0 when unknown
    std::string colorEncoding;  // "RGB", "YCbCr 4:4:4", ...; empty when unknown
    // The key the monitor builds by itself; differs from `key` only while
    // another connected monitor builds the same one (see distinctDisplayKeys).
    std::string sharedKey;
};

} // namespace qv
