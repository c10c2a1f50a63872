#pragma once
#include "capture/CapturePorts.h"

#include <cstdint>
#include <mutex>
#include <string>

namespace qv {

// The NDI runtime's structures as the x64 library expects them, checked
// against docs.ndi.video (NDIlib_send_create_t, NDIlib_video_frame_v2_t).
struct NdiSendCreate {
    const char* p_ndi_name = nullptr;
    const char* p_groups = nullptr;
    bool clock_video = true;
    bool clock_audio = false;
};

struct NdiVideoFrameV2 {
    int xres = 0;
    int yres = 0;
    uint32_t FourCC = 0;
    int frame_rate_N = 0;
    int frame_rate_D = 0;
    float picture_aspect_ratio = 0.0f;
    int frame_format_type = 0;
    int64_t timecode = 0;
    uint8_t* p_data = nullptr;
    int line_stride_in_bytes = 0;
    const char* p_metadata = nullptr;
    int64_t timestamp = 0;
};
static_assert(sizeof(NdiVideoFrameV2) == 72, "the runtime reads 72 bytes");

// Finds, loads and checks the NDI runtime once per process; every failed
// attempt is forgotten, so the next call tries again (after the user installed
// it). Safe to call from any thread.
class NdiRuntime {
public:
    static constexpr const char* kLibraryName = "Processing.NDI.Lib.x64.dll";

    using InitializeFn = bool (*)();
    using SendCreateFn = void* (*)(const NdiSendCreate*);
    using SendDestroyFn = void (*)(void*);
    using SendVideoFn = void (*)(void*, const NdiVideoFrameV2*);
    using ConnectionsFn = int (*)(void*, uint32_t);

    explicit NdiRuntime(NdiLibrary& library) : library_(library) {}
    NdiRuntime(const NdiRuntime&) = delete;
    NdiRuntime& operator=(const NdiRuntime&) = delete;

    // True when the runtime is loaded and initialised. runtimeMissing (when
    // given) is set to whether no library was found or the one found lacks an
    // entry point; error (when given) receives a failed attempt's text.
    bool ensureRuntime(bool* runtimeMissing = nullptr, std::string* error = nullptr);

    // Entry points, valid once ensureRuntime() has returned true.
    SendCreateFn sendCreate() const { return sendCreate_; }
    SendDestroyFn sendDestroy() const { return sendDestroy_; }
    SendVideoFn sendVideo() const { return sendVideo_; }
    bool loaded() const;

private:
    bool findLibrary();
    bool load();
    void forget();

    NdiLibrary& library_;
    mutable std::mutex mutex_;
    bool libraryOpen_ = false; // the library holds a loaded module
    bool loaded_ = false;
    bool missing_ = false;
    std::string lastError_;
    InitializeFn initialize_ = nullptr;
    SendCreateFn sendCreate_ = nullptr;
    SendDestroyFn sendDestroy_ = nullptr;
    SendVideoFn sendVideo_ = nullptr;
    ConnectionsFn connections_ = nullptr;
};

// One NDI source: created with a name, sent BGRA frames, destroyed.
class NdiSender {
public:
    explicit NdiSender(NdiRuntime& runtime) : runtime_(runtime) {}
    ~NdiSender() { destroySender(); }
    NdiSender(const NdiSender&) = delete;
    NdiSender& operator=(const NdiSender&) = delete;

    bool createSender(const std::string& name);
    void destroySender();
    // Hands one frame to the runtime, which copies it and paces to fps.
    void sendFrame(const uint8_t* pixels, int32_t width, int32_t height, int32_t stride, double fps);
    const std::string& error() const { return error_; }

private:
    NdiRuntime& runtime_;
    void* instance_ = nullptr;
    std::string name_;
    std::string error_;
};

} // namespace qv
