// EDID blocks and the display keys built from them: up to three monitors,
// each with the ids Windows decodes itself, a hardware id and the bytes of
// its "EDID" registry value, plugged into a simulated desktop and
// enumerated. Every key is printable UTF-8, no two connected monitors share
// one, and a monitor keeps its key when the desktop is enumerated again and
// when the monitors are plugged in the other order.
#include "FuzzSupport.h"

#include "base/StrPrintf.h"
#include "display/DisplayKey.h"
#include "display/Edid.h"

#include <fuzzer/FuzzedDataProvider.h>

#include <map>
#include <set>

using namespace qv;

namespace {

struct Plugged {
    sim::SimMonitor monitor;
    uint32_t targetId = 0;
};

std::map<uint32_t, std::string> keysByTarget(const std::vector<DisplayInfo>& list) {
    std::map<uint32_t, std::string> keys;
    for (const DisplayInfo& d : list) keys[d.targetId] = d.key;
    return keys;
}

std::string describe(const std::vector<DisplayInfo>& list) {
    std::string text;
    for (const DisplayInfo& d : list)
        text += "target " + std::to_string(d.targetId) + ": " + fuzz::shown(d.key) + "\n";
    return text;
}

std::vector<DisplayInfo> enumerate(const std::vector<Plugged>& monitors, bool reversed) {
    fuzz::Disk disk;
    sim::SimDisplays displays;
    for (size_t n = 0; n < monitors.size(); ++n) {
        const Plugged& p = monitors[reversed ? monitors.size() - 1 - n : n];
        displays.plug(p.monitor, static_cast<int32_t>(p.targetId % 8) * 1920, 0, p.targetId);
    }
    DisplayManager manager(displays);
    return manager.enumerate();
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    FuzzedDataProvider in(data, size);

    // The block alone, as the parser sees it.
    {
        const std::vector<uint8_t> block = in.ConsumeBytes<uint8_t>(in.ConsumeIntegralInRange<size_t>(0, 256));
        MonitorIdentity identity;
        if (parseEdid(block.data(), block.size(), identity)) {
            const std::string key = displayKey(identity);
            QV_FUZZ_CHECK(fuzz::printableUtf8(key), fuzz::shown(key));
            QV_FUZZ_CHECK(displayKey(identity) == key, fuzz::shown(key));
            QV_FUZZ_CHECK(fuzz::printableUtf8(identity.monitorName), fuzz::shown(identity.monitorName));
        }
    }

    std::vector<Plugged> monitors;
    const size_t count = in.ConsumeIntegralInRange<size_t>(1, 3);
    std::set<uint32_t> targetIds;
    for (size_t n = 0; n < count; ++n) {
        Plugged p;
        // Connector ids as Windows numbers them ("UID4352"), some of whose
        // text lies inside another's.
        static constexpr uint32_t kTargetIds[] = {4352, 4353, 4354, 43520, 43521, 24832, 248320, 266496};
        p.targetId = kTargetIds[in.ConsumeIntegralInRange<size_t>(0, 7)];
        if (!targetIds.insert(p.targetId).second) continue;
        p.monitor.friendlyName = in.ConsumeRandomLengthString(32);
        p.monitor.edidManufactureId = in.ConsumeIntegral<uint16_t>();
        p.monitor.edidProductCodeId = in.ConsumeIntegral<uint16_t>();
        // The hardware id in the device path: Windows makes it from the EDID's
        // manufacturer letters and product code, so identical monitors share it.
        const std::string letters = manufacturerLetters(p.monitor.edidManufactureId);
        p.monitor.pnpId = (letters.empty() ? std::string("XXX") : letters) +
                          strprintf("%04X", static_cast<unsigned>(p.monitor.edidProductCodeId));
        p.monitor.internal = in.ConsumeBool();
        p.monitor.hasEdidValue = in.ConsumeBool();
        p.monitor.edidValueType = in.ConsumeBool() ? dc::RegBinary : in.ConsumeIntegralInRange<uint32_t>(0, 11);
        p.monitor.edid = in.ConsumeBytes<uint8_t>(in.ConsumeIntegralInRange<size_t>(0, 384));
        p.monitor.modes = {{1920, 1080, 60}, {1280, 720, 60}};
        p.monitor.current = {1920, 1080, 60};
        monitors.push_back(std::move(p));
    }

    const std::vector<DisplayInfo> first = enumerate(monitors, false);
    std::set<std::string> seen;
    for (const DisplayInfo& d : first) {
        QV_FUZZ_CHECK(!d.key.empty() && fuzz::printableUtf8(d.key), describe(first));
        QV_FUZZ_CHECK(fuzz::printableUtf8(d.sharedKey), describe(first));
        QV_FUZZ_CHECK(seen.insert(d.key).second, describe(first));
    }
    const std::vector<DisplayInfo> again = enumerate(monitors, false);
    QV_FUZZ_CHECK(keysByTarget(again) == keysByTarget(first), describe(first) + "again:\n" + describe(again));
    const std::vector<DisplayInfo> reversed = enumerate(monitors, true);
    QV_FUZZ_CHECK(keysByTarget(reversed) == keysByTarget(first), describe(first) + "reversed:\n" + describe(reversed));
    return 0;
}
