#include "update/win32/Win32HttpClient.h"

#include "base/win32/Utf16.h"

#include <windows.h>
#include <winhttp.h>

#include <cstdlib>
#include <vector>

namespace qv {

namespace {

// The session, the connection and the request, closed in reverse order.
struct Handles {
    HINTERNET session = nullptr;
    HINTERNET connection = nullptr;
    HINTERNET request = nullptr;
    Handles() = default;
    Handles(const Handles&) = delete;
    Handles& operator=(const Handles&) = delete;
    ~Handles() {
        if (request != nullptr) WinHttpCloseHandle(request);
        if (connection != nullptr) WinHttpCloseHandle(connection);
        if (session != nullptr) WinHttpCloseHandle(session);
    }
};

class WinHttpBody final : public HttpClient::Body {
public:
    explicit WinHttpBody(std::unique_ptr<Handles> handles) : handles_(std::move(handles)) {}

    bool read(std::string& piece) override {
        piece.clear();
        DWORD available = 0;
        if (!WinHttpQueryDataAvailable(handles_->request, &available)) return false;
        if (available == 0) return true;
        piece.resize(available > 16384 ? 16384 : available);
        DWORD got = 0;
        if (!WinHttpReadData(handles_->request, piece.data(), static_cast<DWORD>(piece.size()), &got)) return false;
        piece.resize(got);
        // A read of nothing while data was announced is a cut connection.
        return got != 0;
    }

private:
    std::unique_ptr<Handles> handles_;
};

// A text header of the response; empty when it is absent.
std::wstring textHeader(HINTERNET request, DWORD query) {
    DWORD bytes = 0;
    WinHttpQueryHeaders(request, query, WINHTTP_HEADER_NAME_BY_INDEX, WINHTTP_NO_OUTPUT_BUFFER, &bytes,
                        WINHTTP_NO_HEADER_INDEX);
    if (GetLastError() != ERROR_INSUFFICIENT_BUFFER || bytes == 0) return {};
    std::vector<wchar_t> buffer(bytes / sizeof(wchar_t) + 1, L'\0');
    if (!WinHttpQueryHeaders(request, query, WINHTTP_HEADER_NAME_BY_INDEX, buffer.data(), &bytes,
                             WINHTTP_NO_HEADER_INDEX))
        return {};
    return std::wstring(buffer.data(), bytes / sizeof(wchar_t));
}

} // namespace

HttpClient::Result Win32HttpClient::send(const Request& request, Response& response, std::unique_ptr<Body>& body) {
    body.reset();
    response = Response{};
    const std::wstring url = widen(request.url);
    URL_COMPONENTS parts{};
    parts.dwStructSize = sizeof parts;
    parts.dwSchemeLength = static_cast<DWORD>(-1);
    parts.dwHostNameLength = static_cast<DWORD>(-1);
    parts.dwUrlPathLength = static_cast<DWORD>(-1);
    parts.dwExtraInfoLength = static_cast<DWORD>(-1);
    if (!WinHttpCrackUrl(url.c_str(), 0, 0, &parts) || parts.lpszHostName == nullptr) return Result::BadUrl;
    const std::wstring host(parts.lpszHostName, parts.dwHostNameLength);
    std::wstring path = parts.lpszUrlPath != nullptr ? std::wstring(parts.lpszUrlPath, parts.dwUrlPathLength) : L"";
    if (parts.lpszExtraInfo != nullptr) path.append(parts.lpszExtraInfo, parts.dwExtraInfoLength);
    if (path.empty()) path = L"/";
    const bool secure = parts.nScheme == INTERNET_SCHEME_HTTPS;

    auto handles = std::make_unique<Handles>();
    const std::wstring agent = widen(request.userAgent);
    handles->session = WinHttpOpen(agent.c_str(), WINHTTP_ACCESS_TYPE_AUTOMATIC_PROXY, WINHTTP_NO_PROXY_NAME,
                                   WINHTTP_NO_PROXY_BYPASS, 0);
    // Older systems know only the configured proxy.
    if (handles->session == nullptr)
        handles->session = WinHttpOpen(agent.c_str(), WINHTTP_ACCESS_TYPE_DEFAULT_PROXY, WINHTTP_NO_PROXY_NAME,
                                       WINHTTP_NO_PROXY_BYPASS, 0);
    if (handles->session == nullptr) return Result::OpenFailed;
    handles->connection = WinHttpConnect(handles->session, host.c_str(), parts.nPort, 0);
    if (handles->connection == nullptr) return Result::ConnectFailed;
    handles->request = WinHttpOpenRequest(handles->connection, L"GET", path.c_str(), nullptr, WINHTTP_NO_REFERER,
                                          WINHTTP_DEFAULT_ACCEPT_TYPES, secure ? WINHTTP_FLAG_SECURE : 0);
    if (handles->request == nullptr) return Result::ConnectFailed;

    DWORD never = WINHTTP_OPTION_REDIRECT_POLICY_NEVER;
    DWORD disable = WINHTTP_DISABLE_REDIRECTS;
    const bool policySet =
        WinHttpSetOption(handles->request, WINHTTP_OPTION_REDIRECT_POLICY, &never, sizeof never) != FALSE;
    const bool featureSet =
        WinHttpSetOption(handles->request, WINHTTP_OPTION_DISABLE_FEATURE, &disable, sizeof disable) != FALSE;
    if (!policySet && !featureSet) return Result::ConnectFailed;

    std::wstring headers;
    for (const std::string& header : request.headers) headers += widen(header) + L"\r\n";
    if (!headers.empty() &&
        !WinHttpAddRequestHeaders(handles->request, headers.c_str(), static_cast<DWORD>(-1),
                                  WINHTTP_ADDREQ_FLAG_ADD | WINHTTP_ADDREQ_FLAG_REPLACE))
        return Result::SendFailed;
    if (!WinHttpSendRequest(handles->request, WINHTTP_NO_ADDITIONAL_HEADERS, 0, WINHTTP_NO_REQUEST_DATA, 0, 0, 0) ||
        !WinHttpReceiveResponse(handles->request, nullptr))
        return Result::SendFailed;

    DWORD status = 0;
    DWORD size = sizeof status;
    if (!WinHttpQueryHeaders(handles->request, WINHTTP_QUERY_STATUS_CODE | WINHTTP_QUERY_FLAG_NUMBER,
                             WINHTTP_HEADER_NAME_BY_INDEX, &status, &size, WINHTTP_NO_HEADER_INDEX))
        return Result::SendFailed;
    response.status = status;
    response.location = narrow(textHeader(handles->request, WINHTTP_QUERY_LOCATION));
    const std::wstring length = textHeader(handles->request, WINHTTP_QUERY_CONTENT_LENGTH);
    if (!length.empty()) {
        wchar_t* end = nullptr;
        const long long value = std::wcstoll(length.c_str(), &end, 10);
        if (end != length.c_str() && *end == L'\0' && value >= 0) response.contentLength = value;
    }
    body = std::make_unique<WinHttpBody>(std::move(handles));
    return Result::Ok;
}

} // namespace qv
