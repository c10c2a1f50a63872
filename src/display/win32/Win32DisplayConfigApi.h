#pragma once
#include "display/DisplayConfigApi.h"

namespace qv {

// The display configuration port over user32 (CCD and GDI queries and
// changes), SetupAPI and the system message table.
class Win32DisplayConfigApi final : public DisplayConfigApi {
public:
    Win32DisplayConfigApi() = default;

    int32_t getBufferSizes(uint32_t flags, uint32_t& numPaths, uint32_t& numModes) override;
    int32_t queryConfig(uint32_t flags, uint32_t& numPaths, PathInfo* paths, uint32_t& numModes, ModeInfo* modes,
                        uint32_t* topologyId) override;
    int32_t getTargetName(const Luid& adapterId, uint32_t targetId, TargetDeviceName& out) override;
    int32_t getSourceName(const Luid& adapterId, uint32_t sourceId, SourceDeviceName& out) override;
    int32_t getTargetPreferredMode(const Luid& adapterId, uint32_t targetId, TargetPreferredMode& out) override;
    int32_t getAdvancedColorInfo(const Luid& adapterId, uint32_t targetId, AdvancedColorInfo& out) override;
    bool enumDisplaySettings(const std::string& gdiName, uint32_t modeNum, DevMode& mode) override;
    int32_t changeDisplaySettings(const std::string* gdiName, const DevMode* mode, uint32_t flags) override;
    int32_t setDisplayConfig(const std::vector<PathInfo>& paths, const std::vector<ModeInfo>& modes,
                             uint32_t flags) override;
    int32_t setAdvancedColorState(const Luid& adapterId, uint32_t targetId, bool enable) override;
    std::unique_ptr<MonitorDeviceSet> openMonitorDevices() override;
    std::string formatSystemMessage(uint32_t code) override;
};

} // namespace qv
