#pragma once
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
// Windows again. Runs on the user-interface thread; no locking.
class DisplayManager {
public:
    explicit DisplayManager(DisplayConfigApi& api);

    // Queries the system afresh, replaces the cache with the result and
    // returns it. A failed query empties the cache.
    std::vector<DisplayInfo> enumerate();

    // First cached record with that key; never enumerates.
    std::optional<DisplayInfo> find(const std::string& key) const;

    // The display's modes in the driver's order, adjacent repeats collapsed.
    std::vector<DisplayMode> modes(const std::string& key);

    // Key of the first primary display; enumerates first if the cache is empty.
    std::string primaryKey();

    // Topology of the current configuration; Unknown on any failure.
    Projection currentProjection();

    // Key of any target, active or not, built as during enumeration.
    std::string keyForTarget(const Luid& adapterId, uint32_t targetId);

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

private:
    enum class QueryStage { BufferSizes, Query };

    // GetDisplayConfigBufferSizes + QueryDisplayConfig, asking again when the
    // configuration changed between the two calls. Returns the error code and
    // the call that failed.
    int32_t queryConfig(uint32_t flags, std::vector<PathInfo>& paths, std::vector<ModeInfo>& modes,
                        uint32_t* topologyId, QueryStage& failedStage);

    const DisplayInfo* findCached(const std::string& key) const;

    DisplayConfigApi& api_;
    std::vector<DisplayInfo> cache_;
};

} // namespace qv
