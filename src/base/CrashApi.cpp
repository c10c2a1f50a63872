#include "base/CrashApi.h"

#include <atomic>

namespace qv {

namespace {

class NoCrashApi final : public CrashApi {
public:
    void installFilter(Filter) override {}
    void setErrorMode(uint32_t) override {}
    LocalTime localTime() override { return {}; }
    bool writeMinidump(const std::string&, const Exception&, uint32_t) override { return false; }
};

std::atomic<CrashApi*> g_installed{nullptr};

} // namespace

CrashApi& CrashApi::current() {
    static NoCrashApi* none = new NoCrashApi;
    CrashApi* api = g_installed.load();
    return api ? *api : *none;
}

CrashApi* CrashApi::install(CrashApi* api) { return g_installed.exchange(api); }

} // namespace qv
