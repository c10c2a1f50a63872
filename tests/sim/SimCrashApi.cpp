#include "sim/SimCrashApi.h"

#include "base/StrPrintf.h"
#include "sim/SimFileSystem.h"

namespace qv::sim {

SimCrashApi::SimCrashApi(SimFileSystem& fileSystem) : fs_(fileSystem) {}

void SimCrashApi::setLocalTime(const LocalTime& time) {
    std::lock_guard<std::mutex> lock(mutex_);
    time_ = time;
}

long SimCrashApi::crash(uint32_t code, bool withPointers) {
    Filter filter;
    {
        std::lock_guard<std::mutex> lock(mutex_);
        filter = filter_;
    }
    if (!filter) return -1;
    Exception exception;
    if (withPointers) {
        exception.pointers = &pointersStandIn_;
        exception.code = code;
    }
    return filter(exception);
}

std::vector<std::string> SimCrashApi::calls() const {
    std::lock_guard<std::mutex> lock(mutex_);
    return calls_;
}

void SimCrashApi::installFilter(Filter filter) {
    std::lock_guard<std::mutex> lock(mutex_);
    calls_.push_back("installFilter");
    filter_ = filter;
}

void SimCrashApi::setErrorMode(uint32_t mode) {
    std::lock_guard<std::mutex> lock(mutex_);
    calls_.push_back(strprintf("setErrorMode %u", mode));
}

CrashApi::LocalTime SimCrashApi::localTime() {
    std::lock_guard<std::mutex> lock(mutex_);
    return time_;
}

bool SimCrashApi::writeMinidump(const std::string& path, const Exception& exception, uint32_t dumpType) {
    std::string details = strprintf("type=0x%X code=0x%08X pointers=%s", dumpType, exception.code,
                                    exception.pointers ? "yes" : "no");
    {
        std::lock_guard<std::mutex> lock(mutex_);
        calls_.push_back("writeMinidump " + path + " " + details);
    }
    auto file = fs_.openWrite(path);
    if (!file) return false;
    bool written = file->write("MDMP " + details) > 0;
    return file->close() && written;
}

} // namespace qv::sim
