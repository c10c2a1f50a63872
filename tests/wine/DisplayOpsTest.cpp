// Display operations through the real adapter against Wine's user32. Wine
// drives one display; its SetDisplayConfig succeeds without doing anything and
// it reports the topology as internal.
#include "base/StrPrintf.h"
#include "display/DisplayManager.h"
#include "display/win32/Win32DisplayConfigApi.h"

#include <gtest/gtest.h>

#include <windows.h>

#include <string>
#include <vector>

namespace qv {
namespace {

// Exception code of a Wine function that is exported but not implemented.
constexpr DWORD ExceptionWineStub = 0x80000100;

// Runs one advanced colour request on a thread of its own. Where Wine exports
// DisplayConfigSetDeviceInfo as an unimplemented stub, the call raises an
// exception that would end the process; the probe thread is ended instead and
// the stub is reported.
struct ColourProbe {
    Win32DisplayConfigApi* api;
    Luid adapterId;
    uint32_t targetId;
    int32_t rc = 0;
    bool stub = false;
};

DWORD probeThreadId = 0;

LONG CALLBACK endProbeOnStub(EXCEPTION_POINTERS* info) {
    if (info->ExceptionRecord->ExceptionCode == ExceptionWineStub && GetCurrentThreadId() == probeThreadId)
        ExitThread(ExceptionWineStub);
    return EXCEPTION_CONTINUE_SEARCH;
}

DWORD WINAPI runProbe(void* parameter) {
    auto* probe = static_cast<ColourProbe*>(parameter);
    probe->rc = probe->api->setAdvancedColorState(probe->adapterId, probe->targetId, true);
    return 0;
}

void probeColour(ColourProbe& probe) {
    void* handler = AddVectoredExceptionHandler(1, endProbeOnStub);
    HANDLE thread = CreateThread(nullptr, 0, runProbe, &probe, CREATE_SUSPENDED, &probeThreadId);
    ASSERT_NE(thread, nullptr);
    ResumeThread(thread);
    WaitForSingleObject(thread, INFINITE);
    DWORD exitCode = 0;
    GetExitCodeThread(thread, &exitCode);
    CloseHandle(thread);
    RemoveVectoredExceptionHandler(handler);
    probe.stub = exitCode == ExceptionWineStub;
}

bool endsWith(const std::string& text, const std::string& tail) {
    return text.size() >= tail.size() && text.compare(text.size() - tail.size(), tail.size(), tail) == 0;
}

TEST(DisplayOpsWine, SetModeToTheCurrentMode) {
    Win32DisplayConfigApi api;
    DisplayManager manager(api);
    const std::vector<DisplayInfo> displays = manager.enumerate();
    ASSERT_FALSE(displays.empty());
    const DisplayInfo& display = displays.front();

    // Wine applies a mode from the list it offers; the current one is on it.
    const ActionResult result = manager.setMode(display.key, display.width, display.height, 0);
    ASSERT_TRUE(result.ok) << result.message;
    EXPECT_EQ(result.message, strprintf("%s set to %ux%u@%uHz", display.key.c_str(), display.width, display.height,
                                        display.refreshHz));
    ASSERT_TRUE(manager.find(display.key));
    EXPECT_EQ(manager.find(display.key)->width, display.width);
    EXPECT_EQ(manager.find(display.key)->height, display.height);
}

// Wine accepts every topology request without doing anything and reads the
// topology back as internal: the readback check is what tells the user.
TEST(DisplayOpsWine, SetProjectionIsCheckedAgainstTheTopologyReadBack) {
    Win32DisplayConfigApi api;
    DisplayManager manager(api);
    ASSERT_EQ(manager.currentProjection(), Projection::Internal);
    struct Case {
        Projection mode;
        bool ok;
        const char* message;
    };
    const Case cases[] = {
        {Projection::Internal, true, "Internal applied"},
        {Projection::Clone, false, "Applied Clone but readback shows Internal"},
        {Projection::Extend, false, "Applied Extend but readback shows Internal"},
        {Projection::External, false, "Applied External but readback shows Internal"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(projectionName(c.mode));
        const ActionResult result = manager.setProjection(c.mode);
        EXPECT_EQ(result.ok, c.ok);
        EXPECT_EQ(result.message, c.message);
    }
    EXPECT_FALSE(manager.enumerate().empty());
}

TEST(DisplayOpsWine, AdvancedColourRequestFailsWithErrorText) {
    Win32DisplayConfigApi api;
    DisplayManager manager(api);
    const std::vector<DisplayInfo> displays = manager.enumerate();
    ASSERT_FALSE(displays.empty());
    const DisplayInfo& display = displays.front();

    // Wine reports no advanced colour support, so the operation does not ask.
    if (!display.hdrSupported) {
        EXPECT_EQ(manager.setHdr(display.key, true).message, display.key + " doesn't support HDR / advanced color");
    }

    ColourProbe probe{&api, display.adapterId, display.targetId};
    probeColour(probe);
    if (probe.stub)
        GTEST_SKIP() << "this Wine exports DisplayConfigSetDeviceInfo as an unimplemented stub";
    const int32_t rc = probe.rc;
    ASSERT_NE(rc, 0) << "Wine accepted the advanced colour request";
    const std::string text = manager.errorText(static_cast<uint32_t>(rc));
    const std::string code = strprintf(" (0x%lX)", static_cast<unsigned long>(static_cast<uint32_t>(rc)));
    EXPECT_TRUE(endsWith(text, code)) << text;
    EXPECT_GT(text.size(), code.size()) << text;
}

// The attach path: a query of every path and a supplied configuration handed
// back through the adapter.
TEST(DisplayOpsWine, EnableQueriesAllPathsAndAppliesThem) {
    Win32DisplayConfigApi api;
    DisplayManager manager(api);
    const std::vector<DisplayInfo> displays = manager.enumerate();
    ASSERT_FALSE(displays.empty());
    const std::string key = displays.front().key;

    std::vector<PathInfo> paths;
    std::vector<ModeInfo> modes;
    DisplayManager::QueryStage stage = DisplayManager::QueryStage::Query;
    ASSERT_EQ(manager.queryConfig(dc::QdcAllPaths, paths, modes, nullptr, stage), dc::ErrorSuccess);
    ASSERT_FALSE(paths.empty());

    const ActionResult result = manager.setEnabled(key, true);
    EXPECT_TRUE(result.ok) << result.message;
    EXPECT_EQ(result.message, key + " enabled");
    EXPECT_EQ(manager.enumerate().size(), displays.size());
}

// The desktop as it is, read through the real adapter, is in effect: what
// enumeration reports and what the comparison expects agree, and nothing is
// staged.
TEST(DisplayOpsWine, TheCurrentArrangementIsAlreadyInEffect) {
    Win32DisplayConfigApi api;
    DisplayManager manager(api);
    const std::vector<DisplayPlacement> placements = manager.placementSnapshot();
    ASSERT_FALSE(placements.empty());

    const ActionResult result = manager.applyArrangement(placements);
    ASSERT_TRUE(result.ok) << result.message;
    EXPECT_EQ(result.message, DisplayManager::ArrangementInEffect);
    EXPECT_EQ(manager.placementSnapshot(), placements);
}

// An exact rate other than the one running. Where Wine reports a rate:
// staging with CDS_NORESET, the commit, then the path's rate handed over in a
// supplied configuration whose changed path has no target mode; Wine's
// SetDisplayConfig accepts it without changing the rate (or refuses it), and
// the answer says the rate was not reached. Where it reports none (Xvfb: 0 Hz
// and 0/1), the rate is kept as it is, as it always was, and the arrangement
// is in effect.
TEST(DisplayOpsWine, AnExactRateIsAskedForOnlyWhereTheRateIsKnown) {
    Win32DisplayConfigApi api;
    DisplayManager manager(api);
    std::vector<DisplayPlacement> placements = manager.placementSnapshot();
    ASSERT_FALSE(placements.empty());
    DisplayPlacement& first = placements.front();
    const RefreshRate running = first.refreshRate;
    // 59.94 Hz beside 60 Hz: the same whole rate for GDI, another exact one.
    first.refreshRate = RefreshRate{(first.refreshHz != 0 ? first.refreshHz : 60) * 1000, 1001};

    const ActionResult result = manager.applyArrangement(placements);
    if (!running.known()) {
        EXPECT_EQ(first.refreshHz, 0u);
        EXPECT_TRUE(result.ok) << result.message;
        EXPECT_EQ(result.message, DisplayManager::ArrangementInEffect);
        return;
    }
    EXPECT_FALSE(result.ok);
    const std::string applied = strprintf("Arrangement applied to %zu display(s); ", placements.size());
    const std::string ignored = first.key + " runs at " + manager.find(first.key)->refreshRate.text() + " Hz, not " +
                                first.refreshRate.text() + " Hz";
    const std::string refused = first.key + " refused " + first.refreshRate.text() + " Hz: ";
    EXPECT_TRUE(result.message == applied + ignored || result.message.rfind(applied + refused, 0) == 0)
        << result.message;
    first.refreshRate = running;
    EXPECT_EQ(manager.placementSnapshot(), placements);
}

} // namespace
} // namespace qv
