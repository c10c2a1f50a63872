// Test tool for tests/e2e/picker.sh: opens the region picker over the
// primary display and prints what it returned, "picked L T R B" in
// virtual-desktop pixels or "cancelled".
#include "ui/win32/Win32RegionPicker.h"

#include <windows.h>

#include <cstdio>

int main() {
    MONITORINFO info{};
    info.cbSize = sizeof info;
    if (!GetMonitorInfoW(MonitorFromPoint(POINT{0, 0}, MONITOR_DEFAULTTOPRIMARY), &info)) {
        std::printf("no primary display\n");
        return 1;
    }
    const qv::ScreenRect bounds{info.rcMonitor.left, info.rcMonitor.top, info.rcMonitor.right, info.rcMonitor.bottom};
    const auto instance = static_cast<uint64_t>(reinterpret_cast<uintptr_t>(GetModuleHandleW(nullptr)));
    qv::Win32RegionPicker picker;
    qv::ScreenRect result;
    if (picker.pick(instance, bounds, result)) {
        std::printf("picked %d %d %d %d\n", result.left, result.top, result.right, result.bottom);
    } else {
        std::printf("cancelled\n");
    }
    std::fflush(stdout);
    return 0;
}
