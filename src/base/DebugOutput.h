#pragma once
#include <string>

namespace qv {

// The debugger's output channel (OutputDebugStringA on Windows).
class DebugOutput {
public:
    virtual ~DebugOutput() = default;
    virtual void write(const std::string& text) = 0;

    // The process-wide channel. Until one is installed, text is dropped.
    // install returns the previous one; nullptr reinstalls the stand-in. The
    // caller keeps ownership.
    static DebugOutput& current();
    static DebugOutput* install(DebugOutput* output);
};

} // namespace qv
