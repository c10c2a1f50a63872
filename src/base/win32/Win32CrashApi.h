#pragma once
#include "base/CrashApi.h"

namespace qv {

// The crash handler's system calls: SetUnhandledExceptionFilter, SetErrorMode,
// GetLocalTime and MiniDumpWriteDump (dbghelp) into a file made with CreateFileW.
class Win32CrashApi final : public CrashApi {
public:
    void installFilter(Filter filter) override;
    void setErrorMode(uint32_t mode) override;
    LocalTime localTime() override;
    bool writeMinidump(const std::string& path, const Exception& exception, uint32_t dumpType) override;
};

} // namespace qv
