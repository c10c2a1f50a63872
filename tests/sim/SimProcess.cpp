#include "sim/SimProcess.h"

#include "base/StrPrintf.h"
#include "ui/TrayController.h"

#include <algorithm>
#include <cctype>

namespace qv::sim {

namespace {

std::string lower(std::string text) {
    std::transform(text.begin(), text.end(), text.begin(), [](unsigned char c) { return std::tolower(c); });
    return text;
}

// Number of UTF-16 code units of a UTF-8 text.
size_t utf16Length(const std::string& utf8) {
    size_t units = 0;
    for (size_t i = 0; i < utf8.size(); ++i) {
        unsigned char c = static_cast<unsigned char>(utf8[i]);
        if ((c & 0xC0) == 0x80) continue;  // continuation byte
        units += c >= 0xF0 ? 2 : 1;        // four-byte sequences need a surrogate pair
    }
    return units;
}

const char* streamName(VdConsole::Stream stream) {
    switch (stream) {
    case VdConsole::Stream::Input: return "stdin";
    case VdConsole::Stream::Output: return "stdout";
    case VdConsole::Stream::Error: return "stderr";
    }
    return "?";
}

} // namespace

SimProcess::SimProcess() { addKey(Root::CurrentUser, "Software\\Microsoft\\Windows\\CurrentVersion\\Run"); }

std::string SimProcess::keyPath(Root root, const std::string& subKey) {
    return (root == Root::CurrentUser ? "HKCU\\" : "HKLM\\") + subKey;
}

void SimProcess::addKey(Root root, const std::string& subKey) {
    // As RegCreateKeyExW does, the keys on the way are created too.
    const std::string path = keyPath(root, subKey);
    for (size_t cut = path.find('\\', 5); cut != std::string::npos; cut = path.find('\\', cut + 1)) {
        keys_[lower(path.substr(0, cut))];
        keyNames_.emplace(lower(path.substr(0, cut)), path.substr(0, cut));
    }
    keys_[lower(path)];
    keyNames_.emplace(lower(path), path);
}

void SimProcess::removeKey(Root root, const std::string& subKey) {
    // Like RegDeleteTreeW: the key goes with everything below it.
    const std::string path = lower(keyPath(root, subKey));
    for (auto it = keys_.begin(); it != keys_.end();) {
        const bool below = it->first == path || it->first.compare(0, path.size() + 1, path + "\\") == 0;
        it = below ? keys_.erase(it) : std::next(it);
    }
}

bool SimProcess::hasKey(Root root, const std::string& subKey) const {
    return keys_.count(lower(keyPath(root, subKey))) != 0;
}

void SimProcess::setValue(Root root, const std::string& subKey, const std::string& name, const Value& value) {
    addKey(root, subKey);
    keys_[lower(keyPath(root, subKey))][lower(name)] = value;
}

std::optional<SimProcess::Value> SimProcess::value(Root root, const std::string& subKey,
                                                  const std::string& name) const {
    auto key = keys_.find(lower(keyPath(root, subKey)));
    if (key == keys_.end()) return std::nullopt;
    auto v = key->second.find(lower(name));
    if (v == key->second.end()) return std::nullopt;
    return v->second;
}

void SimProcess::postToController(const std::string& registeredName) {
    queue_.push_back({0, messageId(registeredName), 0, 0});
}

void SimProcess::postToController(uint32_t message, uint64_t wParam, int64_t lParam) {
    queue_.push_back({0, message, wParam, lParam});
}

void SimProcess::broadcast(uint32_t message, uint64_t wParam, int64_t lParam) {
    // A copy of the handles: a window may go while it answers.
    std::vector<WindowHandle> handles;
    for (const auto& [handle, window] : windows) handles.push_back(handle);
    for (WindowHandle handle : handles) {
        auto window = windows.find(handle);
        if (window != windows.end() && window->second.controller) {
            window->second.controller->onMessage(handle, message, wParam, lParam);
        }
    }
}

// --- InstanceMutex ---

InstanceMutex::CreateResult SimProcess::create(const std::string& name) {
    record("CreateMutexW(" + name + ")");
    if (mutexCreationFails) return CreateResult::Failed;
    mutexHandle_ = true;
    if (mutexHeldElsewhere) return CreateResult::AlreadyExists;
    mutexOwned_ = true;
    return CreateResult::Owned;
}

InstanceMutex::WaitResult SimProcess::wait(uint32_t timeoutMs) {
    record(strprintf("WaitForSingleObject(%u)", timeoutMs));
    if (!mutexHandle_) return WaitResult::Failed;
    if (waitOutcome == WaitResult::Acquired || waitOutcome == WaitResult::Abandoned) {
        mutexHeldElsewhere = false;
        mutexOwned_ = true;
    }
    return waitOutcome;
}

void SimProcess::release() {
    if (!mutexHandle_) return;
    record("ReleaseMutex");
    record("CloseHandle");
    mutexOwned_ = false;
    mutexHandle_ = false;
}

// --- ProcessApi ---

void SimProcess::setAppUserModelId(const std::string& id) {
    record("SetCurrentProcessExplicitAppUserModelID(" + id + ")");
}

int32_t SimProcess::coInitialize(uint32_t flags) {
    record(strprintf("CoInitializeEx(%u)", flags));
    return coInitializeResult;
}

void SimProcess::coUninitialize() { record("CoUninitialize"); }

bool SimProcess::modulePath(std::string& path) {
    record("GetModuleFileNameW");
    if (modulePathFails) return false;
    path = exePath;
    return true;
}

bool SimProcess::tokenElevation(uint32_t& elevation) {
    record("GetTokenInformation(TokenElevation)");
    if (tokenQueryFails) return false;
    elevation = tokenElevationValue;
    return true;
}

void SimProcess::broadcastRegisteredMessage(const std::string& name) {
    record("PostMessageW(HWND_BROADCAST, " + name + ")");
}

void SimProcess::postQuit(int exitCode) {
    record(strprintf("PostQuitMessage(%d)", exitCode));
    std::lock_guard<std::mutex> lock(mutex_);
    queue_.push_back({0, kWmQuit, static_cast<uint64_t>(exitCode), 0});
}

bool SimProcess::postMessage(WindowHandle window, uint32_t message, uint64_t wParam, int64_t lParam) {
    record(strprintf("PostMessageW(%s, %llu, %lld)", messageName(message).c_str(),
                     static_cast<unsigned long long>(wParam), static_cast<long long>(lParam)));
    std::lock_guard<std::mutex> lock(mutex_);
    if (!windows.count(window)) return false;
    queue_.push_back({window, message, wParam, lParam});
    return true;
}

void SimProcess::messageBox(const std::string& text, const std::string& title, uint32_t flags) {
    record(strprintf("MessageBoxW(%s, %s, 0x%x)", text.c_str(), title.c_str(), flags));
}

int SimProcess::runMessageLoop() {
    for (;;) {
        Posted posted;
        {
            std::lock_guard<std::mutex> lock(mutex_);
            if (queue_.empty()) break;
            posted = queue_.front();
            queue_.pop_front();
        }
        if (posted.message == kWmQuit) {
            record(strprintf("GetMessageW: WM_QUIT(%d)", static_cast<int>(posted.wParam)));
            return static_cast<int>(posted.wParam);
        }
        WindowHandle target = posted.window;
        if (target == 0 && !windows.empty()) target = windows.begin()->first;
        record("DispatchMessageW(" + messageName(posted.message) + ")");
        auto window = windows.find(target);
        if (window != windows.end() && window->second.controller) {
            window->second.controller->onMessage(target, posted.message, posted.wParam, posted.lParam);
        }
    }
    // A real loop would wait here for ever; the scenario forgot to quit.
    record("GetMessageW: queue empty");
    return -1;
}

// --- Registry ---

int32_t SimProcess::openKey(Root root, const std::string& subKey, uint32_t access, Key& key) {
    const std::string path = keyPath(root, subKey);
    record(strprintf("RegOpenKeyExW(%s, 0x%x)", path.c_str(), access));
    if (access & deniedAccess) return 5;  // ERROR_ACCESS_DENIED
    if (!keys_.count(lower(path))) return kFileNotFound;
    key = nextKey_++;
    openKeys_[key] = lower(path);
    return kSuccess;
}

int32_t SimProcess::queryValueType(Key key, const std::string& name, uint32_t& type) {
    record("RegQueryValueExW(" + name + ")");
    auto open = openKeys_.find(key);
    if (open == openKeys_.end()) return 6;  // ERROR_INVALID_HANDLE
    auto& values = keys_[open->second];
    auto v = values.find(lower(name));
    if (v == values.end()) return kFileNotFound;
    type = v->second.type;
    return kSuccess;
}

int32_t SimProcess::setStringValue(Key key, const std::string& name, const std::string& text) {
    const uint32_t bytes = static_cast<uint32_t>((utf16Length(text) + 1) * 2);
    record(strprintf("RegSetValueExW(%s, REG_SZ, %s, %u)", name.c_str(), text.c_str(), bytes));
    auto open = openKeys_.find(key);
    if (open == openKeys_.end()) return 6;
    keys_[open->second][lower(name)] = Value{kRegSz, text, bytes};
    return kSuccess;
}

int32_t SimProcess::deleteValue(Key key, const std::string& name) {
    record("RegDeleteValueW(" + name + ")");
    auto open = openKeys_.find(key);
    if (open == openKeys_.end()) return 6;
    return keys_[open->second].erase(lower(name)) ? kSuccess : kFileNotFound;
}

int32_t SimProcess::enumSubKey(Key key, uint32_t index, std::string& name) {
    record(strprintf("RegEnumKeyExW(%u)", index));
    auto open = openKeys_.find(key);
    if (open == openKeys_.end()) return 6;
    // Direct children, in the case-insensitive order Windows enumerates them;
    // a deeper key implies the keys on its path.
    const std::string prefix = open->second + "\\";
    std::set<std::string> unique;
    for (const auto& [path, values] : keys_) {
        if (path.compare(0, prefix.size(), prefix) != 0) continue;
        unique.insert(path.substr(prefix.size(), path.find('\\', prefix.size()) - prefix.size()));
    }
    const std::vector<std::string> children(unique.begin(), unique.end());
    if (index >= children.size()) return kNoMoreItems;
    auto named = keyNames_.find(prefix + children[index]);
    const std::string written = named != keyNames_.end() ? named->second : std::string();
    const size_t cut = written.find_last_of('\\');
    name = cut == std::string::npos ? children[index] : written.substr(cut + 1);
    if (name.size() > 511) return 234;  // ERROR_MORE_DATA: longer than the name buffer
    return kSuccess;
}

int32_t SimProcess::getStringValue(Key key, const std::string& subKey, const std::string& name, std::string& text) {
    record(strprintf("RegGetValueW(%s, %s)", subKey.c_str(), name.c_str()));
    auto open = openKeys_.find(key);
    if (open == openKeys_.end()) return 6;
    auto values = keys_.find(subKey.empty() ? open->second : open->second + "\\" + lower(subKey));
    if (values == keys_.end()) return kFileNotFound;
    auto v = values->second.find(lower(name));
    if (v == values->second.end()) return kFileNotFound;
    if (v->second.type != kRegSz) return 1630;                    // ERROR_UNSUPPORTED_TYPE
    if ((utf16Length(v->second.text) + 1) * 2 > 2048) return 234;  // ERROR_MORE_DATA
    text = v->second.text;
    return kSuccess;
}

int32_t SimProcess::deleteTree(Key key, const std::string& subKey) {
    record("RegDeleteTreeW(" + subKey + ")");
    auto open = openKeys_.find(key);
    if (open == openKeys_.end()) return 6;
    if (subKey.empty()) return 87;  // ERROR_INVALID_PARAMETER
    const std::string path = open->second + "\\" + lower(subKey);
    for (const std::string& denied : undeletableKeys)
        if (lower(denied) == path) return 5;  // ERROR_ACCESS_DENIED
    if (!keys_.count(path)) return kFileNotFound;
    for (auto it = keys_.begin(); it != keys_.end();) {
        const bool below = it->first == path || it->first.compare(0, path.size() + 1, path + "\\") == 0;
        it = below ? keys_.erase(it) : std::next(it);
    }
    return kSuccess;
}

void SimProcess::closeKey(Key key) {
    record("RegCloseKey");
    openKeys_.erase(key);
}

// --- ShellApi ---

bool SimProcess::pathExists(const std::string& path) {
    record("GetFileAttributesW(" + path + ")");
    return existingPaths.count(path) != 0;
}

bool SimProcess::createShellLink(const ShellLink& link, const std::string& path) {
    record("IPersistFile::Save(" + path + ")");
    if (shellLinkFails) return false;
    shellLinks[path] = link;
    existingPaths.insert(path);
    return true;
}

bool SimProcess::shellExecuteEx(const std::string& verb, const std::string& file, const std::string& parameters,
                                uint32_t mask, int32_t show, const std::string& directory) {
    record(strprintf("ShellExecuteExW(%s, %s, %s, 0x%x, %d)", verb.c_str(), file.c_str(), parameters.c_str(), mask,
                     show) +
           (directory.empty() ? "" : " in " + directory));
    return !shellExecuteFails;
}

// --- VdConsole ---

bool SimProcess::attachParentConsole() {
    record("AttachConsole(ATTACH_PARENT_PROCESS)");
    return parentHasConsole;
}

bool SimProcess::allocConsole() {
    record("AllocConsole");
    return true;
}

bool SimProcess::hasStandardHandle(Stream stream) { return inheritedStreams.count(stream) != 0; }

void SimProcess::reopenOnConsole(Stream stream) {
    record(strprintf("freopen(%s, %s)", stream == Stream::Input ? "CONIN$" : "CONOUT$", streamName(stream)));
}

void SimProcess::print(const std::string& text) { consoleOutput += text; }

void SimProcess::catchControlEvents() { record("SetConsoleCtrlHandler(handler, TRUE)"); }

VdConsole::Release SimProcess::waitForRelease(uint32_t timeoutMs) {
    if (controlEventArrives) {
        record("wait: control event");
        return Release::ControlEvent;
    }
    if (consoleInputWait && !consoleInputWait(timeoutMs)) return Release::TimedOut;
    record("wait: input");
    return Release::Input;
}

bool SimProcess::controlEventArrived() {
    if (controlEventArrives) record("control event arrived");
    return controlEventArrives;
}

void SimProcess::releaseControlEvents() {
    record("SetConsoleCtrlHandler(handler, FALSE)");
    outputWhenControlEventsReleased = consoleOutput;
}


// --- TrayWindowApi ---

uint32_t SimProcess::messageId(const std::string& name) {
    auto it = messageIds_.find(name);
    if (it != messageIds_.end()) return it->second;
    const uint32_t id = 0xC100 + static_cast<uint32_t>(messageIds_.size());
    messageIds_[name] = id;
    return id;
}

std::string SimProcess::messageName(uint32_t message) const {
    for (const auto& [name, id] : messageIds_) {
        if (id == message) return name;
    }
    return strprintf("0x%04x", message);
}

uint32_t SimProcess::registerMessage(const std::string& name) {
    record("RegisterWindowMessageW(" + name + ")");
    if (failingRegistrations.count(name)) return 0;
    return messageId(name);
}

bool SimProcess::registerWindowClass(uint64_t, const std::string& className, int iconResource) {
    record(strprintf("RegisterClassExW(%s, icon %d)", className.c_str(), iconResource));
    registeredClasses.insert(className);
    return true;
}

WindowHandle SimProcess::createWindow(uint64_t instance, uint32_t exStyle, const std::string& className,
                                      const std::string& title, uint32_t style, TrayController& controller) {
    record(strprintf("CreateWindowExW(0x%x, %s, %s, 0x%x)", exStyle, className.c_str(), title.c_str(), style));
    if (windowCreationFails || !registeredClasses.count(className)) return 0;
    const WindowHandle handle = nextWindow_;
    nextWindow_ += 0x10;
    windows[handle] = Window{className, title, exStyle, style, instance, &controller};
    return handle;
}

void SimProcess::destroyWindow(WindowHandle window) {
    record("DestroyWindow");
    auto it = windows.find(window);
    if (it == windows.end()) return;
    TrayController* controller = it->second.controller;
    windows.erase(it);
    if (controller) controller->onMessage(window, 0x0002 /* WM_DESTROY */, 0, 0);
}

int64_t SimProcess::defaultWindowProc(WindowHandle, uint32_t message, uint64_t, int64_t) {
    record("DefWindowProcW(" + messageName(message) + ")");
    return 0;
}

bool SimProcess::setTimer(WindowHandle, uint32_t id, uint32_t milliseconds) {
    record(strprintf("SetTimer(%u, %u)", id, milliseconds));
    return true;
}

bool SimProcess::killTimer(WindowHandle, uint32_t id) {
    record(strprintf("KillTimer(%u)", id));
    return true;
}

bool SimProcess::shutdownBlockReasonCreate(WindowHandle, const std::string& reason) {
    record("ShutdownBlockReasonCreate(" + reason + ")");
    shutdownBlockReason = reason;
    return true;
}

bool SimProcess::shutdownBlockReasonDestroy(WindowHandle) {
    record("ShutdownBlockReasonDestroy");
    const bool held = shutdownBlockReason.has_value();
    shutdownBlockReason.reset();
    return held;
}

bool SimProcess::cursorPos(ScreenPoint& point) {
    record("GetCursorPos");
    point = cursor;
    return true;
}

int SimProcess::ownedMessageBox(WindowHandle owner, const std::string& text, const std::string& caption,
                                uint32_t flags) {
    record(strprintf("MessageBoxW(owner %llu, %s, %s, 0x%x)", static_cast<unsigned long long>(owner), text.c_str(),
                     caption.c_str(), flags));
    return messageBoxAnswer;
}

} // namespace qv::sim
