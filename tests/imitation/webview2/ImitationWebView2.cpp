// The imitation WebView2 runtime library (see ImitationWebView2.h).
//
// Its objects are laid out by hand, slot by slot, from the published slot
// numbers of each interface, and share no declaration with the program's
// own WebView2 header: a method the program calls through a wrong slot lands
// on a stub here and the adapter tests see it.
#include "imitation/webview2/ImitationWebView2.h"

#include <objbase.h>

#include <cstring>
#include <cwchar>
#include <deque>
#include <functional>
#include <string>
#include <vector>

namespace {

ImitationWebView2Record record;

void resetRecord() {
    record = ImitationWebView2Record{};
    record.contextMenus = record.devTools = record.zoomControl = record.statusBar = -1;
    record.script = record.webMessages = -1;
}

struct RecordInit {
    RecordInit() { resetRecord(); }
} recordInit;

// QV_IMITATION_WEBVIEW2_SCRIPTS names a file that gets every script the host
// runs, one per line in UTF-8, so an end-to-end test can read what the pages
// were sent.
void logScript(const wchar_t* script) {
    wchar_t path[MAX_PATH] = {};
    const DWORD length = GetEnvironmentVariableW(L"QV_IMITATION_WEBVIEW2_SCRIPTS", path, MAX_PATH);
    if (length == 0 || length >= MAX_PATH) return;
    const int bytes = WideCharToMultiByte(CP_UTF8, 0, script, -1, nullptr, 0, nullptr, nullptr);
    if (bytes <= 1) return;
    std::string text(static_cast<size_t>(bytes), '\0');
    WideCharToMultiByte(CP_UTF8, 0, script, -1, text.data(), bytes, nullptr, nullptr);
    text.back() = '\n';
    HANDLE file = CreateFileW(path, FILE_APPEND_DATA, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, OPEN_ALWAYS,
                              FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file == INVALID_HANDLE_VALUE) return;
    DWORD written = 0;
    WriteFile(file, text.data(), static_cast<DWORD>(text.size()), &written, nullptr);
    CloseHandle(file);
}

std::wstring failure() {
    wchar_t value[32] = {};
    GetEnvironmentVariableW(L"QV_IMITATION_WEBVIEW2", value, 32);
    return value;
}

// --- Asynchronous answers: through the calling thread's message queue ------

std::deque<std::function<void()>> pending;
HWND queueWindow = nullptr;
constexpr UINT kRunPending = WM_APP + 7;

LRESULT CALLBACK queueProc(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam) {
    if (message == kRunPending && !pending.empty()) {
        std::function<void()> task = std::move(pending.front());
        pending.pop_front();
        task();
        return 0;
    }
    return DefWindowProcW(hwnd, message, wParam, lParam);
}

void later(std::function<void()> task) {
    if (queueWindow == nullptr) {
        WNDCLASSW windowClass{};
        windowClass.lpfnWndProc = queueProc;
        windowClass.hInstance = GetModuleHandleW(nullptr);
        windowClass.lpszClassName = L"QvImitationWebView2Queue";
        RegisterClassW(&windowClass);
        queueWindow = CreateWindowExW(0, windowClass.lpszClassName, L"", 0, 0, 0, 0, 0, HWND_MESSAGE, nullptr,
                                      windowClass.hInstance, nullptr);
    }
    pending.push_back(std::move(task));
    PostMessageW(queueWindow, kRunPending, 0, 0);
}

// --- COM objects by slot number ------------------------------------------------

constexpr GUID iid(unsigned long a, unsigned short b, unsigned short c, unsigned long long d) {
    return GUID{a, b, c,
                {static_cast<unsigned char>(d >> 56), static_cast<unsigned char>(d >> 48),
                 static_cast<unsigned char>(d >> 40), static_cast<unsigned char>(d >> 32),
                 static_cast<unsigned char>(d >> 24), static_cast<unsigned char>(d >> 16),
                 static_cast<unsigned char>(d >> 8), static_cast<unsigned char>(d)}};
}

constexpr GUID kEnvironment = iid(0xb96d755e, 0x0319, 0x4e92, 0xa29623436f46a1fcull);
constexpr GUID kController = iid(0x4d00c0d1, 0x9434, 0x4eb6, 0x80788697a560334full);
constexpr GUID kController2 = iid(0xc979903e, 0xd4ca, 0x4228, 0x92eb47ee3fa96eabull);
constexpr GUID kWebView = iid(0x76eceacb, 0x0462, 0x4d94, 0xac83423a6793775eull);
constexpr GUID kSettings = iid(0xe562e4f0, 0xd7fa, 0x43ac, 0x8d71c05150499f00ull);
constexpr GUID kMessageArgs = iid(0x0f99a40c, 0xe962, 0x4207, 0x9e92e3d542eff849ull);

using Slot = void*;
constexpr int kSlots = 64;

// Every object starts with its vtable pointer, then this header.
struct Object {
    Slot* vtable;
    LONG references;
    std::vector<GUID> answers; // besides IUnknown
    void (*destroy)(Object*);
};

// A slot the imitation does not implement.
HRESULT STDMETHODCALLTYPE notImplemented(void*) { return E_NOTIMPL; }

HRESULT STDMETHODCALLTYPE queryInterface(Object* self, REFIID wanted, void** out) {
    if (out == nullptr) return E_POINTER;
    bool known = IsEqualIID(wanted, IID_IUnknown);
    for (const GUID& answer : self->answers) known = known || IsEqualIID(wanted, answer);
    if (!known) {
        *out = nullptr;
        return E_NOINTERFACE;
    }
    ++self->references;
    *out = self;
    return S_OK;
}
ULONG STDMETHODCALLTYPE addRef(Object* self) { return static_cast<ULONG>(++self->references); }
ULONG STDMETHODCALLTYPE release(Object* self) {
    const LONG left = --self->references;
    if (left == 0) self->destroy(self);
    return static_cast<ULONG>(left);
}

// A vtable of stubs with IUnknown in slots 0 to 2; the caller fills its slots.
Slot* makeVtable() {
    static std::vector<Slot*> tables; // kept for the life of the library
    Slot* table = new Slot[kSlots];
    for (int i = 0; i < kSlots; ++i) table[i] = reinterpret_cast<Slot>(&notImplemented);
    table[0] = reinterpret_cast<Slot>(&queryInterface);
    table[1] = reinterpret_cast<Slot>(&addRef);
    table[2] = reinterpret_cast<Slot>(&release);
    tables.push_back(table);
    return table;
}

template <class Function>
Slot slot(Function function) {
    return reinterpret_cast<Slot>(function);
}

// Calls slot `index` of a COM object the program made (its handlers).
template <class Result, class... Args>
Result call(void* object, int index, Args... args) {
    auto function = reinterpret_cast<Result(STDMETHODCALLTYPE*)(void*, Args...)>((*static_cast<Slot**>(object))[index]);
    return function(object, args...);
}
void addRefOf(void* object) { call<ULONG>(object, 1); }
void releaseOf(void* object) { call<ULONG>(object, 2); }

// --- Settings: 4 script, 6 web messages, 10 status bar, 12 dev tools,
//     14 context menus, 18 zoom control (the put_ setters) -------------------------

struct Settings : Object {};

template <int ImitationWebView2Record::*Field>
HRESULT STDMETHODCALLTYPE putSetting(Settings*, BOOL on) {
    record.*Field = on ? 1 : 0;
    return S_OK;
}

Settings* newSettings() {
    static Slot* table = [] {
        Slot* t = makeVtable();
        t[4] = slot(&putSetting<&ImitationWebView2Record::script>);
        t[6] = slot(&putSetting<&ImitationWebView2Record::webMessages>);
        t[10] = slot(&putSetting<&ImitationWebView2Record::statusBar>);
        t[12] = slot(&putSetting<&ImitationWebView2Record::devTools>);
        t[14] = slot(&putSetting<&ImitationWebView2Record::contextMenus>);
        t[18] = slot(&putSetting<&ImitationWebView2Record::zoomControl>);
        return t;
    }();
    auto* settings = new Settings;
    *static_cast<Object*>(settings) = Object{table, 1, {kSettings}, [](Object* o) { delete static_cast<Settings*>(o); }};
    return settings;
}

// --- Web message event arguments: 4 get_WebMessageAsJson, 5 TryGetWebMessageAsString

struct MessageArgs : Object {
    std::wstring json;
};

HRESULT STDMETHODCALLTYPE messageAsJson(MessageArgs* self, LPWSTR* out) {
    if (out == nullptr) return E_POINTER;
    const size_t bytes = (self->json.size() + 1) * sizeof(wchar_t);
    *out = static_cast<LPWSTR>(CoTaskMemAlloc(bytes));
    if (*out == nullptr) return E_OUTOFMEMORY;
    std::memcpy(*out, self->json.c_str(), bytes);
    return S_OK;
}
HRESULT STDMETHODCALLTYPE messageAsString(MessageArgs*, LPWSTR* out) {
    if (out != nullptr) *out = nullptr;
    return E_INVALIDARG;
}

MessageArgs* newMessageArgs(const std::wstring& json) {
    static Slot* table = [] {
        Slot* t = makeVtable();
        t[4] = slot(&messageAsJson);
        t[5] = slot(&messageAsString);
        return t;
    }();
    auto* args = new MessageArgs;
    *static_cast<Object*>(args) = Object{table, 1, {kMessageArgs}, [](Object* o) { delete static_cast<MessageArgs*>(o); }};
    args->json = json;
    return args;
}

// --- The web view: 3 get_Settings, 6 NavigateToString, 15 add_NavigationCompleted,
//     29 ExecuteScript, 34 add_WebMessageReceived ----------------------------------

struct WebView : Object {
    bool closed = false;
    HWND child = nullptr;
    std::vector<void*> navigation; // handlers, one reference each
    std::vector<void*> messages;
};

std::vector<WebView*> liveViews;

void updateText(const WebView* view) {
    if (view->child == nullptr) return;
    wchar_t text[128];
    swprintf(text, 128, L"page=%zu state=%d shown=%d levels=%d", record.pageLength, record.statePushes,
             record.shownCalls, record.levelTicks);
    SetWindowTextW(view->child, text);
    InvalidateRect(view->child, nullptr, TRUE);
}

// The controller closed: the handlers are let go, as the runtime does.
void closeView(WebView* view) {
    view->closed = true;
    view->child = nullptr;
    for (void* handler : view->navigation) releaseOf(handler);
    for (void* handler : view->messages) releaseOf(handler);
    view->navigation.clear();
    view->messages.clear();
}

HRESULT STDMETHODCALLTYPE getSettings(WebView*, void** out) {
    if (out == nullptr) return E_POINTER;
    *out = newSettings();
    return S_OK;
}

HRESULT STDMETHODCALLTYPE navigateToString(WebView* self, LPCWSTR html) {
    if (html == nullptr) return E_INVALIDARG;
    ++record.navigations;
    record.pageLength = wcslen(html);
    wcsncpy(record.pageStart, html, 63);
    record.pageStart[63] = L'\0';
    updateText(self);
    addRef(self);
    later([self] {
        if (!self->closed)
            for (void* handler : self->navigation) call<HRESULT>(handler, 3, static_cast<void*>(self), nullptr);
        release(self);
    });
    return S_OK;
}

HRESULT addHandler(std::vector<void*>& list, void* handler, int64_t* token) {
    if (handler == nullptr || token == nullptr) return E_INVALIDARG;
    addRefOf(handler);
    list.push_back(handler);
    *token = static_cast<int64_t>(list.size());
    return S_OK;
}
HRESULT STDMETHODCALLTYPE addNavigationCompleted(WebView* self, void* handler, int64_t* token) {
    return addHandler(self->navigation, handler, token);
}
HRESULT STDMETHODCALLTYPE addWebMessageReceived(WebView* self, void* handler, int64_t* token) {
    return addHandler(self->messages, handler, token);
}

HRESULT STDMETHODCALLTYPE executeScript(WebView* self, LPCWSTR script, void*) {
    if (script == nullptr) return E_INVALIDARG;
    ++record.scripts;
    logScript(script);
    if (wcsncmp(script, L"window.qvState(", 15) == 0) ++record.statePushes;
    if (wcscmp(script, L"window.qvShown&&window.qvShown()") == 0) ++record.shownCalls;
    if (wcsncmp(script, L"window.qvLevels&&", 17) == 0) ++record.levelTicks;
    wcsncpy(record.lastScript, script, 127);
    record.lastScript[127] = L'\0';
    updateText(self);
    return S_OK;
}

// The page posts a message: every handler hears of it on the next dispatch.
void postFromPage(WebView* view, const std::wstring& json) {
    addRef(view);
    later([view, json] {
        if (!view->closed)
            for (void* handler : std::vector<void*>(view->messages)) {
                MessageArgs* args = newMessageArgs(json);
                call<HRESULT>(handler, 3, static_cast<void*>(view), static_cast<void*>(args));
                release(args);
            }
        release(view);
    });
}

WebView* newWebView() {
    static Slot* table = [] {
        Slot* t = makeVtable();
        t[3] = slot(&getSettings);
        t[6] = slot(&navigateToString);
        t[15] = slot(&addNavigationCompleted);
        t[29] = slot(&executeScript);
        t[34] = slot(&addWebMessageReceived);
        return t;
    }();
    auto* view = new WebView;
    *static_cast<Object*>(view) = Object{table, 1, {kWebView}, [](Object* o) {
                                             auto* v = static_cast<WebView*>(o);
                                             closeView(v);
                                             std::erase(liveViews, v);
                                             delete v;
                                         }};
    liveViews.push_back(view);
    return view;
}

// The child window that stands where the browser would draw: the default
// background colour and the record's counters. WM_COPYDATA carries a page
// message in.
LRESULT CALLBACK childProc(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam) {
    auto* view = reinterpret_cast<WebView*>(GetWindowLongPtrW(hwnd, GWLP_USERDATA));
    switch (message) {
    case WM_COPYDATA: {
        const auto* data = reinterpret_cast<const COPYDATASTRUCT*>(lParam);
        if (view == nullptr || data == nullptr || data->lpData == nullptr) return FALSE;
        postFromPage(view, std::wstring(static_cast<const wchar_t*>(data->lpData), data->cbData / sizeof(wchar_t)));
        return TRUE;
    }
    case WM_ERASEBKGND: {
        RECT client;
        GetClientRect(hwnd, &client);
        const uint32_t argb = record.background;
        HBRUSH brush = CreateSolidBrush(RGB((argb >> 16) & 0xFF, (argb >> 8) & 0xFF, argb & 0xFF));
        FillRect(reinterpret_cast<HDC>(wParam), &client, brush);
        DeleteObject(brush);
        return 1;
    }
    case WM_PAINT: {
        PAINTSTRUCT paint;
        HDC dc = BeginPaint(hwnd, &paint);
        wchar_t text[128] = {};
        GetWindowTextW(hwnd, text, 128);
        RECT client;
        GetClientRect(hwnd, &client);
        client.left += 16;
        client.top += 16;
        SetBkMode(dc, TRANSPARENT);
        SetTextColor(dc, RGB(230, 232, 240));
        DrawTextW(dc, L"Imitation WebView2 runtime", -1, &client, DT_LEFT | DT_TOP | DT_SINGLELINE);
        client.top += 24;
        DrawTextW(dc, text, -1, &client, DT_LEFT | DT_TOP | DT_SINGLELINE);
        EndPaint(hwnd, &paint);
        return 0;
    }
    default:
        return DefWindowProcW(hwnd, message, wParam, lParam);
    }
}

// --- The controller: 4 put_IsVisible, 6 put_Bounds, 24 Close, 25 get_CoreWebView2,
//     and of the second version 27 put_DefaultBackgroundColor ---------------------

struct Controller : Object {
    WebView* view = nullptr;
    HWND child = nullptr;
};

HRESULT STDMETHODCALLTYPE putIsVisible(Controller* self, BOOL visible) {
    if (self->child != nullptr) ShowWindow(self->child, visible ? SW_SHOW : SW_HIDE);
    return S_OK;
}

// A RECT is wider than a register: the x64 convention passes it by reference.
HRESULT STDMETHODCALLTYPE putBounds(Controller* self, const RECT* bounds) {
    if (bounds == nullptr) return E_POINTER;
    record.bounds = *bounds;
    ++record.boundsCalls;
    if (self->child != nullptr)
        MoveWindow(self->child, bounds->left, bounds->top, bounds->right - bounds->left, bounds->bottom - bounds->top,
                   TRUE);
    return S_OK;
}

HRESULT STDMETHODCALLTYPE closeController(Controller* self) {
    if (self->view == nullptr) return S_OK;
    ++record.controllersClosed;
    closeView(self->view);
    release(self->view);
    self->view = nullptr;
    if (IsWindow(self->child)) DestroyWindow(self->child);
    self->child = nullptr;
    return S_OK;
}

HRESULT STDMETHODCALLTYPE getCoreWebView2(Controller* self, void** out) {
    if (out == nullptr) return E_POINTER;
    *out = self->view;
    if (self->view == nullptr) return E_FAIL;
    addRef(self->view);
    return S_OK;
}

// The colour is four bytes in the order alpha, red, green, blue, passed in a register.
HRESULT STDMETHODCALLTYPE putDefaultBackgroundColor(Controller* self, uint32_t packed) {
    unsigned char bytes[4];
    std::memcpy(bytes, &packed, 4);
    record.background = (uint32_t(bytes[0]) << 24) | (uint32_t(bytes[1]) << 16) | (uint32_t(bytes[2]) << 8) | bytes[3];
    if (self->child != nullptr) InvalidateRect(self->child, nullptr, TRUE);
    return S_OK;
}

Controller* newController(HWND parent) {
    static Slot* table = [] {
        Slot* t = makeVtable();
        t[4] = slot(&putIsVisible);
        t[6] = slot(&putBounds);
        t[24] = slot(&closeController);
        t[25] = slot(&getCoreWebView2);
        t[27] = slot(&putDefaultBackgroundColor);
        return t;
    }();
    auto* controller = new Controller;
    *static_cast<Object*>(controller) = Object{table, 1, {kController, kController2}, [](Object* o) {
                                                   auto* c = static_cast<Controller*>(o);
                                                   closeController(c);
                                                   delete c;
                                               }};
    controller->view = newWebView();
    WNDCLASSW windowClass{};
    windowClass.lpfnWndProc = childProc;
    windowClass.hInstance = GetModuleHandleW(nullptr);
    windowClass.hCursor = LoadCursorW(nullptr, IDC_ARROW);
    windowClass.lpszClassName = L"QvImitationWebView";
    RegisterClassW(&windowClass);
    controller->child = CreateWindowExW(0, windowClass.lpszClassName, L"", WS_CHILD | WS_VISIBLE, 0, 0, 0, 0, parent,
                                        nullptr, windowClass.hInstance, nullptr);
    SetWindowLongPtrW(controller->child, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(controller->view));
    controller->view->child = controller->child;
    updateText(controller->view);
    return controller;
}

// --- The environment: 3 CreateCoreWebView2Controller ---------------------------------

struct Environment : Object {
    bool controllerFails = false;
};

HRESULT STDMETHODCALLTYPE createController(Environment* self, HWND parent, void* handler) {
    if (handler == nullptr || !IsWindow(parent)) return E_INVALIDARG;
    record.parent = parent;
    addRefOf(handler);
    addRef(self);
    later([self, parent, handler] {
        if (self->controllerFails || !IsWindow(parent)) {
            call<HRESULT>(handler, 3, E_FAIL, static_cast<void*>(nullptr));
        } else {
            Controller* controller = newController(parent);
            call<HRESULT>(handler, 3, S_OK, static_cast<void*>(controller));
            release(controller);
        }
        releaseOf(handler);
        release(self);
    });
    return S_OK;
}

Environment* newEnvironment(bool controllerFails) {
    static Slot* table = [] {
        Slot* t = makeVtable();
        t[3] = slot(&createController);
        return t;
    }();
    auto* environment = new Environment;
    *static_cast<Object*>(environment) =
        Object{table, 1, {kEnvironment}, [](Object* o) { delete static_cast<Environment*>(o); }};
    environment->controllerFails = controllerFails;
    return environment;
}

} // namespace

extern "C" {

__declspec(dllexport) HRESULT STDMETHODCALLTYPE CreateWebViewEnvironmentWithOptionsInternal(
    bool checkRunningInstance, int runtimeType, LPCWSTR userDataFolder, void*, void* handler) {
    ++record.environmentCalls;
    record.checkRunningInstance = checkRunningInstance ? 1 : 0;
    record.runtimeType = runtimeType;
    record.userDataFolder[0] = L'\0';
    if (userDataFolder != nullptr) {
        wcsncpy(record.userDataFolder, userDataFolder, MAX_PATH - 1);
        record.userDataFolder[MAX_PATH - 1] = L'\0';
    }
    const std::wstring fails = failure();
    if (fails == L"call") return HRESULT_FROM_WIN32(ERROR_FILE_NOT_FOUND);
    if (handler == nullptr) return E_INVALIDARG;
    addRefOf(handler);
    later([handler, fails] {
        if (fails == L"environment") {
            call<HRESULT>(handler, 3, HRESULT_FROM_WIN32(ERROR_ACCESS_DENIED), static_cast<void*>(nullptr));
        } else {
            Environment* environment = newEnvironment(fails == L"controller");
            call<HRESULT>(handler, 3, S_OK, static_cast<void*>(environment));
            release(environment);
        }
        releaseOf(handler);
    });
    return S_OK;
}

__declspec(dllexport) ImitationWebView2Record* ImitationWebView2State() { return &record; }

__declspec(dllexport) void ImitationWebView2Reset() { resetRecord(); }

__declspec(dllexport) void ImitationWebView2Post(const wchar_t* json) {
    if (json == nullptr) return;
    for (WebView* view : std::vector<WebView*>(liveViews)) postFromPage(view, json);
}

}
