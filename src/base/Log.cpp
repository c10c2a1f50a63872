#include "base/Log.h"

#include "base/DebugOutput.h"
#include "base/FileSystem.h"
#include "base/LogTesting.h"
#include "base/StrPrintf.h"

#include <algorithm>
#include <climits>
#include <cstdarg>
#include <cstdio>
#include <ctime>
#include <memory>
#include <mutex>

namespace qv::log {

namespace {

// qv.log is moved to qv.log.1 once it holds this many bytes.
constexpr int64_t kRotateBytes = 1048576;

struct State {
    std::mutex mutex;
    std::unique_ptr<FileSystem::File> file;
    std::string path;
    // Size of the file when opened plus the bytes of every line written since.
    int64_t bytes = 0;
    std::function<std::tm()> now;
};

// Never destroyed, so lines logged while the process ends still find it.
State& state() {
    static State* s = new State;
    return *s;
}

const char* levelName(int level) {
    switch (level) {
    case Debug: return "DBG";
    case Info: return "INF";
    case Warn: return "WRN";
    case Error: return "ERR";
    default: return "???";
    }
}

std::tm localNow(const State& s) {
    if (s.now) return s.now();
    std::time_t t = std::time(nullptr);
    std::tm tm{};
#ifdef _WIN32
    localtime_s(&tm, &t);
#else
    localtime_r(&t, &tm);
#endif
    return tm;
}

std::string timeText(const State& s) {
    std::tm tm = localNow(s);
    char buf[32];
    size_t n = std::strftime(buf, sizeof buf, "%Y-%m-%d %H:%M:%S", &tm);
    return std::string(buf, n);
}

// Opens the remembered path for appending and takes its size as the byte count.
void openFile(State& s) {
    s.file = FileSystem::current().openAppend(s.path);
    s.bytes = 0;
    if (!s.file) return;
    s.bytes = std::max<int64_t>(s.file->size(), 0);
}

void closeFile(State& s) {
    if (s.file) s.file->close();
    s.file.reset();
}

void rotate(State& s) {
    closeFile(s);
    // A failed move (qv.log.1 held open elsewhere) reopens the same file, whose
    // count stays above the limit, so the next line tries again.
    FileSystem::current().moveFile(s.path, s.path + ".1",
                                   FileSystem::kMoveReplaceExisting | FileSystem::kMoveCopyAllowed);
    openFile(s);
}

} // namespace

void open(const std::string& pathUtf8) {
    State& s = state();
    std::lock_guard<std::mutex> lock(s.mutex);
    closeFile(s);
    s.path = pathUtf8;
    FileSystem::current().createFolderChain(parentFolder(s.path));
    openFile(s);
    if (!s.file) return;
    // The header is not counted: the count tracks the lines only.
    s.file->write(strprintf("%s --- log opened ---\n", timeText(s).c_str()));
    s.file->flush();
}

void write(int level, std::string_view text) {
    State& s = state();
    std::lock_guard<std::mutex> lock(s.mutex);
    const char* name = levelName(level);

    std::string console = "[Quorvane][";
    console += name;
    console += "] ";
    console += text;
    console += '\n';
    std::fputs(console.c_str(), stderr);
    DebugOutput::current().write(console);

    if (!s.file) return;
    int length = static_cast<int>(std::min<size_t>(text.size(), INT_MAX));
    int64_t written = s.file->write(strprintf("%s %s %.*s\n", timeText(s).c_str(), name, length, text.data()));
    s.file->flush();
    if (written > 0) s.bytes += written;
    if (s.bytes >= kRotateBytes) rotate(s);
}

void logf(int level, const char* format, ...) {
    char buf[1024];
    va_list args;
    va_start(args, format);
    int n = std::vsnprintf(buf, sizeof buf, format, args);
    va_end(args);
    if (n < 0) return;
    write(level, std::string_view(buf, std::min<size_t>(static_cast<size_t>(n), sizeof buf - 1)));
}

void resetForTests() {
    State& s = state();
    std::lock_guard<std::mutex> lock(s.mutex);
    closeFile(s);
    s.path.clear();
    s.bytes = 0;
    s.now = nullptr;
}

void setLocalTimeForTests(std::function<std::tm()> now) {
    State& s = state();
    std::lock_guard<std::mutex> lock(s.mutex);
    s.now = std::move(now);
}

} // namespace qv::log
