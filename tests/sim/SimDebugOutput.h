#pragma once
#include "base/DebugOutput.h"

#include <mutex>
#include <string>
#include <vector>

namespace qv::sim {

// Records what the program passes to the debugger output, one entry per call.
// Every log line arrives here as "[Quorvane][LVL] message\n".
class SimDebugOutput : public DebugOutput {
public:
    void write(const std::string& text) override;

    std::vector<std::string> lines() const;
    // True when some recorded text equals "[Quorvane][" + level + "] " + message + "\n".
    bool contains(const std::string& level, const std::string& message) const;
    void clear();

    // Also hands every line to `next` (nullptr: to nobody), after keeping it.
    void forwardTo(DebugOutput* next);

private:
    mutable std::mutex mutex_;
    std::vector<std::string> lines_;
    DebugOutput* next_ = nullptr;
};

// A recorder that receives the log from its construction to its destruction,
// then hands it back to whatever had it before. Declared before anything
// that logs, so it outlives what writes to it.
class CapturedLog final : public SimDebugOutput {
public:
    CapturedLog() : previous_(DebugOutput::install(this)) {}
    ~CapturedLog() override { DebugOutput::install(previous_); }
    CapturedLog(const CapturedLog&) = delete;
    CapturedLog& operator=(const CapturedLog&) = delete;

private:
    DebugOutput* previous_;
};

} // namespace qv::sim
