#pragma once
#include "vdisplay/VdConsole.h"

namespace qv {

// The console through kernel32 and the C runtime's standard streams.
class Win32VdConsole final : public VdConsole {
public:
    bool attachParentConsole() override;
    bool allocConsole() override;
    bool hasStandardHandle(Stream stream) override;
    void reopenOnConsole(Stream stream) override;
    void print(const std::string& text) override;
    void catchControlEvents() override;
    Release waitForRelease() override;
    void releaseControlEvents() override;
    int32_t coInitialize(uint32_t flags) override;
    void coUninitialize() override;
};

} // namespace qv
