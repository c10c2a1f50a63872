#pragma once
#include <cstddef>
#include <cstdint>

// The NDI runtime's interface as docs.ndi.video describes it (the SDK's
// "Sending Video" and "Video Frames" pages: NDIlib_send_create_t,
// NDIlib_video_frame_v2_t, NDIlib_FourCC_video_type_BGRA), written for the
// simulation on its own rather than taken from the program's declarations,
// so a wrong field or value there does not agree with itself here.
namespace qv::sim::ndi_reference {

constexpr char kLibraryName[] = "Processing.NDI.Lib.x64.dll";

// NDIlib_send_create_t
struct SendCreate {
    const char* p_ndi_name;
    const char* p_groups;
    bool clock_video;
    bool clock_audio;
};

// NDIlib_video_frame_v2_t, x64
struct VideoFrameV2 {
    int xres;
    int yres;
    uint32_t FourCC;
    int frame_rate_N;
    int frame_rate_D;
    float picture_aspect_ratio;
    int frame_format_type;
    int64_t timecode;
    uint8_t* p_data;
    int line_stride_in_bytes;
    const char* p_metadata;
    int64_t timestamp;
};
static_assert(offsetof(VideoFrameV2, timecode) == 32 && offsetof(VideoFrameV2, p_data) == 40 &&
                  offsetof(VideoFrameV2, line_stride_in_bytes) == 48 && offsetof(VideoFrameV2, p_metadata) == 56 &&
                  offsetof(VideoFrameV2, timestamp) == 64 && sizeof(VideoFrameV2) == 72,
              "x64 layout");

// NDI_LIB_FOURCC('B', 'G', 'R', 'A')
constexpr uint32_t kFourCcBgra = 'B' | ('G' << 8) | ('R' << 16) | (static_cast<uint32_t>('A') << 24);
// NDIlib_frame_format_type_progressive
constexpr int kFormatProgressive = 1;
// NDIlib_send_timecode_synthesize
constexpr int64_t kTimecodeSynthesize = INT64_MAX;

} // namespace qv::sim::ndi_reference
