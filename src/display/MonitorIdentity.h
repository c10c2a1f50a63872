#pragma once
#include <cstdint>
#include <string>

namespace qv {

// What is known about a monitor's identity; a display key is built from it.
struct MonitorIdentity {
    std::string manufacturer;  // three upper-case letters, or empty
    uint16_t productCode = 0;
    uint32_t serialNumber = 0;  // 0: none
    std::string serialText;
    std::string monitorName;
    std::string devicePath;  // device interface path as Windows reports it
};

} // namespace qv
