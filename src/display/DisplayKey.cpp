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

namespace {

std::string upperManufacturer(const MonitorIdentity& identity) {
    std::string manufacturer = identity.manufacturer;
    for (char& c : manufacturer)
        c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
    return manufacturer;
}

std::string serialTextKey(const MonitorIdentity& identity) {
    return upperManufacturer(identity) + "-" + strprintf("%04X-", static_cast<unsigned>(identity.productCode)) +
           identity.serialText;
}

} // namespace

std::string displayKey(const MonitorIdentity& identity) {
    const std::string manufacturer = upperManufacturer(identity);

    if (!manufacturer.empty()) {
        if (identity.serialNumber != 0)
            return strprintf("%s-%04X-0x%08X", manufacturer.c_str(), static_cast<unsigned>(identity.productCode),
                             static_cast<unsigned>(identity.serialNumber));
        if (!identity.serialText.empty())
            return serialTextKey(identity);
        return strprintf("%s-%04X", manufacturer.c_str(), static_cast<unsigned>(identity.productCode));
    }
    if (!identity.devicePath.empty())
        return strprintf("path:%08x", static_cast<unsigned>(fnv1a32(identity.devicePath)));
    return "unknown";
}

std::vector<DistinctKey> distinctDisplayKeys(const std::vector<KeyedTarget>& targets) {
    const size_t count = targets.size();
    std::vector<DistinctKey> keys(count);
    for (size_t i = 0; i < count; ++i)
        keys[i].key = keys[i].sharedKey = displayKey(targets[i].identity);

    const auto fallback = [&](size_t i) {
        return keys[i].sharedKey + "#" + std::to_string(targets[i].targetId);
    };
    std::vector<bool> derived(count, false);
    for (size_t i = 0; i < count; ++i) {
        bool shared = false;
        bool serialTextShared = false;
        for (size_t j = 0; j < count; ++j) {
            if (j == i || keys[j].sharedKey != keys[i].sharedKey)
                continue;
            shared = true;
            serialTextShared = serialTextShared || targets[j].identity.serialText == targets[i].identity.serialText;
        }
        if (!shared)
            continue;
        const MonitorIdentity& identity = targets[i].identity;
        const bool bySerialText = !identity.manufacturer.empty() && !identity.serialText.empty() && !serialTextShared;
        keys[i].key = bySerialText ? serialTextKey(identity) : fallback(i);
        derived[i] = true;
    }
    // A serial-text key can meet the key another monitor builds by itself;
    // the one that was derived steps aside to the target-id form.
    for (size_t i = 0; i < count; ++i) {
        if (!derived[i])
            continue;
        for (size_t j = 0; j < count; ++j) {
            if (j != i && keys[j].key == keys[i].key) {
                keys[i].key = fallback(i);
                break;
            }
        }
    }
    return keys;
}

} // namespace qv
