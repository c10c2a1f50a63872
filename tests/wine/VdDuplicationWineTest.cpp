// The frame-rate probe's desktop duplication against Wine's DXGI and
// Direct3D 11: the output is found and the device made, and the
// duplication, which Wine does not implement, fails there cleanly.
#include "vdisplay/win32/Win32DesktopDuplication.h"

#include <gtest/gtest.h>

#include <windows.h>

namespace qv::vdisplay {
namespace {

TEST(VdDuplicationWineTest, StopsWhereWineStops) {
    using Start = DesktopDuplication::Start;
    using Frame = DesktopDuplication::Frame;
    struct Case {
        const char* gdiName;
        Start start;
        uint32_t hresult;
    };
    const Case cases[] = {
        {"\\\\.\\DISPLAY1", Start::DuplicateFailed, 0x80004001},  // E_NOTIMPL
        {"\\\\.\\DISPLAY9", Start::OutputNotFound, 0},
        {"", Start::OutputNotFound, 0},
    };
    Win32DesktopDuplication duplication;
    for (const Case& c : cases) {
        SCOPED_TRACE(c.gdiName);
        uint32_t hresult = 0;
        EXPECT_EQ(duplication.start(c.gdiName, hresult), c.start);
        EXPECT_EQ(hresult, c.hresult);
        // Nothing was started: taking a frame fails instead of crashing.
        hresult = 0;
        EXPECT_EQ(duplication.nextFrame(100, hresult), Frame::Failed);
        EXPECT_NE(hresult, 0u);
        duplication.stop();
    }
}

} // namespace
} // namespace qv::vdisplay
