#include "base/Elevation.h"

#include "base/ProcessApi.h"
#include "base/Registry.h"
#include "base/ShellApi.h"

#include <atomic>

namespace qv {

namespace {

std::atomic<Elevation*> g_installed{nullptr};

// Closes an opened key when the scope ends, whatever path leaves it.
class OpenKey {
public:
    OpenKey(Registry& registry, uint32_t access) : registry_(registry) {
        status_ = registry_.openKey(Registry::Root::CurrentUser, Elevation::kRunKey, access, key_);
    }
    ~OpenKey() {
        if (status_ == Registry::kSuccess) registry_.closeKey(key_);
    }
    OpenKey(const OpenKey&) = delete;
    OpenKey& operator=(const OpenKey&) = delete;

    bool ok() const { return status_ == Registry::kSuccess; }
    Registry::Key key() const { return key_; }

private:
    Registry& registry_;
    Registry::Key key_ = 0;
    int32_t status_ = -1;
};

} // namespace

Elevation::Elevation(ProcessApi& process, Registry& registry, ShellApi& shell)
    : process_(process), registry_(registry), shell_(shell) {}

bool Elevation::isElevated() {
    uint32_t elevation = 0;
    return process_.tokenElevation(elevation) && elevation != 0;
}

bool Elevation::startsWithWindows() {
    OpenKey run(registry_, Registry::kKeyRead);
    if (!run.ok()) return false;
    uint32_t type = 0;
    return registry_.queryValueType(run.key(), kRunValue, type) == Registry::kSuccess && type == Registry::kRegSz;
}

bool Elevation::setStartWithWindows(bool on) {
    OpenKey run(registry_, Registry::kKeySetValue);
    if (!run.ok()) return false;
    if (on) {
        std::string path;
        if (!process_.modulePath(path)) return false;
        return registry_.setStringValue(run.key(), kRunValue, "\"" + path + "\"") == Registry::kSuccess;
    }
    int32_t status = registry_.deleteValue(run.key(), kRunValue);
    return status == Registry::kSuccess || status == Registry::kFileNotFound;
}

bool Elevation::relaunchElevated() {
    std::string path;
    if (!process_.modulePath(path)) return false;
    if (!shell_.shellExecuteEx("runas", path, kRelaunchedArgument, ShellApi::kSeeMaskNoAsync, ShellApi::kSwShowNormal)) {
        return false;
    }
    process_.postQuit(0);
    return true;
}

Elevation* Elevation::install(Elevation* elevation) { return g_installed.exchange(elevation); }

Elevation* Elevation::current() { return g_installed.load(); }

bool isElevated() {
    Elevation* e = Elevation::current();
    return e && e->isElevated();
}

bool startsWithWindows() {
    Elevation* e = Elevation::current();
    return e && e->startsWithWindows();
}

bool setStartWithWindows(bool on) {
    Elevation* e = Elevation::current();
    return e && e->setStartWithWindows(on);
}

void relaunchElevated() {
    if (Elevation* e = Elevation::current()) e->relaunchElevated();
}

} // namespace qv
