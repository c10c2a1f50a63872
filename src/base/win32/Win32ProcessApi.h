#pragma once
#include "base/ProcessApi.h"

namespace qv {

// Process services through shell32, ole32, advapi32 and user32.
class Win32ProcessApi final : public ProcessApi {
public:
    void setAppUserModelId(const std::string& id) override;
    int32_t coInitialize(uint32_t flags) override;
    void coUninitialize() override;
    bool modulePath(std::string& path) override;
    bool tokenElevation(uint32_t& elevation) override;
    void broadcastRegisteredMessage(const std::string& name) override;
    void postQuit(int exitCode) override;
    void messageBox(const std::string& text, const std::string& title, uint32_t flags) override;
    int runMessageLoop() override;
};

} // namespace qv
