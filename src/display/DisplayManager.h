#pragma once
#include "base/ActionResult.h"
#include "display/DisplayConfigApi.h"
#include "display/DisplayInfo.h"
#include "display/DisplayPlacement.h"
#include "display/MonitorIdentity.h"
#include "display/Projection.h"

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

namespace qv {

// The program's model of the displays attached to the desktop. It keeps the
// result of the last enumeration (the cache) so that lookups do not query
// Windows again, and carries out every change made to the displays (the
// operations are implemented by DisplaySettings, DisplayTopology and
// ResolutionPush). Each change that succeeds refreshes the cache; a change
// that Windows refuses leaves it as it was. Runs on the user-interface thread;
// no locking.
class DisplayManager {
public:
    explicit DisplayManager(DisplayConfigApi& api);

    // --- One display's settings ---------------------------------------------
    // Desktop mode; refreshHz 0 keeps the current rate. Asks again without a
    // rate when the driver refuses the exact mode.
    ActionResult setMode(const std::string& key, uint32_t width, uint32_t height, uint32_t refreshHz);
    ActionResult setRefreshRate(const std::string& key, uint32_t refreshHz);
    // 0 landscape, 1 = 90, 2 = 180, 3 = 270 degrees; other values mean 0.
    ActionResult setOrientation(const std::string& key, uint32_t orientation);
    // The next orientation of the display (the primary one when key is empty).
    ActionResult rotateNext(const std::string& key);
    // Shifts the whole desktop so that this display sits at (0,0) as primary.
    ActionResult setPrimary(const std::string& key);
    // Advanced colour on or off.
    ActionResult setHdr(const std::string& key, bool enable);

    // --- Topology and arrangement --------------------------------------------
    // Internal, Clone, Extend or External, checked against the topology read back.
    ActionResult setProjection(Projection mode);
    // Attaches (through the inactive paths) or detaches one display.
    ActionResult setEnabled(const std::string& key, bool enable);
    // Shows the first chosen active display's source on the other chosen ones.
    ActionResult mirrorDisplays(const std::vector<std::string>& keys);
    // Swaps the positions of exactly two desktop sources.
    ActionResult flipArrangement();
    // Sets advanced colour where a placement names it, then stages every
    // placement relative to the first primary one and commits, then sets the
    // exact refresh rates GDI's whole hertz could not. An arrangement every
    // display of which already is as placed changes nothing and succeeds with
    // ArrangementInEffect.
    ActionResult applyArrangement(const std::vector<DisplayPlacement>& placements);
    static constexpr const char* ArrangementInEffect = "Arrangement already in effect";

    // --- Every display at once ------------------------------------------------
    ActionResult pushMaxModes();
    ActionResult pushNativeModes();
    ActionResult pushResolution(uint32_t width, uint32_t height);

    // Queries the system afresh, replaces the cache with the result and
    // returns it. A failed query empties the cache.
    std::vector<DisplayInfo> enumerate();
    // The same, telling a failed query (nothing) from a desktop without displays.
    std::optional<std::vector<DisplayInfo>> tryEnumerate();

    // The cached record with that key (findByKey: a shared key saved before
    // names the first of the identical monitors); never enumerates.
    std::optional<DisplayInfo> find(const std::string& key) const;

    // find; when the key is absent, enumerate once and find again.
    std::optional<DisplayInfo> findOrEnumerate(const std::string& key);

    // The display's modes in the driver's order, adjacent repeats collapsed.
    std::vector<DisplayMode> modes(const std::string& key);

    // Key of the first primary display; enumerates first if the cache is empty.
    std::string primaryKey();

    // Topology of the current configuration; Unknown on any failure.
    Projection currentProjection();

    // Key of any target, active or not, built from its monitor alone.
    std::string keyForTarget(const Luid& adapterId, uint32_t targetId);

    // A target of a path list with the key its monitor goes by.
    struct TargetKey {
        Luid adapterId;
        uint32_t targetId = 0;
        std::string key;
        std::string sharedKey;
    };
    // The distinct targets of the paths (only those of active paths when
    // activeOnly) that Windows names, in order of first appearance, with
    // keys made distinct among them as enumeration does (distinctDisplayKeys).
    std::vector<TargetKey> targetKeys(const std::vector<PathInfo>& paths, bool activeOnly);

    // Active paths and modes of the current configuration. On failure logs,
    // leaves both lists empty and returns false.
    bool queryActivePaths(std::vector<PathInfo>& paths, std::vector<ModeInfo>& modes);

    // Text for a Windows error code, e.g. "The parameter is incorrect (0x57)".
    std::string errorText(uint32_t code) const;

    // One placement per display from a fresh enumeration, in enumeration order.
    std::vector<DisplayPlacement> placementSnapshot();

    // Reads the EDID block of the monitor at devicePath into the identity.
    // True when a matching monitor device had a valid EDID block.
    bool enrichFromEdid(const std::string& devicePath, MonitorIdentity& identity);

    const std::vector<DisplayInfo>& cache() const { return cache_; }

    enum class QueryStage { BufferSizes, Query };

    // GetDisplayConfigBufferSizes + QueryDisplayConfig, asking again when the
    // configuration changed between the two calls. Both lists are shrunk to
    // the counts returned. Returns the error code and the call that failed.
    int32_t queryConfig(uint32_t flags, std::vector<PathInfo>& paths, std::vector<ModeInfo>& modes,
                        uint32_t* topologyId, QueryStage& failedStage);

private:
    const DisplayInfo* findCached(const std::string& key) const;

    DisplayConfigApi& api_;
    std::vector<DisplayInfo> cache_;
};

} // namespace qv
