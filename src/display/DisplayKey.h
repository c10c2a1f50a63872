#pragma once
#include "display/MonitorIdentity.h"

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace qv {

// 32-bit FNV-1a hash of the bytes.
uint32_t fnv1a32(std::string_view bytes);

// The stable key of a monitor, from the most specific identity available:
// "MFG-PPPP-0xSSSSSSSS", "MFG-PPPP-<serial text>", "MFG-PPPP",
// "path:<hash of the device path>", or "unknown".
std::string displayKey(const MonitorIdentity& identity);

// One connected monitor whose key is to be decided, and the target it is on.
struct KeyedTarget {
    MonitorIdentity identity;
    uint32_t targetId = 0;
};

// The key a monitor goes by among the connected ones, and the key it builds
// alone (displayKey). The two differ only when another connected monitor
// builds the same key.
struct DistinctKey {
    std::string key;
    std::string sharedKey;
};

// Keys for monitors connected together, in their order. A monitor whose key
// no other one builds keeps it byte for byte. Identical monitors (placeholder
// header serials, no serials at all) would share one; each of them gets one
// of its own that stays the same across restarts: the serial-text form
// "MFG-PPPP-<serial text>" when its serial text is non-empty and no other
// monitor of the group has the same, otherwise the shared key, "#" and the
// target id in decimal.
std::vector<DistinctKey> distinctDisplayKeys(const std::vector<KeyedTarget>& targets);

// The entry a stored key names: the first whose key equals it, else the first
// whose shared key does (a name or layout saved while identical monitors
// still shared one key goes on naming the first of them). Null when none.
template <class Entry>
const Entry* findByKey(const std::vector<Entry>& entries, const std::string& key) {
    for (const Entry& entry : entries)
        if (entry.key == key)
            return &entry;
    for (const Entry& entry : entries)
        if (entry.sharedKey == key)
            return &entry;
    return nullptr;
}

} // namespace qv
