#pragma once
#include <cstdint>
#include <string>

namespace qv {

// The console of a command-line run: attaching to one, the standard streams
// and the thread's COM apartment.
class VdConsole {
public:
    enum class Stream { Input, Output, Error };

    // CoInitializeEx flag of a single-threaded apartment.
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
    // Waits for one character on standard input; EOF when the input ended.
    virtual int readCharacter() = 0;
    // Waits at most timeoutMs for standard input to have something that
    // readCharacter takes without blocking (a typed line, piped bytes, or the
    // end of the input); true once it has.
    virtual bool waitForInput(uint32_t timeoutMs) = 0;
    virtual int32_t coInitialize(uint32_t flags) = 0;
    virtual void coUninitialize() = 0;
};

} // namespace qv
