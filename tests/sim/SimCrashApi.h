#pragma once
#include "base/CrashApi.h"

#include <mutex>
#include <string>
#include <vector>

namespace qv::sim {

class SimFileSystem;

// The crash handler's system calls on the simulated desktop. Dumps are files
// of the simulated file system: a dump is written like CreateFileW with
// CREATE_ALWAYS (an existing file is replaced) and holds
// "MDMP type=0x1061 code=0xC0000005 pointers=yes", so a test can tell which
// crash wrote it. Calls are recorded as lines of text ("installFilter",
// "setErrorMode 3", "writeMinidump <path> type=0x1061 code=0xC0000005 pointers=yes").
class SimCrashApi final : public CrashApi {
public:
    explicit SimCrashApi(SimFileSystem& fileSystem);

    void setLocalTime(const LocalTime& time);
    // An unhandled exception with the given code reaches the installed filter
    // (with exception pointers, or none); returns the filter's result, or -1
    // when no filter is installed.
    long crash(uint32_t code, bool withPointers = true);

    std::vector<std::string> calls() const;

    // --- qv::CrashApi ---
    void installFilter(Filter filter) override;
    void setErrorMode(uint32_t mode) override;
    LocalTime localTime() override;
    bool writeMinidump(const std::string& path, const Exception& exception, uint32_t dumpType) override;

private:
    SimFileSystem& fs_;
    mutable std::mutex mutex_;
    Filter filter_ = nullptr;
    LocalTime time_;
    std::vector<std::string> calls_;
    int pointersStandIn_ = 0; // its address stands for the system's exception pointers
};

} // namespace qv::sim
