/* Test tool for the tray end-to-end test, built by the test script itself.
 * It looks at the notification area from the outside, as the user sees it.
 *
 *   traytool icon     prints "x y", the screen centre of the first icon in
 *                     the notification area; exit code 2 when there is none
 *   traytool balloon  prints the notice balloon being shown as three lines:
 *                     "info" or "error", the title (empty where the tooltip
 *                     control cannot give it), the text; exit code 2 when no
 *                     balloon is shown
 *   traytool menus    prints the number of popup menus on the screen and the
 *                     rectangle "left top right bottom" of the first one
 */
#include <windows.h>
#include <commctrl.h>

#include <stdio.h>
#include <string.h>

static void print_utf8(const wchar_t* text) {
    char buffer[1024];
    int n = WideCharToMultiByte(CP_UTF8, 0, text, -1, buffer, sizeof buffer, NULL, NULL);
    if (n <= 0) buffer[0] = 0;
    printf("%s\n", buffer);
}

/* Without a system tray on the X server, Wine's X11 driver shows the icons
 * in a stand-alone tray window; with a Wine desktop they sit in its taskbar. */
static BOOL CALLBACK find_icon(HWND hwnd, LPARAM found) {
    wchar_t name[64];
    GetClassNameW(hwnd, name, 64);
    if ((wcscmp(name, L"__winex11_tray_icon") == 0 || wcscmp(name, L"__wine_tray_icon") == 0) &&
        IsWindowVisible(hwnd)) {
        *(HWND*)found = hwnd;
        return FALSE;
    }
    return TRUE;
}

static int icon(void) {
    static const wchar_t* const trays[] = {L"__winex11_standalone_tray", L"Shell_TrayWnd"};
    HWND found = NULL;
    RECT rect;
    int i;
    for (i = 0; i < 2 && !found; ++i) {
        HWND tray = FindWindowW(trays[i], NULL);
        if (tray) EnumChildWindows(tray, find_icon, (LPARAM)&found);
    }
    if (!found || !GetWindowRect(found, &rect)) return 2;
    printf("%ld %ld\n", (rect.left + rect.right) / 2, (rect.top + rect.bottom) / 2);
    return 0;
}

static BOOL CALLBACK find_balloon(HWND hwnd, LPARAM found) {
    wchar_t name[64];
    GetClassNameW(hwnd, name, 64);
    if (wcscmp(name, TOOLTIPS_CLASSW) == 0 && IsWindowVisible(hwnd) &&
        (GetWindowLongW(hwnd, GWL_STYLE) & TTS_BALLOON)) {
        *(HWND*)found = hwnd;
        return FALSE;
    }
    return TRUE;
}

/* TTI_ERROR when the window shows more red than blue pixels, TTI_INFO for
 * the opposite, TTI_NONE when it shows neither. */
static int icon_colour(HWND hwnd) {
    RECT rect;
    HDC screen, memory;
    HBITMAP bitmap;
    BITMAPINFO info;
    DWORD* pixels = NULL;
    int width, height, i, red = 0, blue = 0;

    if (!GetWindowRect(hwnd, &rect)) return TTI_NONE;
    width = rect.right - rect.left;
    height = rect.bottom - rect.top;
    if (width <= 0 || height <= 0) return TTI_NONE;
    memset(&info, 0, sizeof info);
    info.bmiHeader.biSize = sizeof info.bmiHeader;
    info.bmiHeader.biWidth = width;
    info.bmiHeader.biHeight = -height;
    info.bmiHeader.biPlanes = 1;
    info.bmiHeader.biBitCount = 32;
    info.bmiHeader.biCompression = BI_RGB;
    screen = GetDC(NULL);
    memory = CreateCompatibleDC(screen);
    bitmap = CreateDIBSection(screen, &info, DIB_RGB_COLORS, (void**)&pixels, NULL, 0);
    if (bitmap && pixels) {
        HGDIOBJ old = SelectObject(memory, bitmap);
        BitBlt(memory, 0, 0, width, height, screen, rect.left, rect.top, SRCCOPY);
        for (i = 0; i < width * height; ++i) {
            int r = (pixels[i] >> 16) & 0xFF, g = (pixels[i] >> 8) & 0xFF, b = pixels[i] & 0xFF;
            if (r > 150 && g < 110 && b < 110) ++red;
            if (b > 150 && r < 110) ++blue;
        }
        SelectObject(memory, old);
    }
    if (bitmap) DeleteObject(bitmap);
    DeleteDC(memory);
    ReleaseDC(NULL, screen);
    if (red == 0 && blue == 0) return TTI_NONE;
    return red > blue ? TTI_ERROR : TTI_INFO;
}

/* The balloon belongs to the shell's process: its title and text are asked
 * for with buffers placed in that process. */
static int balloon(void) {
    HWND hwnd = NULL;
    DWORD pid = 0;
    HANDLE process;
    BYTE* remote;
    TTGETTITLE title;
    TTTOOLINFOW tool;
    wchar_t title_text[128] = {0};
    wchar_t text[1024] = {0};
    SIZE_T done = 0;
    int kind;

    EnumWindows(find_balloon, (LPARAM)&hwnd);
    if (!hwnd) return 2;
    GetWindowThreadProcessId(hwnd, &pid);
    process = OpenProcess(PROCESS_VM_OPERATION | PROCESS_VM_READ | PROCESS_VM_WRITE, FALSE, pid);
    if (!process) return 3;
    remote = VirtualAllocEx(process, NULL, 8192, MEM_COMMIT | MEM_RESERVE, PAGE_READWRITE);
    if (!remote) return 3;

    memset(&title, 0, sizeof title);
    title.dwSize = sizeof title;
    title.cch = 127;
    title.pszTitle = (WCHAR*)(remote + 1024);
    WriteProcessMemory(process, remote, &title, sizeof title, &done);
    SendMessageW(hwnd, TTM_GETTITLE, 0, (LPARAM)remote);
    ReadProcessMemory(process, remote, &title, sizeof title, &done);
    ReadProcessMemory(process, remote + 1024, title_text, sizeof title_text - sizeof(wchar_t), &done);

    memset(&tool, 0, sizeof tool);
    tool.cbSize = sizeof tool;
    tool.lpszText = (WCHAR*)(remote + 2048);
    WriteProcessMemory(process, remote, &tool, sizeof tool, &done);
    SendMessageW(hwnd, TTM_ENUMTOOLSW, 0, (LPARAM)remote);
    ReadProcessMemory(process, remote + 2048, text, sizeof text - sizeof(wchar_t), &done);

    VirtualFreeEx(process, remote, 0, MEM_RELEASE);
    CloseHandle(process);

    /* Where the tooltip control does not answer TTM_GETTITLE (Wine), the
     * kind is told by the colour of the balloon's icon: the only coloured
     * thing in it, red for an error, blue for information. */
    kind = (int)title.uTitleBitmap;
    if (kind != TTI_INFO && kind != TTI_ERROR) kind = icon_colour(hwnd);
    printf("%s\n", kind == TTI_ERROR ? "error" : kind == TTI_INFO ? "info" : "other");
    print_utf8(title_text);
    print_utf8(text);
    return 0;
}

static BOOL CALLBACK count_menus(HWND hwnd, LPARAM state) {
    wchar_t name[16];
    LONG* s = (LONG*)state;
    GetClassNameW(hwnd, name, 16);
    if (wcscmp(name, L"#32768") == 0 && IsWindowVisible(hwnd)) {
        if (s[0]++ == 0) {
            RECT rect;
            GetWindowRect(hwnd, &rect);
            s[1] = rect.left;
            s[2] = rect.top;
            s[3] = rect.right;
            s[4] = rect.bottom;
        }
    }
    return TRUE;
}

static int menus(void) {
    LONG state[5] = {0};
    EnumWindows(count_menus, (LPARAM)state);
    printf("%ld %ld %ld %ld %ld\n", state[0], state[1], state[2], state[3], state[4]);
    return 0;
}

int main(int argc, char** argv) {
    if (argc == 2 && strcmp(argv[1], "icon") == 0) return icon();
    if (argc == 2 && strcmp(argv[1], "balloon") == 0) return balloon();
    if (argc == 2 && strcmp(argv[1], "menus") == 0) return menus();
    fprintf(stderr, "usage: traytool icon|balloon|menus\n");
    return 64;
}
