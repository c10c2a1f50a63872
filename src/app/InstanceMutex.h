#pragma once
#include <cstdint>
#include <string>

namespace qv {

// The named mutex that makes the program a single instance per signed-in
// user. One object holds at most one handle.
class InstanceMutex {
public:
    enum class CreateResult {
        Owned,         // a new mutex, owned by this process
        AlreadyExists, // another process made it first; a handle is held but not owned
        Failed,        // no handle
    };
    enum class WaitResult { Acquired, Abandoned, TimedOut, Failed };

    virtual ~InstanceMutex() = default;

    // CreateMutexW with no security attributes and initial owner true; the
    // outcome comes from the handle and GetLastError.
    virtual CreateResult create(const std::string& name) = 0;
    // WaitForSingleObject on the held handle.
    virtual WaitResult wait(uint32_t timeoutMs) = 0;
    // ReleaseMutex and CloseHandle on the held handle; nothing without one.
    virtual void release() = 0;
};

} // namespace qv
