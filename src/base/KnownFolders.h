#pragma once
#include <string>

namespace qv {

// The shell's known folders the program uses.
enum class KnownFolder {
    RoamingAppData, // settings, layouts, logs
    LocalAppData,   // browser profile
    Programs,       // the Start menu's Programs folder
    Videos,         // default recordings folder
};

class KnownFolders {
public:
    virtual ~KnownFolders() = default;
    // UTF-8 path of the folder, or empty when it cannot be resolved.
    virtual std::string path(KnownFolder folder) = 0;

    // The process-wide known folders. Until one is installed, a stand-in that
    // resolves nothing is used. install returns the previous one; nullptr
    // reinstalls the stand-in. The caller keeps ownership.
    static KnownFolders& current();
    static KnownFolders* install(KnownFolders* knownFolders);
};

} // namespace qv
