#include "base/KnownFolders.h"

#include <atomic>

namespace qv {

namespace {

class NoKnownFolders final : public KnownFolders {
public:
    std::string path(KnownFolder) override { return std::string(); }
};

std::atomic<KnownFolders*> g_installed{nullptr};

} // namespace

KnownFolders& KnownFolders::current() {
    static NoKnownFolders* none = new NoKnownFolders;
    KnownFolders* folders = g_installed.load();
    return folders ? *folders : *none;
}

KnownFolders* KnownFolders::install(KnownFolders* knownFolders) { return g_installed.exchange(knownFolders); }

} // namespace qv
