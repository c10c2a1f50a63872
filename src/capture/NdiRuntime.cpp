#include "capture/NdiRuntime.h"

#include "base/Log.h"

#include <climits>
#include <cmath>

namespace qv {

namespace {

constexpr const char* kTooOld =
    "The installed NDI runtime is missing required entry points (too old?). Install the NDI 6 Runtime.";
constexpr const char* kInitializeRefused =
    "NDIlib_initialize() returned false. This CPU may be unsupported (NDI requires SSSE3).";
constexpr const char* kNotFound =
    "The NDI 6 runtime was not found. Install the free NDI Runtime (https://ndi.video/tools/), or set "
    "NDI_RUNTIME_DIR_V6 to the folder containing Processing.NDI.Lib.x64.dll.";

// The variables the runtime installers set to the runtime's folder (NDI 6,
// then NDI 5, same library name), in the order they are tried. Checked against
// docs.ndi.video "Dynamic Loading of NDI Libraries": NDILIB_REDIST_FOLDER is
// only the SDK's macro that names the variable, never a variable itself.
constexpr const char* kFolderVariables[] = {"NDI_RUNTIME_DIR_V6", "NDI_RUNTIME_DIR_V5"};
// Longer values would not leave room for the file name in a classic path.
constexpr size_t kMaxFolderUnits = 259;

// ASCII 'B', 'G', 'R', 'A' read as a little-endian 32-bit code, and
// progressive frames (docs.ndi.video, NDIlib_FourCC_video_type_BGRA and
// NDIlib_frame_format_type_progressive).
constexpr uint32_t kFourCCBgra = 0x41524742;
constexpr int kProgressive = 1;

std::string libraryPath(const std::string& folder) {
    const char last = folder.back();
    const bool separated = last == '\\' || last == '/';
    return folder + (separated ? "" : "\\") + NdiRuntime::kLibraryName;
}

template <class Function>
Function entryPoint(NdiLibrary& library, const char* name) {
    return reinterpret_cast<Function>(library.symbol(name));
}

} // namespace

bool NdiRuntime::ensureRuntime(bool* runtimeMissing, std::string* error) {
    std::lock_guard<std::mutex> lock(mutex_);
    if (!loaded_) {
        missing_ = false;
        lastError_.clear();
        if (!load()) {
            forget();
            if (error) *error = lastError_;
        }
    }
    if (runtimeMissing) *runtimeMissing = !loaded_ && missing_;
    return loaded_;
}

bool NdiRuntime::loaded() const {
    std::lock_guard<std::mutex> lock(mutex_);
    return loaded_;
}

bool NdiRuntime::findLibrary() {
    for (const char* variable : kFolderVariables) {
        std::string folder;
        size_t units = 0;
        if (!library_.environment(variable, folder, units)) continue;
        if (units < 1 || units > kMaxFolderUnits || folder.empty()) continue;
        if (library_.loadFromPath(libraryPath(folder))) return true;
    }
    // Without a folder the path would name the current drive's root.
    const std::string executableFolder = library_.executableFolder();
    if (!executableFolder.empty() && library_.loadFromPath(libraryPath(executableFolder))) return true;
    // The bare name, from the system's default folders only: a library
    // planted in the current directory is never picked up.
    return library_.loadByName(kLibraryName);
}

bool NdiRuntime::load() {
    if (!findLibrary()) {
        missing_ = true;
        lastError_ = kNotFound;
        return false;
    }
    libraryOpen_ = true;

    // Export names checked against docs.ndi.video (the NDI SDK's send functions).
    initialize_ = entryPoint<InitializeFn>(library_, "NDIlib_initialize");
    sendCreate_ = entryPoint<SendCreateFn>(library_, "NDIlib_send_create");
    sendDestroy_ = entryPoint<SendDestroyFn>(library_, "NDIlib_send_destroy");
    sendVideo_ = entryPoint<SendVideoFn>(library_, "NDIlib_send_send_video_v2");
    // Required as a sign of a current runtime, never called.
    connections_ = entryPoint<ConnectionsFn>(library_, "NDIlib_send_get_no_connections");
    if (!initialize_ || !sendCreate_ || !sendDestroy_ || !sendVideo_ || !connections_) {
        missing_ = true;
        lastError_ = kTooOld;
        return false;
    }
    if (!initialize_()) {
        lastError_ = kInitializeRefused;
        return false;
    }
    loaded_ = true;
    log::write(log::Info, "NDI runtime loaded and initialized");
    return true;
}

void NdiRuntime::forget() {
    if (libraryOpen_) library_.unload();
    libraryOpen_ = false;
    initialize_ = nullptr;
    sendCreate_ = nullptr;
    sendDestroy_ = nullptr;
    sendVideo_ = nullptr;
    connections_ = nullptr;
}

bool NdiSender::createSender(const std::string& name) {
    if (instance_) return true;
    error_.clear();
    if (!runtime_.ensureRuntime(nullptr, &error_)) return false;
    if (name.empty()) {
        error_ = "NDI sender name must not be empty";
        return false;
    }
    NdiSendCreate settings;
    settings.p_ndi_name = name.c_str();
    settings.p_groups = nullptr;
    settings.clock_video = true;
    settings.clock_audio = false;
    instance_ = runtime_.sendCreate()(&settings);
    if (!instance_) {
        error_ = "NDIlib_send_create() returned NULL. A sender with this name may already exist, or NDI discovery "
                 "(mDNS) is blocked by the firewall.";
        return false;
    }
    name_ = name;
    return true;
}

void NdiSender::destroySender() {
    if (instance_ && runtime_.loaded()) runtime_.sendDestroy()(instance_);
    instance_ = nullptr;
}

void NdiSender::sendFrame(const uint8_t* pixels, int32_t width, int32_t height, int32_t stride, double fps) {
    if (!instance_ || !pixels || width < 1 || height < 1) return;
    if (!(fps > 0.0)) return; // not-a-number too
    // A rate or a row size the structure's int cannot hold is refused, as is
    // a rate that truncates to zero frames a second.
    const double rate = std::trunc(fps * 1000.0);
    if (!(rate >= 1.0 && rate <= static_cast<double>(INT_MAX))) return;
    if (stride <= 0 && width > INT_MAX / 4) return;

    NdiVideoFrameV2 frame;
    frame.xres = width;
    frame.yres = height;
    frame.FourCC = kFourCCBgra;
    frame.frame_rate_N = static_cast<int>(rate);
    frame.frame_rate_D = 1000;
    frame.picture_aspect_ratio = static_cast<float>(width) / static_cast<float>(height);
    frame.frame_format_type = kProgressive;
    // The runtime makes the time code itself.
    frame.timecode = INT64_MAX;
    // The runtime only reads the pixels, and copies them before returning.
    frame.p_data = const_cast<uint8_t*>(pixels);
    frame.line_stride_in_bytes = stride > 0 ? stride : width * 4;
    frame.p_metadata = nullptr;
    frame.timestamp = 0;
    runtime_.sendVideo()(instance_, &frame);
}

} // namespace qv
