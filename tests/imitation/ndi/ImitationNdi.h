// An imitation of the NDI runtime library for the adapter tier, where Wine
// has no NDI. It exports the runtime's entry points under their names and
// keeps what it is asked to do in a record that a test reads through the
// extra export "ImitationNdiState". Built twice: complete, and without
// NDIlib_send_get_no_connections as an old runtime would be.
#pragma once
#include <cstdint>

extern "C" {

struct ImitationNdiRecord {
    int initializeCalls;
    // NDIlib_send_create's settings, as last given.
    int creates;
    char name[128];
    int groupsNull;
    int clockVideo;
    int clockAudio;
    int destroys;
    int connectionQueries;
    // NDIlib_send_send_video_v2: the count and the last frame's fields.
    int frames;
    int sameSender; // the frame went to the sender that was created
    int xres;
    int yres;
    uint32_t fourCC;
    int frameRateN;
    int frameRateD;
    float aspect;
    int formatType;
    int64_t timecode;
    int stride;
    int metadataNull;
    int64_t timestamp;
    uint32_t firstPixel;
    uint32_t lastPixel; // the bottom-right pixel, read at the stride
};

// The record; the same object for as long as the library stays loaded.
using ImitationNdiStateFn = ImitationNdiRecord* (*)();
}
