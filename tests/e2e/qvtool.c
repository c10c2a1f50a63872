/* Test tool for the end-to-end tests, built by the test script itself.
 *
 *   qvtool quit      posts the registered "Quorvane_Quit" message to the
 *                    running program's controller window ("QuorvaneTray");
 *                    exit code 0 when posted, 2 when no such window exists
 *   qvtool find      exit code 0 when the controller window exists, else 2
 *   qvtool elevated  prints 1 when this process's token is elevated, else 0,
 *                    as a reference for the program's start line
 *   qvtool window [TITLE L T W H]
 *                    shows a small window titled "qvtool focus" (or a plain
 *                    window with that title and rectangle) and runs until it
 *                    is closed: Wine delivers hotkeys only while one of its
 *                    windows has the keyboard focus. Prints a line
 *                    "WM_DISPLAYCHANGE BPP WIDTH HEIGHT" for every such
 *                    message it receives
 *   qvtool monitors  prints a line per monitor, "DEVICE L T R B primary|-"
 *                    (the monitor's rectangle) in the system's order
 *   qvtool rect TITLE
 *                    prints the state and rectangle of the first top-level
 *                    window with that title, "visible|hidden L T R B"; exit
 *                    code 2 when there is none
 *   qvtool place TITLE L T W H
 *                    moves that window to the rectangle without activating
 *                    it; exit code 2 when there is none
 *   qvtool front TITLE
 *                    makes that window the foreground window and waits up
 *                    to five seconds until Wine reports it as such (exit
 *                    code 4 if not; 2 when there is no such window): the
 *                    X focus alone does not always move Wine's foreground
 *   qvtool evacuate  does what Windows does when a monitor goes away and
 *                    Wine does not: every visible top-level window whose
 *                    rectangle meets no monitor any more is moved, keeping
 *                    its size, to the nearest place inside the primary
 *                    monitor's work area; prints "moved TITLE L T R B" for each
 *   qvtool displaychange
 *                    does the other half: sends WM_DISPLAYCHANGE (the
 *                    primary monitor's bits per pixel and size) to every
 *                    top-level window, as Windows broadcasts it after a
 *                    change of the displays; prints "BPP WIDTH HEIGHT"
 *   qvtool hold FILE STOP
 *                    opens FILE (environment variables expanded) without
 *                    sharing it, as an editor or a sync client may, prints
 *                    "held" and keeps it open until the file STOP exists;
 *                    exit code 2 when FILE cannot be opened
 *   qvtool flyout    prints the web flyout window's state and rectangle,
 *                    "visible|hidden LEFT TOP RIGHT BOTTOM", then the text
 *                    of the browser's child window (the imitation runtime
 *                    writes its counters there); exit code 2 when there is
 *                    no flyout window
 *   qvtool win CLASS prints the state and rectangle of the first top-level
 *                    window of the class, "visible|hidden L T R B"; exit
 *                    code 2 when there is none
 *   qvtool hide CLASS
 *                    hides the first top-level window of the class, as
 *                    the user closing a panel would; exit code 2 when none
 *   qvtool children CLASS
 *                    prints a line per child window of that window:
 *                    "ID L T R B enabled|disabled TEXT" (screen
 *                    coordinates, UTF-8 text); exit code 2 when none
 *   qvtool page JSON [CLASS]
 *                    sends JSON to the browser child of the flyout (or of
 *                    the window of that class) as a page message
 *                    (WM_COPYDATA, UTF-16), as the page's postMessage
 *                    would; exit code 2 when there is none
 *   qvtool command ID
 *                    posts WM_COMMAND with that id to the controller window,
 *                    as choosing the tray menu's item does; exit code 2 when
 *                    there is no controller window
 *   qvtool msgbox    prints the visible message box's title on one line,
 *                    then its text (UTF-8, line breaks as they are); exit
 *                    code 2 when no message box is shown
 *   qvtool answer ID presses the message box's button with that id (1 OK,
 *                    6 Yes, 7 No); exit code 2 when no message box is shown
 *   qvtool click CLASS ID
 *                    posts BN_CLICKED of the child with that id to the first
 *                    top-level window of the class, as clicking the button
 *                    does; exit code 2 when there is no such window or child
 *   qvtool iconclick posts the tray icon's callback message (0x8001) for a
 *                    left click to the controller window, as the shell
 *                    does, but without the focus going to a window of the
 *                    shell first; exit code 2 when there is no controller
 *                    window
 *   qvtool threads   prints the number of threads of the process that owns
 *                    the controller window; exit code 2 when there is none
 *   qvtool title CLASS
 *                    prints the title of the first top-level window of the
 *                    class (UTF-8); exit code 2 when there is none
 *   qvtool texts CLASS
 *                    prints the text of every window inside the first
 *                    top-level window of the class, nested dialogs
 *                    included, one line each (UTF-8; empty ones left out);
 *                    exit code 2 when there is none
 */
#include <windows.h>
#include <tlhelp32.h>

#include <stdio.h>
#include <stdlib.h>
#include <string.h>

static int quit(void) {
    HWND window = FindWindowW(L"QuorvaneTray", NULL);
    if (!window) return 2;
    return PostMessageW(window, RegisterWindowMessageW(L"Quorvane_Quit"), 0, 0) ? 0 : 3;
}

static int elevated(void) {
    HANDLE token = NULL;
    TOKEN_ELEVATION elevation = {0};
    DWORD size = 0;
    int value = 0;
    if (OpenProcessToken(GetCurrentProcess(), TOKEN_QUERY, &token)) {
        if (GetTokenInformation(token, TokenElevation, &elevation, sizeof elevation, &size)) {
            value = elevation.TokenIsElevated != 0;
        }
        CloseHandle(token);
    }
    printf("%d\n", value);
    return 0;
}

static LRESULT CALLBACK focusProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    if (message == WM_DISPLAYCHANGE) {
        printf("WM_DISPLAYCHANGE %u %u %u\n", (unsigned)wParam, (unsigned)LOWORD(lParam), (unsigned)HIWORD(lParam));
        fflush(stdout);
    }
    if (message == WM_DESTROY) {
        PostQuitMessage(0);
        return 0;
    }
    return DefWindowProcW(window, message, wParam, lParam);
}

static int window(const char* title, int x, int y, int width, int height) {
    WNDCLASSW wc = {0};
    wc.lpfnWndProc = focusProc;
    wc.hInstance = GetModuleHandleW(NULL);
    wc.hCursor = LoadCursorW(NULL, (LPCWSTR)IDC_ARROW);
    wc.hbrBackground = (HBRUSH)(COLOR_WINDOW + 1);
    wc.lpszClassName = L"QvtoolFocus";
    if (!RegisterClassW(&wc)) return 3;
    wchar_t text[256];
    MultiByteToWideChar(CP_UTF8, 0, title, -1, text, 256);
    HWND hwnd = CreateWindowExW(0, wc.lpszClassName, text, WS_OVERLAPPEDWINDOW, x, y, width, height, NULL, NULL,
                                wc.hInstance, NULL);
    if (!hwnd) return 3;
    ShowWindow(hwnd, SW_SHOWNORMAL);
    SetForegroundWindow(hwnd);
    SetFocus(hwnd);
    printf("shown\n");
    fflush(stdout);
    MSG msg;
    while (GetMessageW(&msg, NULL, 0, 0) > 0) {
        TranslateMessage(&msg);
        DispatchMessageW(&msg);
    }
    return 0;
}

static BOOL CALLBACK printMonitor(HMONITOR monitor, HDC dc, LPRECT rect, LPARAM unused) {
    (void)dc;
    (void)rect;
    (void)unused;
    MONITORINFOEXW info;
    memset(&info, 0, sizeof info);
    info.cbSize = sizeof info;
    if (!GetMonitorInfoW(monitor, (MONITORINFO*)&info)) return TRUE;
    char device[64] = {0};
    WideCharToMultiByte(CP_UTF8, 0, info.szDevice, -1, device, sizeof device, NULL, NULL);
    printf("%s %ld %ld %ld %ld %s\n", device, info.rcMonitor.left, info.rcMonitor.top, info.rcMonitor.right,
           info.rcMonitor.bottom, (info.dwFlags & MONITORINFOF_PRIMARY) ? "primary" : "-");
    return TRUE;
}

static int monitors(void) { return EnumDisplayMonitors(NULL, NULL, printMonitor, 0) ? 0 : 3; }

static HWND windowTitled(const char* title) {
    wchar_t text[256];
    MultiByteToWideChar(CP_UTF8, 0, title, -1, text, 256);
    return FindWindowW(NULL, text);
}

static int rect(const char* title) {
    HWND window = windowTitled(title);
    if (!window) return 2;
    RECT r;
    GetWindowRect(window, &r);
    printf("%s %ld %ld %ld %ld\n", IsWindowVisible(window) ? "visible" : "hidden", r.left, r.top, r.right, r.bottom);
    return 0;
}

static int place(const char* title, int x, int y, int width, int height) {
    HWND window = windowTitled(title);
    if (!window) return 2;
    return SetWindowPos(window, NULL, x, y, width, height, SWP_NOZORDER | SWP_NOACTIVATE) ? 0 : 3;
}

static int front(const char* title) {
    HWND window = windowTitled(title);
    if (!window) return 2;
    for (int i = 0; i < 50; ++i) {
        if (GetForegroundWindow() == window) return 0;
        SetForegroundWindow(window);
        Sleep(100);
    }
    return GetForegroundWindow() == window ? 0 : 4;
}

static BOOL CALLBACK evacuateOne(HWND window, LPARAM unused) {
    (void)unused;
    if (!IsWindowVisible(window) || IsIconic(window)) return TRUE;
    RECT r;
    if (!GetWindowRect(window, &r) || r.right <= r.left || r.bottom <= r.top) return TRUE;
    if (MonitorFromRect(&r, MONITOR_DEFAULTTONULL)) return TRUE;
    POINT origin = {0, 0};
    MONITORINFO info;
    memset(&info, 0, sizeof info);
    info.cbSize = sizeof info;
    if (!GetMonitorInfoW(MonitorFromPoint(origin, MONITOR_DEFAULTTOPRIMARY), &info)) return TRUE;
    const RECT work = info.rcWork;
    const long width = r.right - r.left;
    const long height = r.bottom - r.top;
    long x = r.left, y = r.top;
    /* Nearest place inside the work area; a window larger than it keeps its
       top left corner in it. */
    if (x > work.right - width) x = work.right - width;
    if (x < work.left) x = work.left;
    if (y > work.bottom - height) y = work.bottom - height;
    if (y < work.top) y = work.top;
    if (!SetWindowPos(window, NULL, x, y, width, height, SWP_NOZORDER | SWP_NOACTIVATE)) return TRUE;
    wchar_t text[256] = {0};
    GetWindowTextW(window, text, 256);
    char utf8[768] = {0};
    WideCharToMultiByte(CP_UTF8, 0, text, -1, utf8, sizeof utf8, NULL, NULL);
    printf("moved %s %ld %ld %ld %ld\n", utf8, x, y, x + width, y + height);
    return TRUE;
}

static int evacuate(void) { return EnumWindows(evacuateOne, 0) ? 0 : 3; }

static int displayChange(void) {
    /* The primary display's current mode, as Windows reports it with the message. */
    DEVMODEW mode;
    memset(&mode, 0, sizeof mode);
    mode.dmSize = sizeof mode;
    if (!EnumDisplaySettingsW(NULL, ENUM_CURRENT_SETTINGS, &mode)) return 3;
    const int bpp = (int)mode.dmBitsPerPel;
    const int width = (int)mode.dmPelsWidth;
    const int height = (int)mode.dmPelsHeight;
    DWORD_PTR ignored = 0;
    /* Sent, not posted, so that every window has handled it when the tool
       returns; a window that hangs is left after two seconds. */
    SendMessageTimeoutW(HWND_BROADCAST, WM_DISPLAYCHANGE, (WPARAM)bpp, MAKELPARAM(width, height), SMTO_ABORTIFHUNG,
                        2000, &ignored);
    printf("%d %d %d\n", bpp, width, height);
    return 0;
}

static int hold(const char* file, const char* stop) {
    char path[MAX_PATH];
    if (!ExpandEnvironmentStringsA(file, path, MAX_PATH)) return 3;
    HANDLE handle = CreateFileA(path, GENERIC_READ, 0, NULL, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, NULL);
    if (handle == INVALID_HANDLE_VALUE) return 2;
    printf("held\n");
    fflush(stdout);
    while (GetFileAttributesA(stop) == INVALID_FILE_ATTRIBUTES) Sleep(100);
    CloseHandle(handle);
    return 0;
}

static HWND flyoutBrowser(HWND flyout) {
    return flyout ? FindWindowExW(flyout, NULL, L"QvImitationWebView", NULL) : NULL;
}

static int flyout(void) {
    HWND window = FindWindowW(L"QuorvaneGlassFlyout", NULL);
    if (!window) return 2;
    RECT r;
    GetWindowRect(window, &r);
    printf("%s %ld %ld %ld %ld\n", IsWindowVisible(window) ? "visible" : "hidden", r.left, r.top, r.right, r.bottom);
    wchar_t text[256] = {0};
    HWND browser = flyoutBrowser(window);
    if (browser) GetWindowTextW(browser, text, 256);
    printf("%ls\n", text);
    return 0;
}

static int win(const char* className) {
    wchar_t name[256];
    MultiByteToWideChar(CP_UTF8, 0, className, -1, name, 256);
    HWND window = FindWindowW(name, NULL);
    if (!window) return 2;
    RECT r;
    GetWindowRect(window, &r);
    printf("%s %ld %ld %ld %ld\n", IsWindowVisible(window) ? "visible" : "hidden", r.left, r.top, r.right, r.bottom);
    return 0;
}

static int hide(const char* className) {
    wchar_t name[256];
    MultiByteToWideChar(CP_UTF8, 0, className, -1, name, 256);
    HWND window = FindWindowW(name, NULL);
    if (!window) return 2;
    ShowWindow(window, SW_HIDE);
    return 0;
}

static BOOL CALLBACK printChild(HWND child, LPARAM parent) {
    if (GetParent(child) != (HWND)parent) return TRUE;
    RECT r;
    GetWindowRect(child, &r);
    wchar_t text[512] = {0};
    GetWindowTextW(child, text, 512);
    char utf8[1024] = {0};
    WideCharToMultiByte(CP_UTF8, 0, text, -1, utf8, sizeof utf8, NULL, NULL);
    printf("%d %ld %ld %ld %ld %s %s\n", GetDlgCtrlID(child), r.left, r.top, r.right, r.bottom,
           IsWindowEnabled(child) ? "enabled" : "disabled", utf8);
    return TRUE;
}

static int children(const char* className) {
    wchar_t name[256];
    MultiByteToWideChar(CP_UTF8, 0, className, -1, name, 256);
    HWND window = FindWindowW(name, NULL);
    if (!window) return 2;
    EnumChildWindows(window, printChild, (LPARAM)window);
    return 0;
}

static BOOL CALLBACK printText(HWND child, LPARAM unused) {
    (void)unused;
    wchar_t text[512] = {0};
    if (GetWindowTextW(child, text, 512) > 0) {
        char utf8[1024] = {0};
        WideCharToMultiByte(CP_UTF8, 0, text, -1, utf8, sizeof utf8, NULL, NULL);
        printf("%s\n", utf8);
    }
    return TRUE;
}

static int texts(const char* className) {
    wchar_t name[256];
    MultiByteToWideChar(CP_UTF8, 0, className, -1, name, 256);
    HWND window = FindWindowW(name, NULL);
    if (!window) return 2;
    EnumChildWindows(window, printText, 0);
    return 0;
}

static int page(const char* json, const char* className) {
    wchar_t name[256];
    MultiByteToWideChar(CP_UTF8, 0, className, -1, name, 256);
    HWND browser = flyoutBrowser(FindWindowW(name, NULL));
    if (!browser) return 2;
    wchar_t text[1024];
    int length = MultiByteToWideChar(CP_UTF8, 0, json, -1, text, 1024);
    if (length <= 1) return 3;
    COPYDATASTRUCT data = {0, (DWORD)((length - 1) * sizeof(wchar_t)), text};
    return SendMessageW(browser, WM_COPYDATA, 0, (LPARAM)&data) ? 0 : 3;
}

/* A message box is a dialog of the class "#32770"; its text is the static
 * control with the id 0xFFFF. */
static BOOL CALLBACK findBox(HWND window, LPARAM found) {
    wchar_t name[16];
    GetClassNameW(window, name, 16);
    if (wcscmp(name, L"#32770") == 0 && IsWindowVisible(window) && GetDlgItem(window, 0xFFFF)) {
        *(HWND*)found = window;
        return FALSE;
    }
    return TRUE;
}

static HWND messageBox(void) {
    HWND found = NULL;
    EnumWindows(findBox, (LPARAM)&found);
    return found;
}

static void printUtf8(const wchar_t* text) {
    char utf8[4096] = {0};
    WideCharToMultiByte(CP_UTF8, 0, text, -1, utf8, sizeof utf8, NULL, NULL);
    fputs(utf8, stdout);
}

static int msgbox(void) {
    HWND box = messageBox();
    wchar_t text[2048] = {0};
    if (!box) return 2;
    GetWindowTextW(box, text, 2048);
    printUtf8(text);
    putchar('\n');
    GetDlgItemTextW(box, 0xFFFF, text, 2048);
    printUtf8(text);
    putchar('\n');
    return 0;
}

static int answer(const char* id) {
    HWND box = messageBox();
    if (!box) return 2;
    return PostMessageW(box, WM_COMMAND, MAKEWPARAM(atoi(id), BN_CLICKED), 0) ? 0 : 3;
}

static HWND windowOfClass(const char* className) {
    wchar_t name[256];
    MultiByteToWideChar(CP_UTF8, 0, className, -1, name, 256);
    return FindWindowW(name, NULL);
}

static int click(const char* className, const char* id) {
    HWND window = windowOfClass(className);
    HWND child = window ? GetDlgItem(window, atoi(id)) : NULL;
    if (!child) return 2;
    return PostMessageW(window, WM_COMMAND, MAKEWPARAM(atoi(id), BN_CLICKED), (LPARAM)child) ? 0 : 3;
}

static int threads(void) {
    HWND window = FindWindowW(L"QuorvaneTray", NULL);
    DWORD process = 0;
    if (!window || !GetWindowThreadProcessId(window, &process)) return 2;
    HANDLE snapshot = CreateToolhelp32Snapshot(TH32CS_SNAPTHREAD, 0);
    if (snapshot == INVALID_HANDLE_VALUE) return 3;
    THREADENTRY32 entry;
    memset(&entry, 0, sizeof entry);
    entry.dwSize = sizeof entry;
    int count = 0;
    for (BOOL more = Thread32First(snapshot, &entry); more; more = Thread32Next(snapshot, &entry))
        if (entry.th32OwnerProcessID == process) ++count;
    CloseHandle(snapshot);
    printf("%d\n", count);
    return 0;
}

static int title(const char* className) {
    HWND window = windowOfClass(className);
    wchar_t text[1024] = {0};
    if (!window) return 2;
    GetWindowTextW(window, text, 1024);
    printUtf8(text);
    putchar('\n');
    return 0;
}

static int command(const char* id) {
    HWND window = FindWindowW(L"QuorvaneTray", NULL);
    if (!window) return 2;
    return PostMessageW(window, WM_COMMAND, MAKEWPARAM(atoi(id), 0), 0) ? 0 : 3;
}

static int iconClick(void) {
    HWND window = FindWindowW(L"QuorvaneTray", NULL);
    if (!window) return 2;
    return PostMessageW(window, 0x8001, 0, WM_LBUTTONUP) ? 0 : 3;
}

int main(int argc, char** argv) {
    if (argc == 4 && strcmp(argv[1], "hold") == 0) return hold(argv[2], argv[3]);
    if (argc == 2 && strcmp(argv[1], "quit") == 0) return quit();
    if (argc == 2 && strcmp(argv[1], "find") == 0) return FindWindowW(L"QuorvaneTray", NULL) ? 0 : 2;
    if (argc == 2 && strcmp(argv[1], "elevated") == 0) return elevated();
    if (argc == 2 && strcmp(argv[1], "window") == 0) return window("qvtool focus", 100, 100, 320, 200);
    if (argc == 7 && strcmp(argv[1], "window") == 0)
        return window(argv[2], atoi(argv[3]), atoi(argv[4]), atoi(argv[5]), atoi(argv[6]));
    if (argc == 2 && strcmp(argv[1], "monitors") == 0) return monitors();
    if (argc == 3 && strcmp(argv[1], "rect") == 0) return rect(argv[2]);
    if (argc == 7 && strcmp(argv[1], "place") == 0)
        return place(argv[2], atoi(argv[3]), atoi(argv[4]), atoi(argv[5]), atoi(argv[6]));
    if (argc == 3 && strcmp(argv[1], "front") == 0) return front(argv[2]);
    if (argc == 2 && strcmp(argv[1], "evacuate") == 0) return evacuate();
    if (argc == 2 && strcmp(argv[1], "displaychange") == 0) return displayChange();
    if (argc == 2 && strcmp(argv[1], "flyout") == 0) return flyout();
    if (argc == 2 && strcmp(argv[1], "iconclick") == 0) return iconClick();
    if (argc == 3 && strcmp(argv[1], "page") == 0) return page(argv[2], "QuorvaneGlassFlyout");
    if (argc == 4 && strcmp(argv[1], "page") == 0) return page(argv[2], argv[3]);
    if (argc == 3 && strcmp(argv[1], "win") == 0) return win(argv[2]);
    if (argc == 3 && strcmp(argv[1], "children") == 0) return children(argv[2]);
    if (argc == 3 && strcmp(argv[1], "texts") == 0) return texts(argv[2]);
    if (argc == 3 && strcmp(argv[1], "hide") == 0) return hide(argv[2]);
    if (argc == 3 && strcmp(argv[1], "command") == 0) return command(argv[2]);
    if (argc == 4 && strcmp(argv[1], "click") == 0) return click(argv[2], argv[3]);
    if (argc == 2 && strcmp(argv[1], "threads") == 0) return threads();
    if (argc == 3 && strcmp(argv[1], "title") == 0) return title(argv[2]);
    if (argc == 2 && strcmp(argv[1], "msgbox") == 0) return msgbox();
    if (argc == 3 && strcmp(argv[1], "answer") == 0) return answer(argv[2]);
    fprintf(stderr, "usage: qvtool quit|find|elevated|window [TITLE L T W H]|monitors|rect TITLE|"
                    "place TITLE L T W H|front TITLE|evacuate|displaychange|hold FILE STOP|flyout|page JSON [CLASS]|win CLASS|"
                    "children CLASS|texts CLASS|hide CLASS|command ID|msgbox|answer ID|click CLASS ID|iconclick|threads|title CLASS\n");
    return 64;
}
