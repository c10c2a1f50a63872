#pragma once
#include "capture/RecorderFrames.h"

#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>

namespace qv {

// The services the recorder and the NDI sender work through, each one small
// enough to fake: the clock, the desktop duplication that lands frames in
// memory, the video file writer, the loopback of the default speakers and the
// NDI runtime library. The Win32 versions live in capture/win32/; the
// simulated ones in tests/sim/.

// Time and waiting for capture threads, plus the per-thread set-up those
// threads need (COM's multithreaded apartment on Windows).
class CaptureClock {
public:
    virtual ~CaptureClock() = default;
    // The performance counter in 100-nanosecond units (counter ÷ frequency ×
    // 10,000,000, truncated): sample times are differences of these.
    virtual int64_t now100ns() = 0;
    // Milliseconds since the system started (GetTickCount64).
    virtual uint64_t tickMs() = 0;
    virtual void sleepMs(uint32_t milliseconds) = 0;
    // Called first and last on every capture thread.
    virtual void enterThread() {}
    virtual void leaveThread() {}
};

// One display's desktop duplication with frames copied to memory, owned by one
// worker thread. Every call comes from that thread.
class ScreenCapture {
public:
    enum class OpenResult {
        Ok,
        FactoryFailed,  // CreateDXGIFactory1
        OutputNotFound, // no output with that GDI name on any adapter
        DeviceFailed,   // D3D11CreateDevice on the output's adapter
        OutputFailed,   // the output has no IDXGIOutput1
    };
    // The text a failed open is reported with; notFound is the one for an
    // output that is not there, which names what the display was wanted for.
    static const char* openFailureText(OpenResult result, const char* notFound) {
        switch (result) {
        case OpenResult::FactoryFailed: return "CreateDXGIFactory1 failed";
        case OpenResult::OutputNotFound: return notFound;
        case OpenResult::DeviceFailed: return "D3D11CreateDevice failed";
        case OpenResult::OutputFailed: return "IDXGIOutput1 unavailable";
        case OpenResult::Ok: break;
        }
        return "";
    }
    enum class Duplicate {
        Ok,          // duplicated; the mode's size is reported
        Unavailable, // not for now: the secure desktop (a locked workstation,
                     // a UAC prompt), the limit of concurrent duplications or
                     // a disconnected session; worth trying again later
        Failed,      // any other failure
    };
    enum class Acquire {
        Frame,      // a new frame was copied into the destination
        Timeout,    // nothing new within the time-out
        AccessLost, // the duplication is gone (a desktop switch, a mode
                    // change, the secure desktop); it must be made again
        Failed,     // any other failure; the previous image stays
    };

    virtual ~ScreenCapture() = default;
    // Finds the output whose GDI device name (\\.\DISPLAYn, UTF-8) matches
    // exactly and creates a device on its adapter.
    virtual OpenResult open(const std::string& gdiName) = 0;
    // Releases any duplication and duplicates the output afresh; on success
    // reports the duplicated mode's size in pixels, which is the size of the
    // frames as they are delivered (the panel's own orientation), and how
    // the desktop is turned on them.
    virtual Duplicate duplicate(int32_t& width, int32_t& height, recorder::Rotation& rotation) = 0;
    virtual bool hasDuplication() const = 0;
    virtual void releaseDuplication() = 0;
    // Creates (or re-creates) the CPU-readable texture frames are copied into.
    virtual bool createStaging(int32_t width, int32_t height) = 0;
    // Waits up to timeoutMs for a new desktop frame. On Frame, the box of the
    // frame (the whole frame when box is null; in frame pixels, see
    // recorder::frameBox) has been copied into the staging texture and from
    // there into destination, turned upright by rotation
    // (recorder::copyUpright): destination holds the upright box's rows
    // packed. AccessLost releases the duplication.
    virtual Acquire acquire(uint32_t timeoutMs, const recorder::Crop* box, recorder::Rotation rotation,
                            uint8_t* destination) = 0;
    // Releases the duplication, the staging texture and the device.
    virtual void close() = 0;
};

// The MP4 writer: H.264 video and optionally AAC audio (Media Foundation's
// sink writer on Windows).
class EncoderSink {
public:
    enum class VideoResult { Ok, AddStreamFailed, InputTypeFailed };

    virtual ~EncoderSink() = default;
    // MFStartup. shutdown() releases the writer and undoes it; it is called
    // only after a successful startup().
    virtual bool startup() = 0;
    virtual void shutdown() = 0;
    // Creates the output file with throttling switched off.
    virtual bool create(const std::string& pathUtf8) = 0;
    // H.264 Main profile output from 32-bit BGR input (stride width × 4).
    virtual VideoResult addVideo(int32_t width, int32_t height, uint32_t fps, uint32_t bitrate) = 0;
    // AAC output (16,000 bytes a second) from 16-bit PCM input.
    virtual bool addAudio(uint32_t channels, uint32_t sampleRate) = 0;
    virtual bool beginWriting() = 0;
    // Each sample gets a fresh buffer; times and durations in 100 ns units.
    // Calls may come from two threads; the caller serialises them. False when
    // the sample could not be written (a full disk, a removed drive).
    virtual bool writeVideo(const uint8_t* pixels, size_t bytes, int64_t time, int64_t duration) = 0;
    virtual bool writeAudio(const int16_t* samples, size_t count, int64_t time, int64_t duration) = 0;
    // Finishes the file with what was written (the MP4 index goes last);
    // false when it could not be finished.
    virtual bool finalize() = 0;
    // Releases the writer without finishing the file and deletes the file it
    // created; for a file that holds nothing.
    virtual void discard() = 0;
    // The system's text for the last call that failed, as one line; empty
    // when the system has none.
    virtual std::string failureText() = 0;
};

// Loopback capture of the default playback device (console role), shared mode.
class AudioLoopback {
public:
    struct MixFormat {
        uint32_t channels = 0;
        uint32_t sampleRate = 0;
        uint32_t bitsPerSample = 0;
    };
    struct Packet {
        const uint8_t* data = nullptr;
        uint32_t frames = 0;
        bool silent = false;
        int64_t position100ns = 0; // the packet's performance-counter position
    };

    virtual ~AudioLoopback() = default;
    // Opens the default render endpoint and reads its mix format.
    virtual bool open(MixFormat& format) = 0;
    // Initialises loopback with a 200 ms buffer in the mix format and gets
    // the capture service.
    virtual bool initialize() = 0;
    virtual bool start() = 0;
    virtual void stop() = 0;
    // Frames in the next packet; false when the device has gone.
    virtual bool nextPacketSize(uint32_t& frames) = 0;
    virtual bool getBuffer(Packet& packet) = 0;
    virtual void releaseBuffer(uint32_t frames) = 0;
    virtual void close() = 0;
};

// Loading the NDI runtime library and finding its entry points.
class NdiLibrary {
public:
    virtual ~NdiLibrary() = default;
    // The environment variable's value (UTF-8) and its length in UTF-16
    // units; false when it is not set.
    virtual bool environment(const std::string& name, std::string& value, size_t& utf16Length) = 0;
    // The folder of the program's own executable, without a trailing separator.
    virtual std::string executableFolder() = 0;
    // Loads a library by full path, its dependencies searched from its own
    // folder first (LOAD_WITH_ALTERED_SEARCH_PATH).
    virtual bool loadFromPath(const std::string& path) = 0;
    // Loads a library by bare name from the system's safe default folders
    // only, never the current directory.
    virtual bool loadByName(const std::string& name) = 0;
    // An entry point of the loaded library, or null.
    virtual void* symbol(const char* name) = 0;
    // Frees the loaded library.
    virtual void unload() = 0;
};

// Makes the per-session objects; one recording or share gets its own set.
class CaptureBackend {
public:
    virtual ~CaptureBackend() = default;
    virtual CaptureClock& clock() = 0;
    virtual std::unique_ptr<ScreenCapture> screenCapture() = 0;
    virtual std::unique_ptr<EncoderSink> encoder() = 0;
    virtual std::unique_ptr<AudioLoopback> loopback() = 0;
};

} // namespace qv
