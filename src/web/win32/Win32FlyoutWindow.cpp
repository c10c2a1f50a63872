#include "web/win32/Win32FlyoutWindow.h"

#include "base/win32/Utf16.h"
#include "web/GlassFlyoutPanel.h"
#include "web/Pages.h"
#include "web/win32/Win32BrowserRuntime.h"
#include "windows/win32/WorkArea.h"

#include <dwmapi.h>
#include <objbase.h>

#include <string>

namespace qv {

namespace {

constexpr int kIconResource = 101;

// The window look: dark title parts, rounded corners, a quiet border and the
// transient (acrylic) backdrop on Windows 11. Older systems ignore what they
// do not know.
constexpr DWORD kImmersiveDarkMode = 20;
constexpr DWORD kCornerPreference = 33;
constexpr DWORD kBorderColor = 34;
constexpr DWORD kSystemBackdropType = 38;
constexpr DWORD kRoundCorners = 2;
constexpr DWORD kTransientBackdrop = 3;

HICON loadIcon(HINSTANCE instance, int sizeMetric) {
    const int size = GetSystemMetrics(sizeMetric);
    return static_cast<HICON>(LoadImageW(instance, MAKEINTRESOURCEW(kIconResource), IMAGE_ICON, size, size, 0));
}

} // namespace

Win32FlyoutWindow::Win32FlyoutWindow(uint64_t instance, Win32BrowserRuntime& runtime)
    : instance_(reinterpret_cast<HINSTANCE>(static_cast<uintptr_t>(instance))), runtime_(runtime) {}

Win32FlyoutWindow::~Win32FlyoutWindow() {
    panel_ = nullptr;
    destroy();
    closeBrowser();
}

bool Win32FlyoutWindow::registerClass() {
    WNDCLASSEXW windowClass{};
    windowClass.cbSize = sizeof windowClass;
    windowClass.lpfnWndProc = windowProc;
    windowClass.hInstance = instance_;
    windowClass.hCursor = LoadCursorW(nullptr, IDC_ARROW);
    // The brush lives as long as the class, which lives as long as the process.
    windowClass.hbrBackground = CreateSolidBrush(kBackground);
    windowClass.hIcon = loadIcon(instance_, SM_CXICON);
    windowClass.hIconSm = loadIcon(instance_, SM_CXSMICON);
    windowClass.lpszClassName = kClassName;
    if (RegisterClassExW(&windowClass) != 0) return true;
    if (windowClass.hbrBackground != nullptr) DeleteObject(windowClass.hbrBackground);
    return GetLastError() == ERROR_CLASS_ALREADY_EXISTS;
}

bool Win32FlyoutWindow::create(const ScreenRect& rect) {
    // The user-interface thread is already a single-threaded apartment; the
    // call only makes sure of it.
    (void)CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED);
    if (hwnd_ != nullptr) return true;
    registerClass();
    hwnd_ = CreateWindowExW(WS_EX_TOOLWINDOW | WS_EX_TOPMOST, kClassName, L"Quorvane", WS_POPUP, rect.left, rect.top,
                            rect.width(), rect.height(), nullptr, nullptr, instance_, this);
    if (hwnd_ == nullptr) return false;
    applyLook();
    return true;
}

void Win32FlyoutWindow::applyLook() {
    const BOOL dark = TRUE;
    DwmSetWindowAttribute(hwnd_, kImmersiveDarkMode, &dark, sizeof dark);
    DwmSetWindowAttribute(hwnd_, kCornerPreference, &kRoundCorners, sizeof kRoundCorners);
    const COLORREF border = RGB(51, 55, 68);
    DwmSetWindowAttribute(hwnd_, kBorderColor, &border, sizeof border);
    DwmSetWindowAttribute(hwnd_, kSystemBackdropType, &kTransientBackdrop, sizeof kTransientBackdrop);
}

void Win32FlyoutWindow::destroy() {
    if (hwnd_ != nullptr) DestroyWindow(hwnd_);
}

bool Win32FlyoutWindow::isVisible() const { return hwnd_ != nullptr && IsWindowVisible(hwnd_) != FALSE; }

void Win32FlyoutWindow::showAt(const ScreenRect& rect) {
    if (hwnd_ == nullptr) return;
    SetWindowPos(hwnd_, HWND_TOPMOST, rect.left, rect.top, rect.width(), rect.height(), SWP_SHOWWINDOW);
    updateBounds();
    SetForegroundWindow(hwnd_);
}

void Win32FlyoutWindow::hide() {
    if (hwnd_ != nullptr) ShowWindow(hwnd_, SW_HIDE);
}

void Win32FlyoutWindow::setLevelTimer() {
    if (hwnd_ != nullptr) SetTimer(hwnd_, GlassFlyoutPanel::kLevelTimer, 50, nullptr);
}

void Win32FlyoutWindow::killLevelTimer() {
    if (hwnd_ != nullptr) KillTimer(hwnd_, GlassFlyoutPanel::kLevelTimer);
}

void Win32FlyoutWindow::postTaskMessage() {
    if (hwnd_ != nullptr) PostMessageW(hwnd_, kTaskMessage, 0, 0);
}

void Win32FlyoutWindow::quit(int exitCode) { PostQuitMessage(exitCode); }

uint32_t Win32FlyoutWindow::systemDpi() const { return GetDpiForSystem(); }

uint32_t Win32FlyoutWindow::windowDpi() const { return hwnd_ != nullptr ? GetDpiForWindow(hwnd_) : 0; }

std::optional<ScreenRect> Win32FlyoutWindow::workAreaNear(ScreenPoint point) const { return qv::workAreaNear(point); }

std::string Win32FlyoutWindow::localAppData() const {
    wchar_t buffer[MAX_PATH];
    const DWORD length = GetEnvironmentVariableW(L"LOCALAPPDATA", buffer, MAX_PATH);
    if (length == 0 || length >= MAX_PATH) return {};
    return narrow(std::wstring_view(buffer, length));
}

bool Win32FlyoutWindow::createEnvironment(const std::string& profileFolder) {
    auto entry = reinterpret_cast<wv2::CreateEnvironmentEntry>(runtime_.entryPoint());
    if (entry == nullptr) return false;
    auto owner = owner_.share();
    wv2::EnvironmentCompletedHandler* handler =
        wv2::EnvironmentCompleted::create([owner](HRESULT result, wv2::Environment* environment) {
            return *owner ? (*owner)->environmentCompleted(result, environment) : S_OK;
        });
    const std::wstring folder = widen(profileFolder);
    const HRESULT result = entry(true, 0, folder.c_str(), nullptr, handler);
    handler->Release();
    return SUCCEEDED(result);
}

HRESULT Win32FlyoutWindow::environmentCompleted(HRESULT result, wv2::Environment* environment) {
    const bool ok = SUCCEEDED(result) && environment != nullptr;
    if (ok) {
        wv2::release(environment_);
        environment->AddRef();
        environment_ = environment;
    }
    if (panel_ != nullptr) panel_->onEnvironmentCreated(ok);
    return S_OK;
}

bool Win32FlyoutWindow::createController() {
    if (environment_ == nullptr || hwnd_ == nullptr) return false;
    auto owner = owner_.share();
    wv2::ControllerCompletedHandler* handler =
        wv2::ControllerCompleted::create([owner](HRESULT result, wv2::Controller* controller) {
            return *owner ? (*owner)->controllerCompleted(result, controller) : S_OK;
        });
    const HRESULT result = environment_->CreateCoreWebView2Controller(hwnd_, handler);
    handler->Release();
    return SUCCEEDED(result);
}

HRESULT Win32FlyoutWindow::controllerCompleted(HRESULT result, wv2::Controller* controller) {
    const bool ok = SUCCEEDED(result) && controller != nullptr;
    if (ok && hwnd_ == nullptr) {
        // The window went away while the browser was starting: nothing to host it in.
        controller->Close();
        return S_OK;
    }
    if (ok) {
        closeBrowserView();
        controller->AddRef();
        controller_ = controller;
    }
    if (panel_ != nullptr) panel_->onControllerCreated(ok);
    return S_OK;
}

void Win32FlyoutWindow::startPage() {
    if (controller_ == nullptr || FAILED(controller_->get_CoreWebView2(&webView_)) || webView_ == nullptr) return;

    wv2::Controller2* controller2 = nullptr;
    if (SUCCEEDED(controller_->QueryInterface(wv2::kIidController2, reinterpret_cast<void**>(&controller2))) &&
        controller2 != nullptr) {
        controller2->put_DefaultBackgroundColor(
            wv2::Color{255, GetRValue(kBackground), GetGValue(kBackground), GetBValue(kBackground)});
        controller2->Release();
    }
    applySettings();

    auto owner = owner_.share();
    wv2::EventToken token{};
    wv2::WebMessageReceivedHandler* messages =
        wv2::WebMessageReceived::create([owner](wv2::WebView*, wv2::WebMessageReceivedEventArgs* args) {
            return *owner ? (*owner)->webMessageReceived(args) : S_OK;
        });
    webView_->add_WebMessageReceived(messages, &token);
    messages->Release();
    wv2::NavigationCompletedHandler* navigation = wv2::NavigationCompleted::create(
        [owner](wv2::WebView*, IUnknown*) { return *owner ? (*owner)->navigationCompleted() : S_OK; });
    webView_->add_NavigationCompleted(navigation, &token);
    navigation->Release();

    updateBounds();
    const std::u16string_view page = pages::flyout();
    const std::wstring html(page.begin(), page.end());
    webView_->NavigateToString(html.c_str());
}

void Win32FlyoutWindow::applySettings() {
    wv2::Settings* settings = nullptr;
    if (FAILED(webView_->get_Settings(&settings)) || settings == nullptr) return;
    // Script and web messages keep their defaults (on); the browser's own
    // menus, tools, zoom and status bar would only get in the way of a panel.
    settings->put_AreDefaultContextMenusEnabled(FALSE);
    settings->put_AreDevToolsEnabled(FALSE);
    settings->put_IsZoomControlEnabled(FALSE);
    settings->put_IsStatusBarEnabled(FALSE);
    settings->Release();
}

HRESULT Win32FlyoutWindow::webMessageReceived(wv2::WebMessageReceivedEventArgs* args) {
    LPWSTR json = nullptr;
    // A message that cannot be read is dropped.
    if (args == nullptr || FAILED(args->get_WebMessageAsJson(&json)) || json == nullptr) return S_OK;
    const std::string text = narrow(json);
    CoTaskMemFree(json);
    if (panel_ != nullptr) panel_->onWebMessage(text);
    return S_OK;
}

HRESULT Win32FlyoutWindow::navigationCompleted() {
    if (panel_ != nullptr) panel_->onNavigationCompleted();
    return S_OK;
}

void Win32FlyoutWindow::executeScript(const std::string& script) {
    if (webView_ != nullptr) webView_->ExecuteScript(widen(script).c_str(), nullptr);
}

void Win32FlyoutWindow::updateBounds() {
    if (controller_ == nullptr || hwnd_ == nullptr) return;
    RECT client{};
    GetClientRect(hwnd_, &client);
    controller_->put_Bounds(client);
}

void Win32FlyoutWindow::closeBrowserView() {
    if (controller_ != nullptr) controller_->Close();
    wv2::release(webView_);
    wv2::release(controller_);
}

void Win32FlyoutWindow::closeBrowser() {
    closeBrowserView();
    wv2::release(environment_);
}

LRESULT CALLBACK Win32FlyoutWindow::windowProc(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam) {
    if (message == WM_NCCREATE) {
        const auto* create = reinterpret_cast<const CREATESTRUCTW*>(lParam);
        SetWindowLongPtrW(hwnd, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(create->lpCreateParams));
    }
    auto* self = reinterpret_cast<Win32FlyoutWindow*>(GetWindowLongPtrW(hwnd, GWLP_USERDATA));
    if (self == nullptr || self->hwnd_ != hwnd) return DefWindowProcW(hwnd, message, wParam, lParam);
    const LRESULT result = self->handle(message, wParam, lParam);
    if (message == WM_NCDESTROY) SetWindowLongPtrW(hwnd, GWLP_USERDATA, 0);
    return result;
}

LRESULT Win32FlyoutWindow::handle(UINT message, WPARAM wParam, LPARAM lParam) {
    switch (message) {
    case WM_ACTIVATE:
        if (panel_ != nullptr) {
            const HWND activated = reinterpret_cast<HWND>(lParam);
            panel_->onActivate(LOWORD(wParam) == WA_INACTIVE, activated != nullptr && IsChild(hwnd_, activated));
        }
        return 0;
    case WM_CLOSE:
        if (panel_ != nullptr) panel_->onClose();
        return 0;
    case WM_SIZE:
        if (panel_ != nullptr) panel_->onSize();
        return 0;
    case WM_TIMER:
        if (panel_ != nullptr) panel_->onTimer(static_cast<uint32_t>(wParam));
        return 0;
    case WM_DPICHANGED:
        if (panel_ != nullptr) panel_->onDpiChanged();
        return 0;
    case kTaskMessage:
        if (panel_ != nullptr) panel_->onTaskMessage();
        return 0;
    case WM_DESTROY:
        if (panel_ != nullptr) {
            panel_->onDestroy();
        } else {
            closeBrowser();
        }
        hwnd_ = nullptr;
        return 0;
    default:
        return DefWindowProcW(hwnd_, message, wParam, lParam);
    }
}

} // namespace qv
