#pragma once
#include <cstdint>
#include <string>

namespace qv {

// The console of a command-line run: attaching to one, the standard streams
// and the thread's COM apartment.
class VdConsole {
public:
    enum class Stream { Input, Output, Error };

    // CoInitializeEx flag of a single-threaded apartment (objbase.h,
    // learn.microsoft.com "COINIT enumeration").
    static constexpr uint32_t kCoInitApartmentThreaded = 0x2;

    virtual ~VdConsole() = default;

    // AttachConsole(ATTACH_PARENT_PROCESS).
    virtual bool attachParentConsole() = 0;
    // AllocConsole.
    virtual bool allocConsole() = 0;
    // True when the process already has a working handle for the stream (a
    // pipe, a file or a console inherited from whoever started it).
    virtual bool hasStandardHandle(Stream stream) = 0;
    // Reopens the C stream on the console: output and error on "CONOUT$" for
    // writing, input on "CONIN$" for reading.
    virtual void reopenOnConsole(Stream stream) = 0;
    // Writes to standard output and flushes.
    virtual void print(const std::string& text) = 0;
    // How waiting for the user to release a held monitor ended.
    enum class Release { Input, ControlEvent, TimedOut };

    // Starts catching the console's control events (Ctrl+C, Ctrl+Break, the
    // console window closing) and the end of the user's session (sign-out,
    // shutdown): from now on each one wakes waitForRelease and is kept from
    // ending the process until releaseControlEvents.
    virtual void catchControlEvents() = 0;
    // Waits at most timeoutMs until a line (or the end) arrives on standard
    // input or a caught control event has arrived, whichever comes first;
    // TimedOut when neither did. A read of the input that a wait began and
    // that has not ended carries on into the next wait.
    virtual Release waitForRelease(uint32_t timeoutMs) = 0;
    // True once a caught control event has arrived, without waiting and
    // without beginning a read of the input.
    virtual bool controlEventArrived() = 0;
    // The release is done: gives up a read still waiting for input, stops
    // catching and lets every caught control event go on (for the window
    // closing, sign-out and shutdown the system then ends the process).
    virtual void releaseControlEvents() = 0;
    virtual int32_t coInitialize(uint32_t flags) = 0;
    virtual void coUninitialize() = 0;
};

} // namespace qv
