#include "display/Projection.h"

namespace qv {

const char* projectionName(Projection projection) {
    switch (projection) {
    case Projection::Internal: return "Internal";
    case Projection::Clone: return "Clone";
    case Projection::Extend: return "Extend";
    case Projection::External: return "External";
    default: return "Unknown";
    }
}

} // namespace qv
