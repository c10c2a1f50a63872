#pragma once
#include "capture/CapturePorts.h"

#include <cstddef>
#include <cstdint>
#include <map>
#include <mutex>
#include <string>
#include <vector>

namespace qv::sim {

// The NDI runtime library as the loader sees the machine: environment
// variables, the program's folder, library files at full paths or in the
// system's folders, and what each library holds. The entry points it hands
// out are plain functions that report to the SimNdiLibrary alive at the time
// (one at a time), keeping every sender made and every frame sent.

enum class SimNdiBuild {
    Complete,
    WithoutConnections, // lacks NDIlib_send_get_no_connections, as an old runtime does
    RefusesInitialize,  // NDIlib_initialize returns false
};

struct SimNdiSenderCreate {
    std::string name;
    bool groupsNull = false;
    bool clockVideo = false;
    bool clockAudio = false;
};

// One NDIlib_send_send_video_v2 call.
struct SimNdiFrame {
    void* sender = nullptr;
    int xres = 0;
    int yres = 0;
    uint32_t fourCC = 0;
    int frameRateN = 0;
    int frameRateD = 0;
    float aspect = 0.0f;
    int formatType = 0;
    int64_t timecode = 0;
    int stride = 0;
    bool metadataNull = false;
    int64_t timestamp = 0;
    uint32_t firstPixel = 0; // 0 without data
    uint32_t lastPixel = 0;  // the bottom-right pixel, read at the stride
};

class SimNdiLibrary final : public NdiLibrary {
public:
    static constexpr size_t kKeptFrames = 256;

    SimNdiLibrary();
    ~SimNdiLibrary() override;
    SimNdiLibrary(const SimNdiLibrary&) = delete;
    SimNdiLibrary& operator=(const SimNdiLibrary&) = delete;

    // The machine. Values are UTF-8; the UTF-16 length is worked out.
    void setEnvironment(const std::string& name, const std::string& value);
    void setExecutableFolder(const std::string& folder);
    // A library file at a full path.
    void placeLibrary(const std::string& path, SimNdiBuild build);
    // A library in the system's folders, found by its bare name.
    void placeSystemLibrary(SimNdiBuild build);
    // NDIlib_send_create returns null from now on.
    void failSendCreate(bool fail);

    // Every load asked for, in order: "path <full path>" or "name <bare name>".
    std::vector<std::string> attempts() const;
    // How the library loaded now was found ("path …" or "name …"); "" when none.
    std::string loadedNow() const;
    int unloads() const;
    int initializeCalls() const;
    int connectionQueries() const;
    std::vector<SimNdiSenderCreate> creates() const;
    std::vector<void*> destroyed() const;
    // The first kKeptFrames frames, the number sent and the last one.
    std::vector<SimNdiFrame> frames() const;
    size_t framesSent() const;
    SimNdiFrame lastFrame() const;

    // NdiLibrary
    bool environment(const std::string& name, std::string& value, size_t& utf16Length) override;
    std::string executableFolder() override;
    bool loadFromPath(const std::string& path) override;
    bool loadByName(const std::string& name) override;
    void* symbol(const char* name) override;
    void unload() override;

    // Used by the entry points.
    struct EntryPoints;

private:
    bool load(const std::string& how, const SimNdiBuild* build);

    mutable std::mutex mutex_;
    std::map<std::string, std::string> environment_;
    std::string executableFolder_;
    std::map<std::string, SimNdiBuild> files_;
    bool systemHasLibrary_ = false;
    SimNdiBuild systemBuild_ = SimNdiBuild::Complete;
    bool sendCreateFails_ = false;

    std::vector<std::string> attempts_;
    std::string loadedNow_;
    SimNdiBuild loadedBuild_ = SimNdiBuild::Complete;
    int unloads_ = 0;
    int initializeCalls_ = 0;
    int connectionQueries_ = 0;
    std::vector<SimNdiSenderCreate> creates_;
    std::vector<void*> destroyed_;
    std::vector<SimNdiFrame> frames_;
    size_t framesSent_ = 0;
    SimNdiFrame lastFrame_;
    int nextSender_ = 0;
};

} // namespace qv::sim
