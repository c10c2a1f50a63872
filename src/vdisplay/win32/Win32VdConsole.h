#pragma once
#include "vdisplay/VdConsole.h"

namespace qv {

// The console through kernel32 and the C runtime's standard streams.
class Win32VdConsole final : public VdConsole {
public:
    ~Win32VdConsole() override {
        // A hold still catching lets its events go: nothing waits for them
        // any more.
        if (sessionThread_) releaseControlEvents();
        endRead();
    }
    bool attachParentConsole() override;
    bool allocConsole() override;
    bool hasStandardHandle(Stream stream) override;
    void reopenOnConsole(Stream stream) override;
    void print(const std::string& text) override;
    void catchControlEvents() override;
    Release waitForRelease(uint32_t timeoutMs) override;
    bool controlEventArrived() override;
    void releaseControlEvents() override;
    int32_t coInitialize(uint32_t flags) override;
    void coUninitialize() override;

private:
    // Ends the read of standard input a wait began, cancelling it when it
    // has not ended.
    void endRead();

    // The hidden window that hears of the session ending, on a thread of
    // its own, while control events are caught.
    void startSessionWindow();
    void stopSessionWindow();

    // The read that waits go on waiting for, and its thread; null when none.
    void* read_ = nullptr;
    void* readThread_ = nullptr;
    void* sessionThread_ = nullptr;
    void* sessionWindow_ = nullptr;
};

} // namespace qv
