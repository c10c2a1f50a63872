#pragma once
// The WebView2 interfaces the web panels use, declared here from the public
// reference because mingw-w64 has no WebView2 header. Each interface lists
// its methods in vtable order; slots the program never calls are kept as
// placeholders so the slots that follow keep their numbers. Slot numbers in
// the comments count from 0, with 0–2 being IUnknown. IIDs and slot orders
// checked against learn.microsoft.com's WebView2 Win32 reference (IIDs) and the
// vtable order of jchv/go-webview2 and wailsapp/go-webview2 pkg/edge.

#include <windows.h>
#include <unknwn.h>

#include <cstdint>

// COM interfaces are released, never deleted through a base pointer, and a
// virtual destructor would take a vtable slot of its own.
#pragma GCC diagnostic push
#pragma GCC diagnostic ignored "-Wnon-virtual-dtor"

namespace qv::wv2 {

struct EventToken {
    int64_t value;
};

// Opaque byte order as the runtime expects it: alpha, red, green, blue.
struct Color {
    BYTE a;
    BYTE r;
    BYTE g;
    BYTE b;
};

// {b96d755e-0319-4e92-a296-23436f46a1fc}
inline constexpr GUID kIidEnvironment = {0xb96d755e, 0x0319, 0x4e92, {0xa2, 0x96, 0x23, 0x43, 0x6f, 0x46, 0xa1, 0xfc}};
// {4e8a3389-c9d8-4bd2-b6b5-124fee6cc14d}
inline constexpr GUID kIidEnvironmentCompletedHandler = {
    0x4e8a3389, 0xc9d8, 0x4bd2, {0xb6, 0xb5, 0x12, 0x4f, 0xee, 0x6c, 0xc1, 0x4d}};
// {6c4819f3-c9b7-4260-8127-c9f5bde7f68c}
inline constexpr GUID kIidControllerCompletedHandler = {
    0x6c4819f3, 0xc9b7, 0x4260, {0x81, 0x27, 0xc9, 0xf5, 0xbd, 0xe7, 0xf6, 0x8c}};
// {4d00c0d1-9434-4eb6-8078-8697a560334f}
inline constexpr GUID kIidController = {0x4d00c0d1, 0x9434, 0x4eb6, {0x80, 0x78, 0x86, 0x97, 0xa5, 0x60, 0x33, 0x4f}};
// {c979903e-d4ca-4228-92eb-47ee3fa96eab}
inline constexpr GUID kIidController2 = {0xc979903e, 0xd4ca, 0x4228, {0x92, 0xeb, 0x47, 0xee, 0x3f, 0xa9, 0x6e, 0xab}};
// {76eceacb-0462-4d94-ac83-423a6793775e}
inline constexpr GUID kIidWebView = {0x76eceacb, 0x0462, 0x4d94, {0xac, 0x83, 0x42, 0x3a, 0x67, 0x93, 0x77, 0x5e}};
// {e562e4f0-d7fa-43ac-8d71-c05150499f00}
inline constexpr GUID kIidSettings = {0xe562e4f0, 0xd7fa, 0x43ac, {0x8d, 0x71, 0xc0, 0x51, 0x50, 0x49, 0x9f, 0x00}};
// {57213f19-00e6-49fa-8e07-898ea01ecbd2}
inline constexpr GUID kIidWebMessageReceivedHandler = {
    0x57213f19, 0x00e6, 0x49fa, {0x8e, 0x07, 0x89, 0x8e, 0xa0, 0x1e, 0xcb, 0xd2}};
// {0f99a40c-e962-4207-9e92-e3d542eff849}
inline constexpr GUID kIidWebMessageReceivedEventArgs = {
    0x0f99a40c, 0xe962, 0x4207, {0x9e, 0x92, 0xe3, 0xd5, 0x42, 0xef, 0xf8, 0x49}};
// {d33a35bf-1c49-4f98-93ab-006e0533fe1c}
inline constexpr GUID kIidNavigationCompletedHandler = {
    0xd33a35bf, 0x1c49, 0x4f98, {0x93, 0xab, 0x00, 0x6e, 0x05, 0x33, 0xfe, 0x1c}};

struct Controller;
struct WebView;
struct Settings;
struct WebMessageReceivedEventArgs;

// A slot the program does not call. Implementations return E_NOTIMPL.
#define QV_WV2_UNUSED(name) virtual HRESULT STDMETHODCALLTYPE name() = 0

struct ControllerCompletedHandler : IUnknown {
    virtual HRESULT STDMETHODCALLTYPE Invoke(HRESULT result, Controller* controller) = 0; // 3
};

struct Environment : IUnknown {
    virtual HRESULT STDMETHODCALLTYPE CreateCoreWebView2Controller(HWND parent,
                                                                   ControllerCompletedHandler* handler) = 0; // 3
};

struct EnvironmentCompletedHandler : IUnknown {
    virtual HRESULT STDMETHODCALLTYPE Invoke(HRESULT result, Environment* environment) = 0; // 3
};

struct Controller : IUnknown {
    QV_WV2_UNUSED(get_IsVisible);                                          // 3
    virtual HRESULT STDMETHODCALLTYPE put_IsVisible(BOOL visible) = 0;     // 4
    QV_WV2_UNUSED(get_Bounds);                                             // 5
    virtual HRESULT STDMETHODCALLTYPE put_Bounds(RECT bounds) = 0;         // 6
    QV_WV2_UNUSED(get_ZoomFactor);                                         // 7
    QV_WV2_UNUSED(put_ZoomFactor);                                         // 8
    QV_WV2_UNUSED(add_ZoomFactorChanged);                                  // 9
    QV_WV2_UNUSED(remove_ZoomFactorChanged);                               // 10
    QV_WV2_UNUSED(SetBoundsAndZoomFactor);                                 // 11
    QV_WV2_UNUSED(MoveFocus);                                              // 12
    QV_WV2_UNUSED(add_MoveFocusRequested);                                 // 13
    QV_WV2_UNUSED(remove_MoveFocusRequested);                              // 14
    QV_WV2_UNUSED(add_GotFocus);                                           // 15
    QV_WV2_UNUSED(remove_GotFocus);                                        // 16
    QV_WV2_UNUSED(add_LostFocus);                                          // 17
    QV_WV2_UNUSED(remove_LostFocus);                                       // 18
    QV_WV2_UNUSED(add_AcceleratorKeyPressed);                              // 19
    QV_WV2_UNUSED(remove_AcceleratorKeyPressed);                           // 20
    QV_WV2_UNUSED(get_ParentWindow);                                       // 21
    QV_WV2_UNUSED(put_ParentWindow);                                       // 22
    QV_WV2_UNUSED(NotifyParentWindowPositionChanged);                      // 23
    virtual HRESULT STDMETHODCALLTYPE Close() = 0;                         // 24
    virtual HRESULT STDMETHODCALLTYPE get_CoreWebView2(WebView** out) = 0; // 25
};

struct Controller2 : Controller {
    QV_WV2_UNUSED(get_DefaultBackgroundColor);                                   // 26
    virtual HRESULT STDMETHODCALLTYPE put_DefaultBackgroundColor(Color color) = 0; // 27
};

struct Settings : IUnknown {
    QV_WV2_UNUSED(get_IsScriptEnabled);                                                   // 3
    virtual HRESULT STDMETHODCALLTYPE put_IsScriptEnabled(BOOL enabled) = 0;              // 4
    QV_WV2_UNUSED(get_IsWebMessageEnabled);                                               // 5
    virtual HRESULT STDMETHODCALLTYPE put_IsWebMessageEnabled(BOOL enabled) = 0;          // 6
    QV_WV2_UNUSED(get_AreDefaultScriptDialogsEnabled);                                    // 7
    QV_WV2_UNUSED(put_AreDefaultScriptDialogsEnabled);                                    // 8
    QV_WV2_UNUSED(get_IsStatusBarEnabled);                                                // 9
    virtual HRESULT STDMETHODCALLTYPE put_IsStatusBarEnabled(BOOL enabled) = 0;           // 10
    QV_WV2_UNUSED(get_AreDevToolsEnabled);                                                // 11
    virtual HRESULT STDMETHODCALLTYPE put_AreDevToolsEnabled(BOOL enabled) = 0;           // 12
    QV_WV2_UNUSED(get_AreDefaultContextMenusEnabled);                                     // 13
    virtual HRESULT STDMETHODCALLTYPE put_AreDefaultContextMenusEnabled(BOOL enabled) = 0; // 14
    QV_WV2_UNUSED(get_AreHostObjectsAllowed);                                             // 15
    QV_WV2_UNUSED(put_AreHostObjectsAllowed);                                             // 16
    QV_WV2_UNUSED(get_IsZoomControlEnabled);                                              // 17
    virtual HRESULT STDMETHODCALLTYPE put_IsZoomControlEnabled(BOOL enabled) = 0;         // 18
};

struct WebMessageReceivedEventArgs : IUnknown {
    QV_WV2_UNUSED(get_Source);                                                   // 3
    virtual HRESULT STDMETHODCALLTYPE get_WebMessageAsJson(LPWSTR* json) = 0;    // 4
    virtual HRESULT STDMETHODCALLTYPE TryGetWebMessageAsString(LPWSTR* text) = 0; // 5
};

struct WebMessageReceivedHandler : IUnknown {
    virtual HRESULT STDMETHODCALLTYPE Invoke(WebView* sender, WebMessageReceivedEventArgs* args) = 0; // 3
};

// The event arguments are not read: the page counts as loaded whatever the
// navigation's status.
struct NavigationCompletedHandler : IUnknown {
    virtual HRESULT STDMETHODCALLTYPE Invoke(WebView* sender, IUnknown* args) = 0; // 3
};

struct WebView : IUnknown {
    virtual HRESULT STDMETHODCALLTYPE get_Settings(Settings** out) = 0;  // 3
    QV_WV2_UNUSED(get_Source);                                           // 4
    QV_WV2_UNUSED(Navigate);                                             // 5
    virtual HRESULT STDMETHODCALLTYPE NavigateToString(LPCWSTR html) = 0; // 6
    QV_WV2_UNUSED(add_NavigationStarting);                               // 7
    QV_WV2_UNUSED(remove_NavigationStarting);                            // 8
    QV_WV2_UNUSED(add_ContentLoading);                                   // 9
    QV_WV2_UNUSED(remove_ContentLoading);                                // 10
    QV_WV2_UNUSED(add_SourceChanged);                                    // 11
    QV_WV2_UNUSED(remove_SourceChanged);                                 // 12
    QV_WV2_UNUSED(add_HistoryChanged);                                   // 13
    QV_WV2_UNUSED(remove_HistoryChanged);                                // 14
    virtual HRESULT STDMETHODCALLTYPE add_NavigationCompleted(NavigationCompletedHandler* handler,
                                                              EventToken* token) = 0; // 15
    QV_WV2_UNUSED(remove_NavigationCompleted);                           // 16
    QV_WV2_UNUSED(add_FrameNavigationStarting);                          // 17
    QV_WV2_UNUSED(remove_FrameNavigationStarting);                       // 18
    QV_WV2_UNUSED(add_FrameNavigationCompleted);                         // 19
    QV_WV2_UNUSED(remove_FrameNavigationCompleted);                      // 20
    QV_WV2_UNUSED(add_ScriptDialogOpening);                              // 21
    QV_WV2_UNUSED(remove_ScriptDialogOpening);                           // 22
    QV_WV2_UNUSED(add_PermissionRequested);                              // 23
    QV_WV2_UNUSED(remove_PermissionRequested);                           // 24
    QV_WV2_UNUSED(add_ProcessFailed);                                    // 25
    QV_WV2_UNUSED(remove_ProcessFailed);                                 // 26
    QV_WV2_UNUSED(AddScriptToExecuteOnDocumentCreated);                  // 27
    QV_WV2_UNUSED(RemoveScriptToExecuteOnDocumentCreated);               // 28
    // The completion handler may be null: the result is not wanted.
    virtual HRESULT STDMETHODCALLTYPE ExecuteScript(LPCWSTR script, IUnknown* handler) = 0; // 29
    QV_WV2_UNUSED(CapturePreview);                                       // 30
    QV_WV2_UNUSED(Reload);                                               // 31
    QV_WV2_UNUSED(PostWebMessageAsJson);                                 // 32
    QV_WV2_UNUSED(PostWebMessageAsString);                               // 33
    virtual HRESULT STDMETHODCALLTYPE add_WebMessageReceived(WebMessageReceivedHandler* handler,
                                                             EventToken* token) = 0; // 34
};

#undef QV_WV2_UNUSED

// The runtime library's entry point that starts an environment: whether to
// join a running browser process of the same profile (true), the runtime
// kind (0, installed), the profile folder, the options (may be null) and the
// completion handler.
using CreateEnvironmentEntry = HRESULT(STDMETHODCALLTYPE*)(bool checkRunningInstance, int runtimeType,
                                                           LPCWSTR userDataFolder, IUnknown* options,
                                                           EnvironmentCompletedHandler* handler);

} // namespace qv::wv2

#pragma GCC diagnostic pop
