#pragma once

namespace qv {

// Topology of the whole desktop. The numbers are the ones actions request.
enum class Projection : int {
    Internal = 0,
    Clone = 1,
    Extend = 2,
    External = 3,
    Unknown = 4,
};

// "Internal", "Clone", "Extend", "External"; "Unknown" for anything else.
const char* projectionName(Projection projection);

} // namespace qv
