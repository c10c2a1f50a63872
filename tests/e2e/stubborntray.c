/* Test tool for tests/e2e/install.sh: a window of the program's tray class
 * ("QuorvaneTray") that ignores the registered "Quorvane_Quit" message, as a
 * hung program would.
 *
 *   stubborntray STOP   shows no window on screen, prints "running" once its
 *                       window exists and runs until the file STOP exists
 */
#include <windows.h>

#include <stdio.h>

static const wchar_t* stopFile;

static LRESULT CALLBACK windowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    if (message == WM_TIMER && GetFileAttributesW(stopFile) != INVALID_FILE_ATTRIBUTES) {
        PostQuitMessage(0);
        return 0;
    }
    return DefWindowProcW(window, message, wParam, lParam);
}

int wmain(int argc, wchar_t** argv) {
    if (argc != 2) {
        fprintf(stderr, "usage: stubborntray STOP\n");
        return 64;
    }
    stopFile = argv[1];
    WNDCLASSEXW windowClass = {sizeof windowClass};
    windowClass.lpfnWndProc = windowProc;
    windowClass.hInstance = GetModuleHandleW(NULL);
    windowClass.lpszClassName = L"QuorvaneTray";
    if (!RegisterClassExW(&windowClass)) return 2;
    HWND window = CreateWindowExW(WS_EX_TOOLWINDOW, L"QuorvaneTray", L"Quorvane", WS_POPUP, 0, 0, 0, 0, NULL, NULL,
                                  windowClass.hInstance, NULL);
    if (!window) return 2;
    SetTimer(window, 1, 100, NULL);
    printf("running\n");
    fflush(stdout);
    MSG message;
    while (GetMessageW(&message, NULL, 0, 0) > 0) DispatchMessageW(&message);
    return 0;
}
