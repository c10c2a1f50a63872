#include "web/win32/Win32BrowserView.h"

#include "base/win32/Utf16.h"
#include "web/win32/Win32BrowserRuntime.h"

#include <dwmapi.h>
#include <objbase.h>

namespace qv {

namespace {

constexpr int kIconResource = 101;
constexpr DWORD kImmersiveDarkMode = 20;
constexpr DWORD kCornerPreference = 33;
constexpr DWORD kBorderColor = 34;
constexpr DWORD kSystemBackdropType = 38;
constexpr DWORD kRoundCorners = 2;
constexpr DWORD kTransientBackdrop = 3;

} // namespace

void applyPanelLook(HWND window) {
    const BOOL dark = TRUE;
    DwmSetWindowAttribute(window, kImmersiveDarkMode, &dark, sizeof dark);
    DwmSetWindowAttribute(window, kCornerPreference, &kRoundCorners, sizeof kRoundCorners);
    const COLORREF border = RGB(51, 55, 68);
    DwmSetWindowAttribute(window, kBorderColor, &border, sizeof border);
    DwmSetWindowAttribute(window, kSystemBackdropType, &kTransientBackdrop, sizeof kTransientBackdrop);
}

HICON loadPanelIcon(HINSTANCE instance, int sizeMetric) {
    const int size = GetSystemMetrics(sizeMetric);
    return static_cast<HICON>(LoadImageW(instance, MAKEINTRESOURCEW(kIconResource), IMAGE_ICON, size, size, 0));
}

std::string localAppDataFolder() {
    wchar_t buffer[MAX_PATH];
    const DWORD length = GetEnvironmentVariableW(L"LOCALAPPDATA", buffer, MAX_PATH);
    if (length == 0 || length >= MAX_PATH) return {};
    return narrow(std::wstring_view(buffer, length));
}

Win32BrowserView::Win32BrowserView(Win32BrowserRuntime& runtime, Listener& listener, COLORREF background,
                                   std::u16string_view (*page)())
    : runtime_(runtime), listener_(listener), background_(background), page_(page) {}

Win32BrowserView::~Win32BrowserView() { close(); }

bool Win32BrowserView::createEnvironment(const std::string& profileFolder) {
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

HRESULT Win32BrowserView::environmentCompleted(HRESULT result, wv2::Environment* environment) {
    const bool ok = SUCCEEDED(result) && environment != nullptr;
    if (ok) {
        wv2::release(environment_);
        environment->AddRef();
        environment_ = environment;
    }
    listener_.environmentCreated(ok);
    return S_OK;
}

bool Win32BrowserView::createController() {
    if (environment_ == nullptr || host_ == nullptr) return false;
    auto owner = owner_.share();
    wv2::ControllerCompletedHandler* handler =
        wv2::ControllerCompleted::create([owner](HRESULT result, wv2::Controller* controller) {
            return *owner ? (*owner)->controllerCompleted(result, controller) : S_OK;
        });
    const HRESULT result = environment_->CreateCoreWebView2Controller(host_, handler);
    handler->Release();
    return SUCCEEDED(result);
}

HRESULT Win32BrowserView::controllerCompleted(HRESULT result, wv2::Controller* controller) {
    const bool ok = SUCCEEDED(result) && controller != nullptr;
    if (ok && host_ == nullptr) {
        // The window went away while the browser was starting: nothing to host it in.
        controller->Close();
        return S_OK;
    }
    if (ok) {
        closeView();
        controller->AddRef();
        controller_ = controller;
    }
    listener_.controllerCreated(ok);
    return S_OK;
}

void Win32BrowserView::startPage() {
    if (controller_ == nullptr || FAILED(controller_->get_CoreWebView2(&webView_)) || webView_ == nullptr) return;

    wv2::Controller2* controller2 = nullptr;
    if (SUCCEEDED(controller_->QueryInterface(wv2::kIidController2, reinterpret_cast<void**>(&controller2))) &&
        controller2 != nullptr) {
        controller2->put_DefaultBackgroundColor(
            wv2::Color{255, GetRValue(background_), GetGValue(background_), GetBValue(background_)});
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
    wv2::NavigationCompletedHandler* navigation = wv2::NavigationCompleted::create([owner](wv2::WebView*, IUnknown*) {
        if (*owner) (*owner)->listener_.navigationCompleted();
        return S_OK;
    });
    webView_->add_NavigationCompleted(navigation, &token);
    navigation->Release();

    updateBounds();
    const std::u16string_view page = page_();
    const std::wstring html(page.begin(), page.end());
    webView_->NavigateToString(html.c_str());
}

void Win32BrowserView::applySettings() {
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

HRESULT Win32BrowserView::webMessageReceived(wv2::WebMessageReceivedEventArgs* args) {
    LPWSTR json = nullptr;
    // A message that cannot be read is dropped.
    if (args == nullptr || FAILED(args->get_WebMessageAsJson(&json)) || json == nullptr) return S_OK;
    const std::string text = narrow(json);
    CoTaskMemFree(json);
    listener_.webMessage(text);
    return S_OK;
}

void Win32BrowserView::executeScript(const std::string& script) {
    if (webView_ != nullptr) webView_->ExecuteScript(widen(script).c_str(), nullptr);
}

void Win32BrowserView::updateBounds() {
    if (controller_ == nullptr || host_ == nullptr) return;
    RECT client{};
    GetClientRect(host_, &client);
    controller_->put_Bounds(client);
}

void Win32BrowserView::closeView() {
    if (controller_ != nullptr) controller_->Close();
    wv2::release(webView_);
    wv2::release(controller_);
}

void Win32BrowserView::close() {
    closeView();
    wv2::release(environment_);
}

} // namespace qv
