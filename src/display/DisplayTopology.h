#pragma once
#include "base/ActionResult.h"
#include "display/DisplayConfigApi.h"
#include "display/DisplayPlacement.h"
#include "display/Projection.h"

#include <string>
#include <vector>

namespace qv {

class DisplayManager;

// Changes to which displays take part in the desktop and where they sit:
// projection topologies, attaching and detaching, mirroring, flipping and
// whole arrangements. Reached through the DisplayManager members of the same
// names; every success refreshes the manager's cache.
class DisplayTopology {
public:
    DisplayTopology(DisplayManager& manager, DisplayConfigApi& api);

    ActionResult setProjection(Projection mode);
    ActionResult setEnabled(const std::string& key, bool enable);
    ActionResult mirrorDisplays(const std::vector<std::string>& keys);
    ActionResult flipArrangement();
    ActionResult applyArrangement(const std::vector<DisplayPlacement>& placements);

private:
    // Sets the exact rate of each placement whose display runs at another one
    // in one supplied configuration; adds what was refused to refusals.
    void applyExactRates(const std::vector<DisplayPlacement>& placements, std::vector<std::string>& refusals);
    ActionResult disable(const std::string& key);
    ActionResult enable(const std::string& key);

    DisplayManager& manager_;
    DisplayConfigApi& api_;
};

} // namespace qv
