#include "app/win32/Win32InstanceMutex.h"

#include "base/win32/Utf16.h"

namespace qv {

Win32InstanceMutex::~Win32InstanceMutex() {
    if (handle_) CloseHandle(handle_);
}

InstanceMutex::CreateResult Win32InstanceMutex::create(const std::string& name) {
    if (handle_) CloseHandle(handle_);
    handle_ = CreateMutexW(nullptr, TRUE, widen(name).c_str());
    DWORD error = GetLastError();
    if (!handle_) return CreateResult::Failed;
    return error == ERROR_ALREADY_EXISTS ? CreateResult::AlreadyExists : CreateResult::Owned;
}

InstanceMutex::WaitResult Win32InstanceMutex::wait(uint32_t timeoutMs) {
    if (!handle_) return WaitResult::Failed;
    switch (WaitForSingleObject(handle_, timeoutMs)) {
    case WAIT_OBJECT_0: return WaitResult::Acquired;
    case WAIT_ABANDONED: return WaitResult::Abandoned;
    case WAIT_TIMEOUT: return WaitResult::TimedOut;
    default: return WaitResult::Failed;
    }
}

void Win32InstanceMutex::release() {
    if (!handle_) return;
    // Fails harmlessly when this process does not own the mutex.
    ReleaseMutex(handle_);
    CloseHandle(handle_);
    handle_ = nullptr;
}

} // namespace qv
