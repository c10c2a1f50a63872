// The display configuration adapter against Wine's real CCD, GDI and SetupAPI.
#include "display/DisplayManager.h"
#include "display/win32/Win32DisplayConfigApi.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace qv {
namespace {

TEST(DisplayConfigWine, QueriesTheActiveConfiguration) {
    Win32DisplayConfigApi api;
    uint32_t numPaths = 0;
    uint32_t numModes = 0;
    ASSERT_EQ(api.getBufferSizes(dc::QdcOnlyActivePaths, numPaths, numModes), dc::ErrorSuccess);
    ASSERT_GE(numPaths, 1u);

    DisplayManager manager(api);
    std::vector<PathInfo> paths;
    std::vector<ModeInfo> modes;
    ASSERT_TRUE(manager.queryActivePaths(paths, modes));
    ASSERT_FALSE(paths.empty());
    const PathInfo& path = paths.front();
    EXPECT_NE(path.flags & dc::PathActive, 0u);
    ASSERT_LT(path.sourceInfo.modeInfoIdx, modes.size());
    const ModeInfo& source = modes[path.sourceInfo.modeInfoIdx];
    EXPECT_EQ(source.infoType, dc::ModeInfoTypeSource);
    EXPECT_GT(source.sourceMode.width, 0u);
    EXPECT_GT(source.sourceMode.height, 0u);

    SourceDeviceName sourceName;
    ASSERT_EQ(api.getSourceName(path.sourceInfo.adapterId, path.sourceInfo.id, sourceName), dc::ErrorSuccess);
    EXPECT_EQ(sourceName.viewGdiDeviceName.rfind("\\\\.\\DISPLAY", 0), 0u) << sourceName.viewGdiDeviceName;

    TargetDeviceName targetName;
    ASSERT_EQ(api.getTargetName(path.targetInfo.adapterId, path.targetInfo.id, targetName), dc::ErrorSuccess);
    EXPECT_FALSE(targetName.monitorDevicePath.empty());

    DevMode current;
    ASSERT_TRUE(api.enumDisplaySettings(sourceName.viewGdiDeviceName, dc::EnumCurrentSettings, current));
    EXPECT_EQ(current.dmPelsWidth, source.sourceMode.width);
    EXPECT_EQ(current.dmPelsHeight, source.sourceMode.height);
}

TEST(DisplayConfigWine, EnumeratesDisplaysWithKeysAndModes) {
    Win32DisplayConfigApi api;
    DisplayManager manager(api);
    const std::vector<DisplayInfo> displays = manager.enumerate();
    ASSERT_FALSE(displays.empty());
    for (const DisplayInfo& display : displays) {
        SCOPED_TRACE(display.gdiName);
        EXPECT_FALSE(display.key.empty());
        EXPECT_FALSE(display.name.empty());
        EXPECT_FALSE(display.gdiName.empty());
        EXPECT_GT(display.width, 0u);
        EXPECT_GT(display.height, 0u);
        // The exact rate from the path agrees with GDI's whole one, within a
        // hertz; Wine on Xvfb knows neither (0 Hz, 0/1).
        const uint32_t exactHz = display.refreshRate.roundedHz();
        EXPECT_EQ(display.refreshRate.known(), display.refreshHz != 0)
            << display.refreshRate.numerator << "/" << display.refreshRate.denominator << " vs " << display.refreshHz;
        EXPECT_LE(exactHz > display.refreshHz ? exactHz - display.refreshHz : display.refreshHz - exactHz,
                  display.refreshHz != 0 ? 1u : 0u);
        EXPECT_FALSE(manager.modes(display.key).empty());
    }
    EXPECT_FALSE(manager.primaryKey().empty());
}

TEST(DisplayConfigWine, ReadsTheCurrentTopology) {
    Win32DisplayConfigApi api;
    DisplayManager manager(api);
    // Wine answers the database query with one internal display.
    EXPECT_NE(manager.currentProjection(), Projection::Unknown);
}

TEST(DisplayConfigWine, WalksTheMonitorDeviceClass) {
    Win32DisplayConfigApi api;
    std::unique_ptr<MonitorDeviceSet> devices = api.openMonitorDevices();
    ASSERT_NE(devices, nullptr);
    uint32_t count = 0;
    while (devices->enumDevice(count) && count < 64) {
        std::string id;
        if (devices->instanceId(count, id)) {
            EXPECT_FALSE(id.empty());
        }
        ++count;
    }
    if (count == 0)
        GTEST_SKIP() << "Wine lists no monitor devices in this prefix";
}

TEST(DisplayConfigWine, ErrorTextComesFromTheSystemTable) {
    Win32DisplayConfigApi api;
    DisplayManager manager(api);
    const std::string text = manager.errorText(87);
    const std::string suffix = " (0x57)";
    ASSERT_GT(text.size(), suffix.size());
    EXPECT_EQ(text.compare(text.size() - suffix.size(), suffix.size(), suffix), 0) << text;
    const char last = text[text.size() - suffix.size() - 1];
    EXPECT_NE(last, '.');
    EXPECT_NE(last, '\n');
    EXPECT_FALSE(api.formatSystemMessage(87).empty());
}

} // namespace
} // namespace qv
