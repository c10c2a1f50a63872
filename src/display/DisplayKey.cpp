#include "display/DisplayKey.h"

#include "base/StrPrintf.h"

#include <cctype>

namespace qv {

uint32_t fnv1a32(std::string_view bytes) {
    uint32_t hash = 2166136261u;
    for (unsigned char byte : bytes) {
        hash ^= byte;
        hash *= 16777619u;
    }
    return hash;
}

std::string displayKey(const MonitorIdentity& identity) {
    std::string manufacturer = identity.manufacturer;
    for (char& c : manufacturer)
        c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));

    if (!manufacturer.empty()) {
        if (identity.serialNumber != 0)
            return strprintf("%s-%04X-0x%08X", manufacturer.c_str(), static_cast<unsigned>(identity.productCode),
                             static_cast<unsigned>(identity.serialNumber));
        if (!identity.serialText.empty())
            return manufacturer + "-" + strprintf("%04X-", static_cast<unsigned>(identity.productCode)) +
                   identity.serialText;
        return strprintf("%s-%04X", manufacturer.c_str(), static_cast<unsigned>(identity.productCode));
    }
    if (!identity.devicePath.empty())
        return strprintf("path:%08x", static_cast<unsigned>(fnv1a32(identity.devicePath)));
    return "unknown";
}

} // namespace qv
