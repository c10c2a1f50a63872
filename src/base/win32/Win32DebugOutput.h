#pragma once
#include "base/DebugOutput.h"

namespace qv {

// The debugger output through OutputDebugStringA.
class Win32DebugOutput final : public DebugOutput {
public:
    void write(const std::string& text) override;
};

} // namespace qv
