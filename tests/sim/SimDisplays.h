#pragma once
#include "display/DisplayConfigApi.h"
#include "sim/SimEdid.h"

#include <cstdint>
#include <deque>
#include <functional>
#include <map>
#include <memory>
#include <optional>
#include <string>
#include <vector>

namespace qv::sim {

// One display mode as the driver lists it.
struct SimMode {
    uint32_t width = 0;
    uint32_t height = 0;
    uint32_t refreshHz = 0;  // as GDI lists it
    uint32_t bitsPerPel = 32;
    // The exact rate the display configuration reports (60000/1001 for a
    // 59.94 Hz mode GDI lists as 60); nullopt: refreshHz exactly.
    std::optional<Rational> vsync;
};

// A monitor as it comes out of the box: what Windows will report about it
// once it is connected.
struct SimMonitor {
    // Target name: the friendly name, the hardware id of the device path
    // ("ABC1234") and the EDID ids Windows decodes itself.
    std::string friendlyName = "Generic PnP Monitor";
    std::string pnpId = "ABC1234";
    uint16_t edidManufactureId = 0;
    uint16_t edidProductCodeId = 0;
    bool internal = false;  // a laptop's built-in panel

    // The "EDID" value under the monitor device's hardware key.
    bool hasEdidValue = true;
    uint32_t edidValueType = dc::RegBinary;
    std::vector<uint8_t> edid;

    // Driver mode list in driver order, and the mode the monitor runs at.
    std::vector<SimMode> modes;
    SimMode current{1920, 1080, 60};
    // Exact vertical sync of the current mode as CCD reports it (e.g.
    // 59940/1000); nullopt: the current mode's whole rate. A change of mode
    // takes the exact rate of the listed mode it picks.
    std::optional<Rational> vsync;
    uint32_t rotation = dc::RotationIdentity;

    std::optional<TargetPreferredMode> preferred;  // nullopt: the request fails
    std::optional<AdvancedColorInfo> color;        // nullopt: the request fails

    // A monitor whose EDID is built from the contents, reporting consistent ids,
    // preferred mode and a typical mode list.
    static SimMonitor fromEdid(const EdidContents& contents);
};

// One connected monitor (a CCD target).
struct SimTarget {
    uint32_t id = 0;
    SimMonitor monitor;
    std::optional<uint32_t> sourceId;  // nullopt: connected but not part of the desktop
    std::string instanceSuffix;        // "5&1a2b3c&0&UID4352"
    // Injected faults.
    bool failTargetName = false;
    bool failSourceName = false;
    bool failCurrentMode = false;
    bool failInstanceId = false;
    bool failOpenDevKey = false;
    bool inDeviceClass = true;          // listed among the present monitor devices
    std::optional<SimMode> gdiCurrent;  // GDI reports this instead of the source mode

    std::string devicePath() const;  // \\?\DISPLAY#ABC1234#5&1a2b3c&0&UID4352#{e6f07b5f-...}
    std::string instanceId() const;  // DISPLAY\ABC1234\5&1A2B3C&0&UID4352
};

// One desktop source (\\.\DISPLAYn) with its position and desktop mode.
struct SimSource {
    uint32_t id = 0;
    int32_t x = 0;
    int32_t y = 0;
    uint32_t width = 0;
    uint32_t height = 0;
    uint32_t refreshHz = 0;
    std::string gdiName() const;
};

// A present monitor device that belongs to no connected target (a stale or
// foreign device the class walk has to pass over).
struct SimStrayDevice {
    std::string instanceId;
    std::vector<uint8_t> edid;
};

// The display part of the simulated desktop: one adapter with its CCD paths
// and modes, GDI mode lists, the monitor device class with EDID values, and
// the system message table. Records every call it receives, in order.
//
// Changes behave as Windows' do: ChangeDisplaySettingsEx checks a mode
// against the driver's list (in the monitor's landscape orientation), applies
// it at once or stages it with CDS_NORESET until the commit (NULL device, NULL
// mode); a zero-sized mode detaches the display; after every change the
// primary display (the one given CDS_SET_PRIMARY, else the one that was at
// (0,0)) is put back at the origin and the others follow. SetDisplayConfig
// switches topologies or applies a supplied configuration (validated first,
// filling in missing sources when SDC_ALLOW_CHANGES allows it); QDC_ALL_PATHS
// lists every target on every source; a supplied path without a target mode
// runs at the listed mode of its refresh rate. Advanced colour can be
// switched, and switching it puts the display back on the first rate its
// driver lists for the size, as drivers do.
class SimDisplays final : public DisplayConfigApi {
public:
    static constexpr Luid Adapter{0x0000D2A4, 0};
    static constexpr uint32_t FirstTargetId = 4352;
    static constexpr uint32_t MaxSources = 4;  // sources the adapter can drive

    // Windows error codes the simulated desktop answers with.
    static constexpr int32_t ErrorGenFailure = 31;
    static constexpr int32_t ErrorNotSupported = 50;
    static constexpr int32_t ErrorInvalidParameter = 87;

    SimDisplays();

    // --- The machine ------------------------------------------------------
    // Connects a monitor and adds it to the desktop at (x, y) on a new source.
    // Each connector is a target id of its own; a monitor plugged back into
    // the connector it was on gets that id again (pass it as targetId).
    uint32_t plug(SimMonitor monitor, int32_t x, int32_t y, std::optional<uint32_t> targetId = std::nullopt);
    // Connects a monitor that is not part of the desktop.
    uint32_t plugDetached(SimMonitor monitor, std::optional<uint32_t> targetId = std::nullopt);
    // Disconnects a monitor: its path, modes and device disappear.
    void unplug(uint32_t targetId);
    // Takes a monitor off the desktop; it stays connected (inactive paths only).
    void detach(uint32_t targetId) { detachTarget(target(targetId)); }
    // Puts target on the source of ontoTarget (clone topology).
    void clone(uint32_t targetId, uint32_t ontoTargetId);
    void addStrayDevice(SimStrayDevice device);

    SimTarget& target(uint32_t targetId);
    bool connected(uint32_t targetId) { return findTarget(Adapter, targetId) != nullptr; }
    SimSource& sourceOf(uint32_t targetId);
    std::string gdiNameOf(uint32_t targetId);
    // The desktop sources (monitors), in the order they were added.
    const std::vector<SimSource>& sources() const { return sources_; }

    // Scenario: a laptop panel at (0,0) and two docked monitors to its right.
    struct Docked {
        uint32_t laptop;
        uint32_t left;
        uint32_t right;
    };
    Docked laptopWithTwoDocked();

    // --- Injected behaviour -------------------------------------------------
    void failBufferSizes(int32_t code) { bufferSizesError_ = code; }
    // The next `times` queries answer `code`.
    void failQuery(int32_t code, int times) { queryErrors_.assign(size_t(times), code); }
    // Runs once right after the next size query has answered (a change that
    // lands between the size query and the query). Queued in order.
    void afterSizeQuery(std::function<void()> change) { afterSizeQuery_.push_back(std::move(change)); }
    void failMonitorClass(bool fail) { failMonitorClass_ = fail; }
    void setTopologyOverride(std::optional<uint32_t> topology) { topologyOverride_ = topology; }
    void setSystemMessage(uint32_t code, std::string text) { messages_[code] = std::move(text); }
    // ChangeDisplaySettingsEx for this device answers `code` (a DISP_CHANGE_*
    // value) without effect, the next `times` calls (negative: every call).
    void refuseChange(const std::string& gdiName, int32_t code, int times = -1);
    // The commit of staged changes answers `code` without effect (0: normal).
    void refuseCommit(int32_t code) { commitError_ = code; }
    // SetDisplayConfig calls whose flags include all of `flags` answer `code`
    // without effect (code 0 removes the refusal).
    void refuseSetDisplayConfig(uint32_t flags, int32_t code);
    // SetDisplayConfig topology requests succeed without doing anything, as
    // Wine's do.
    void ignoreTopologyRequests(bool ignore) { ignoreTopology_ = ignore; }
    // Setting the advanced colour state answers `code` without effect (0: normal).
    void refuseAdvancedColor(int32_t code) { advancedColorError_ = code; }

    // --- Observed state ---------------------------------------------------------
    // Changes staged with CDS_NORESET and not yet committed.
    size_t stagedChanges() const { return staged_.size(); }
    // The lists handed to the last SetDisplayConfig call.
    const std::vector<PathInfo>& lastPaths() const { return lastPaths_; }
    const std::vector<ModeInfo>& lastModes() const { return lastModes_; }

    // --- Call log -----------------------------------------------------------
    const std::vector<std::string>& calls() const { return calls_; }
    void clearCalls() { calls_.clear(); }
    // Calls whose text starts with the prefix.
    std::vector<std::string> callsStartingWith(const std::string& prefix) const;

    // --- DisplayConfigApi -----------------------------------------------------
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

    void record(std::string call) { calls_.push_back(std::move(call)); }

private:
    struct Config {
        std::vector<PathInfo> paths;
        std::vector<ModeInfo> modes;
    };
    // What one GDI device is asked to become.
    struct GdiState {
        int32_t x = 0;
        int32_t y = 0;
        uint32_t width = 0;
        uint32_t height = 0;
        uint32_t refreshHz = 0;
        uint32_t orientation = 0;  // DMDO_*
        bool detach = false;
        std::optional<Rational> vsync;  // exact rate of the mode picked
    };
    struct StagedChange {
        uint32_t sourceId = 0;
        GdiState state;
        bool setPrimary = false;
    };
    struct ChangeRefusal {
        std::string gdiName;
        int32_t code = 0;
        int remaining = -1;
    };
    // A supplied configuration as it would be applied: target -> source, and
    // the sources.
    struct Plan {
        std::vector<std::pair<uint32_t, uint32_t>> targetSources;
        std::vector<std::pair<uint32_t, uint32_t>> rotations;
        std::vector<std::pair<uint32_t, std::optional<Rational>>> vsyncs;  // target -> exact rate
        std::vector<SimSource> sources;
    };

    Config activeConfig() const;
    Config allPathsConfig() const;
    uint32_t topology() const;
    SimTarget* findTarget(const Luid& adapterId, uint32_t targetId);
    SimSource* findSource(uint32_t sourceId);
    SimSource* findSourceByName(const std::string& gdiName);
    SimTarget* firstTargetOnSource(uint32_t sourceId);
    uint32_t freeSourceId() const;
    void dropSourceIfUnused(uint32_t sourceId);

    // GDI changes.
    int32_t resolveRequest(const SimSource& source, const SimTarget& target, const DevMode& mode, GdiState& out) const;
    void applyGdi(uint32_t sourceId, const GdiState& state);
    void detachTarget(SimTarget& target);
    int32_t commitStaged();
    // Moves every source so that the primary one sits at (0,0); without a
    // primary (it was detached) the first source becomes primary.
    void keepPrimaryAtOrigin(std::optional<uint32_t> primarySourceId);
    std::optional<uint32_t> sourceAtOrigin() const;
    int32_t rightEdge() const;

    // CCD changes.
    int32_t applyTopology(uint32_t topologyFlag);
    int32_t planSupplied(const std::vector<PathInfo>& paths, const std::vector<ModeInfo>& modes, uint32_t flags,
                         Plan& plan);
    void applyPlan(const Plan& plan);

    std::vector<SimTarget> targets_;
    std::vector<SimSource> sources_;
    std::vector<SimStrayDevice> strays_;
    uint32_t nextTargetId_ = FirstTargetId;

    int32_t bufferSizesError_ = 0;
    std::deque<int32_t> queryErrors_;
    std::deque<std::function<void()>> afterSizeQuery_;
    bool failMonitorClass_ = false;
    std::optional<uint32_t> topologyOverride_;
    std::map<uint32_t, std::string> messages_;
    std::vector<std::string> calls_;

    std::vector<StagedChange> staged_;
    std::vector<ChangeRefusal> changeRefusals_;
    int32_t commitError_ = 0;
    std::vector<std::pair<uint32_t, int32_t>> setConfigRefusals_;
    bool ignoreTopology_ = false;
    int32_t advancedColorError_ = 0;
    std::vector<PathInfo> lastPaths_;
    std::vector<ModeInfo> lastModes_;
};

} // namespace qv::sim
