#include "base/DebugOutput.h"

#include <atomic>

namespace qv {

namespace {

class NoDebugOutput final : public DebugOutput {
public:
    void write(const std::string&) override {}
};

std::atomic<DebugOutput*> g_installed{nullptr};

} // namespace

DebugOutput& DebugOutput::current() {
    static NoDebugOutput* none = new NoDebugOutput;
    DebugOutput* output = g_installed.load();
    return output ? *output : *none;
}

DebugOutput* DebugOutput::install(DebugOutput* output) { return g_installed.exchange(output); }

} // namespace qv
