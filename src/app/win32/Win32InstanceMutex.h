#pragma once
#include "app/InstanceMutex.h"

#include <windows.h>

namespace qv {

// The single-instance mutex as a kernel named mutex.
class Win32InstanceMutex final : public InstanceMutex {
public:
    Win32InstanceMutex() = default;
    ~Win32InstanceMutex() override;
    Win32InstanceMutex(const Win32InstanceMutex&) = delete;
    Win32InstanceMutex& operator=(const Win32InstanceMutex&) = delete;

    CreateResult create(const std::string& name) override;
    WaitResult wait(uint32_t timeoutMs) override;
    void release() override;

private:
    HANDLE handle_ = nullptr;
};

} // namespace qv
