#pragma once
#include "base/KnownFolders.h"

#include <map>
#include <mutex>
#include <string>

namespace qv::sim {

// Known folders of a simulated user "sim", in Windows form. Each can be set to
// another path or to empty (cannot be resolved).
class SimKnownFolders final : public KnownFolders {
public:
    SimKnownFolders();

    void set(KnownFolder folder, const std::string& path);

    std::string path(KnownFolder folder) override;

private:
    std::mutex mutex_;
    std::map<KnownFolder, std::string> paths_;
};

} // namespace qv::sim
