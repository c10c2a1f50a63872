#include "sim/SimNdi.h"

#include "sim/NdiReference.h"

#include <chrono>
#include <cstring>
#include <thread>

namespace qv::sim {

namespace {

// The library the entry points report to.
SimNdiLibrary* g_library = nullptr;

size_t utf16Units(const std::string& utf8) {
    size_t units = 0;
    for (unsigned char c : utf8) {
        if ((c & 0xC0) == 0x80) continue; // continuation byte
        units += c >= 0xF0 ? 2 : 1;       // four-byte sequences need a surrogate pair
    }
    return units;
}

} // namespace

struct SimNdiLibrary::EntryPoints {
    static std::unique_lock<std::mutex> lock() { return std::unique_lock<std::mutex>(g_library->mutex_); }

    static bool initialize() {
        auto held = lock();
        ++g_library->initializeCalls_;
        return g_library->loadedBuild_ != SimNdiBuild::RefusesInitialize;
    }

    static void* sendCreate(const ndi_reference::SendCreate* settings) {
        auto held = lock();
        SimNdiSenderCreate create;
        create.name = settings->p_ndi_name ? settings->p_ndi_name : "";
        create.groupsNull = settings->p_groups == nullptr;
        create.clockVideo = settings->clock_video;
        create.clockAudio = settings->clock_audio;
        g_library->creates_.push_back(create);
        if (g_library->sendCreateFails_) return nullptr;
        // A distinct handle per sender; nobody looks behind it.
        return reinterpret_cast<void*>(static_cast<uintptr_t>(0x1000 + 0x10 * ++g_library->nextSender_));
    }

    static void sendDestroy(void* sender) {
        auto held = lock();
        g_library->destroyed_.push_back(sender);
    }

    static void sendVideo(void* sender, const ndi_reference::VideoFrameV2* video) {
        {
            auto held = lock();
            SimNdiFrame frame;
            frame.sender = sender;
            frame.xres = video->xres;
            frame.yres = video->yres;
            frame.fourCC = video->FourCC;
            frame.frameRateN = video->frame_rate_N;
            frame.frameRateD = video->frame_rate_D;
            frame.aspect = video->picture_aspect_ratio;
            frame.formatType = video->frame_format_type;
            frame.timecode = video->timecode;
            frame.stride = video->line_stride_in_bytes;
            frame.metadataNull = video->p_metadata == nullptr;
            frame.timestamp = video->timestamp;
            if (video->p_data && video->xres > 0 && video->yres > 0) {
                std::memcpy(&frame.firstPixel, video->p_data, 4);
                const size_t last = static_cast<size_t>(video->yres - 1) * static_cast<size_t>(video->line_stride_in_bytes) +
                                    static_cast<size_t>(video->xres - 1) * 4;
                std::memcpy(&frame.lastPixel, video->p_data + last, 4);
            }
            if (g_library->frames_.size() < kKeptFrames) g_library->frames_.push_back(frame);
            g_library->lastFrame_ = frame;
            ++g_library->framesSent_;
        }
        // The real runtime blocks here to pace the sender to its frame rate;
        // a short real pause keeps a streamer from spinning in tests.
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
    }

    static int connections(void*, uint32_t) {
        auto held = lock();
        ++g_library->connectionQueries_;
        return 0;
    }
};

SimNdiLibrary::SimNdiLibrary() { g_library = this; }

SimNdiLibrary::~SimNdiLibrary() {
    if (g_library == this) g_library = nullptr;
}

void SimNdiLibrary::setEnvironment(const std::string& name, const std::string& value) {
    std::lock_guard<std::mutex> lock(mutex_);
    environment_[name] = value;
}

void SimNdiLibrary::setExecutableFolder(const std::string& folder) {
    std::lock_guard<std::mutex> lock(mutex_);
    executableFolder_ = folder;
}

void SimNdiLibrary::placeLibrary(const std::string& path, SimNdiBuild build) {
    std::lock_guard<std::mutex> lock(mutex_);
    files_[path] = build;
}

void SimNdiLibrary::placeSystemLibrary(SimNdiBuild build) {
    std::lock_guard<std::mutex> lock(mutex_);
    systemHasLibrary_ = true;
    systemBuild_ = build;
}

void SimNdiLibrary::failSendCreate(bool fail) {
    std::lock_guard<std::mutex> lock(mutex_);
    sendCreateFails_ = fail;
}

std::vector<std::string> SimNdiLibrary::attempts() const {
    std::lock_guard<std::mutex> lock(mutex_);
    return attempts_;
}

std::string SimNdiLibrary::loadedNow() const {
    std::lock_guard<std::mutex> lock(mutex_);
    return loadedNow_;
}

int SimNdiLibrary::unloads() const {
    std::lock_guard<std::mutex> lock(mutex_);
    return unloads_;
}

int SimNdiLibrary::initializeCalls() const {
    std::lock_guard<std::mutex> lock(mutex_);
    return initializeCalls_;
}

int SimNdiLibrary::connectionQueries() const {
    std::lock_guard<std::mutex> lock(mutex_);
    return connectionQueries_;
}

std::vector<SimNdiSenderCreate> SimNdiLibrary::creates() const {
    std::lock_guard<std::mutex> lock(mutex_);
    return creates_;
}

std::vector<void*> SimNdiLibrary::destroyed() const {
    std::lock_guard<std::mutex> lock(mutex_);
    return destroyed_;
}

std::vector<SimNdiFrame> SimNdiLibrary::frames() const {
    std::lock_guard<std::mutex> lock(mutex_);
    return frames_;
}

size_t SimNdiLibrary::framesSent() const {
    std::lock_guard<std::mutex> lock(mutex_);
    return framesSent_;
}

SimNdiFrame SimNdiLibrary::lastFrame() const {
    std::lock_guard<std::mutex> lock(mutex_);
    return lastFrame_;
}

bool SimNdiLibrary::environment(const std::string& name, std::string& value, size_t& utf16Length) {
    std::lock_guard<std::mutex> lock(mutex_);
    const auto found = environment_.find(name);
    if (found == environment_.end()) return false;
    value = found->second;
    utf16Length = utf16Units(value);
    return true;
}

std::string SimNdiLibrary::executableFolder() {
    std::lock_guard<std::mutex> lock(mutex_);
    return executableFolder_;
}

bool SimNdiLibrary::load(const std::string& how, const SimNdiBuild* build) {
    attempts_.push_back(how);
    if (!build) return false;
    loadedNow_ = how;
    loadedBuild_ = *build;
    return true;
}

bool SimNdiLibrary::loadFromPath(const std::string& path) {
    std::lock_guard<std::mutex> lock(mutex_);
    const auto found = files_.find(path);
    return load("path " + path, found == files_.end() ? nullptr : &found->second);
}

bool SimNdiLibrary::loadByName(const std::string& name) {
    std::lock_guard<std::mutex> lock(mutex_);
    const bool there = systemHasLibrary_ && name == ndi_reference::kLibraryName;
    return load("name " + name, there ? &systemBuild_ : nullptr);
}

void* SimNdiLibrary::symbol(const char* name) {
    std::lock_guard<std::mutex> lock(mutex_);
    if (loadedNow_.empty()) return nullptr;
    const std::string wanted = name;
    if (wanted == "NDIlib_initialize") return reinterpret_cast<void*>(&EntryPoints::initialize);
    if (wanted == "NDIlib_send_create") return reinterpret_cast<void*>(&EntryPoints::sendCreate);
    if (wanted == "NDIlib_send_destroy") return reinterpret_cast<void*>(&EntryPoints::sendDestroy);
    if (wanted == "NDIlib_send_send_video_v2") return reinterpret_cast<void*>(&EntryPoints::sendVideo);
    if (wanted == "NDIlib_send_get_no_connections" && loadedBuild_ != SimNdiBuild::WithoutConnections)
        return reinterpret_cast<void*>(&EntryPoints::connections);
    return nullptr;
}

void SimNdiLibrary::unload() {
    std::lock_guard<std::mutex> lock(mutex_);
    loadedNow_.clear();
    ++unloads_;
}

} // namespace qv::sim
