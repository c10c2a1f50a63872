#include "imitation/ndi/ImitationNdi.h"

#include <cstring>

// The runtime's structures as an x64 caller lays them out, declared here
// independently of the program's own declarations so the adapter test checks
// that the two agree.
struct SendCreateSettings {
    const char* name;
    const char* groups;
    bool clockVideo;
    bool clockAudio;
};

struct VideoFrame {
    int xres;
    int yres;
    uint32_t fourCC;
    int frameRateN;
    int frameRateD;
    float aspect;
    int formatType;
    int64_t timecode;
    uint8_t* data;
    int stride;
    const char* metadata;
    int64_t timestamp;
};

namespace {

ImitationNdiRecord g_record;
// What a sender handle points at.
int g_sender;

} // namespace

extern "C" {

__declspec(dllexport) ImitationNdiRecord* ImitationNdiState() { return &g_record; }

__declspec(dllexport) bool NDIlib_initialize() {
    ++g_record.initializeCalls;
    return true;
}

__declspec(dllexport) void* NDIlib_send_create(const SendCreateSettings* settings) {
    ++g_record.creates;
    std::memset(g_record.name, 0, sizeof g_record.name);
    if (settings->name) std::strncpy(g_record.name, settings->name, sizeof g_record.name - 1);
    g_record.groupsNull = settings->groups == nullptr;
    g_record.clockVideo = settings->clockVideo;
    g_record.clockAudio = settings->clockAudio;
    return &g_sender;
}

__declspec(dllexport) void NDIlib_send_destroy(void* sender) {
    if (sender == &g_sender) ++g_record.destroys;
}

__declspec(dllexport) void NDIlib_send_send_video_v2(void* sender, const VideoFrame* frame) {
    ++g_record.frames;
    g_record.sameSender = sender == &g_sender;
    g_record.xres = frame->xres;
    g_record.yres = frame->yres;
    g_record.fourCC = frame->fourCC;
    g_record.frameRateN = frame->frameRateN;
    g_record.frameRateD = frame->frameRateD;
    g_record.aspect = frame->aspect;
    g_record.formatType = frame->formatType;
    g_record.timecode = frame->timecode;
    g_record.stride = frame->stride;
    g_record.metadataNull = frame->metadata == nullptr;
    g_record.timestamp = frame->timestamp;
    g_record.firstPixel = 0;
    g_record.lastPixel = 0;
    if (frame->data && frame->xres > 0 && frame->yres > 0) {
        std::memcpy(&g_record.firstPixel, frame->data, 4);
        const size_t last = static_cast<size_t>(frame->yres - 1) * static_cast<size_t>(frame->stride) +
                            static_cast<size_t>(frame->xres - 1) * 4;
        std::memcpy(&g_record.lastPixel, frame->data + last, 4);
    }
}

#ifndef QV_IMITATION_NDI_WITHOUT_CONNECTIONS
__declspec(dllexport) int NDIlib_send_get_no_connections(void*, uint32_t) {
    ++g_record.connectionQueries;
    return 0;
}
#endif
}
