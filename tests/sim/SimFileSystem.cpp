#include "sim/SimFileSystem.h"

#include "base/StrPrintf.h"

#include <algorithm>
#include <thread>

namespace qv::sim {

struct SimFileSystem::State {
    mutable std::mutex mutex;
    std::set<std::string> folders;
    std::map<std::string, std::string> files;
    std::map<std::string, int> openCount;
    std::set<std::pair<Op, std::string>> failures;
    std::set<std::string> held; // open elsewhere without sharing
    std::set<std::string> readOnly; // folders whose entries cannot change
    std::vector<std::string> calls;
    bool slowWrites = false;

    bool fails(Op op, const std::string& path) const { return failures.count({op, path}) != 0; }

    bool folderExists(const std::string& path) const {
        if (path.find_first_of("\\/") == std::string::npos) return true; // a root
        return folders.count(path) != 0;
    }

    bool parentExists(const std::string& path) const {
        std::string parent = qv::parentFolder(path);
        return parent.empty() || folderExists(parent);
    }

    bool inReadOnly(const std::string& path) const { return readOnly.count(qv::parentFolder(path)) != 0; }

    bool isOpen(const std::string& path) const {
        auto it = openCount.find(path);
        return (it != openCount.end() && it->second > 0) || held.count(path) != 0;
    }

    void addFolderChain(const std::string& path) {
        for (size_t i = 1; i <= path.size(); ++i) {
            if (i == path.size() || path[i] == '\\' || path[i] == '/') {
                std::string level = path.substr(0, i);
                if (level.find_first_of("\\/") != std::string::npos) folders.insert(level);
            }
        }
    }
};

namespace {

using State = SimFileSystem::State;
using Op = SimFileSystem::Op;

class SimFile final : public qv::FileSystem::File {
public:
    SimFile(std::shared_ptr<State> state, std::string path) : state_(std::move(state)), path_(std::move(path)) {}
    ~SimFile() override { close(); }

    int64_t size() override {
        std::lock_guard<std::mutex> lock(state_->mutex);
        if (closed_) return -1;
        return static_cast<int64_t>(state_->files[path_].size());
    }

    int64_t write(std::string_view bytes) override {
        bool slow;
        {
            std::lock_guard<std::mutex> lock(state_->mutex);
            state_->calls.push_back(qv::strprintf("write %s %zu", path_.c_str(), bytes.size()));
            if (closed_ || state_->fails(Op::Write, path_)) return -1;
            slow = state_->slowWrites;
            if (!slow) {
                state_->files[path_].append(bytes);
                return static_cast<int64_t>(bytes.size());
            }
        }
        for (char c : bytes) {
            {
                std::lock_guard<std::mutex> lock(state_->mutex);
                state_->files[path_] += c;
            }
            std::this_thread::yield();
        }
        return static_cast<int64_t>(bytes.size());
    }

    bool flush() override { return record("flush", Op::Flush); }
    bool commit() override { return record("commit", Op::Commit); }

    bool close() override {
        std::lock_guard<std::mutex> lock(state_->mutex);
        if (closed_) return true;
        closed_ = true;
        state_->openCount[path_]--;
        state_->calls.push_back("close " + path_);
        return !state_->fails(Op::Close, path_);
    }

private:
    bool record(const char* name, Op op) {
        std::lock_guard<std::mutex> lock(state_->mutex);
        state_->calls.push_back(std::string(name) + " " + path_);
        return !closed_ && !state_->fails(op, path_);
    }

    std::shared_ptr<State> state_;
    std::string path_;
    bool closed_ = false;
};

} // namespace

SimFileSystem::SimFileSystem() : state_(std::make_shared<State>()) {}
SimFileSystem::~SimFileSystem() = default;

void SimFileSystem::addFolder(const std::string& path) {
    std::lock_guard<std::mutex> lock(state_->mutex);
    state_->addFolderChain(path);
}

void SimFileSystem::setFile(const std::string& path, const std::string& bytes) {
    std::lock_guard<std::mutex> lock(state_->mutex);
    state_->addFolderChain(qv::parentFolder(path));
    state_->files[path] = bytes;
}

bool SimFileSystem::fileExists(const std::string& path) const {
    std::lock_guard<std::mutex> lock(state_->mutex);
    return state_->files.count(path) != 0;
}

bool SimFileSystem::folderExists(const std::string& path) const {
    std::lock_guard<std::mutex> lock(state_->mutex);
    return state_->folderExists(path);
}

std::string SimFileSystem::content(const std::string& path) const {
    std::lock_guard<std::mutex> lock(state_->mutex);
    auto it = state_->files.find(path);
    return it == state_->files.end() ? std::string() : it->second;
}

std::vector<std::string> SimFileSystem::files() const {
    std::lock_guard<std::mutex> lock(state_->mutex);
    std::vector<std::string> out;
    for (const auto& entry : state_->files) out.push_back(entry.first);
    return out;
}

void SimFileSystem::failOn(Op op, const std::string& path) {
    std::lock_guard<std::mutex> lock(state_->mutex);
    state_->failures.insert({op, path});
}

void SimFileSystem::clearFailures() {
    std::lock_guard<std::mutex> lock(state_->mutex);
    state_->failures.clear();
    state_->readOnly.clear();
}

void SimFileSystem::holdWithoutSharing(const std::string& path) {
    std::lock_guard<std::mutex> lock(state_->mutex);
    state_->held.insert(path);
}

void SimFileSystem::release(const std::string& path) {
    std::lock_guard<std::mutex> lock(state_->mutex);
    state_->held.erase(path);
}

void SimFileSystem::setReadOnlyFolder(const std::string& path) {
    std::lock_guard<std::mutex> lock(state_->mutex);
    state_->readOnly.insert(path);
}

bool SimFileSystem::removeFolder(const std::string& path) {
    std::lock_guard<std::mutex> lock(state_->mutex);
    state_->calls.push_back("removeFolder " + path);
    if (!state_->folders.count(path) || state_->inReadOnly(path)) return false;
    for (const auto& folder : state_->folders)
        if (qv::parentFolder(folder) == path) return false;
    for (const auto& file : state_->files)
        if (qv::parentFolder(file.first) == path) return false;
    state_->folders.erase(path);
    return true;
}

void SimFileSystem::setSlowWrites(bool slow) {
    std::lock_guard<std::mutex> lock(state_->mutex);
    state_->slowWrites = slow;
}

std::vector<std::string> SimFileSystem::calls() const {
    std::lock_guard<std::mutex> lock(state_->mutex);
    return state_->calls;
}

void SimFileSystem::clearCalls() {
    std::lock_guard<std::mutex> lock(state_->mutex);
    state_->calls.clear();
}

bool SimFileSystem::createFolder(const std::string& path) {
    std::lock_guard<std::mutex> lock(state_->mutex);
    state_->calls.push_back("createFolder " + path);
    if (state_->fails(Op::CreateFolder, path)) return false;
    if (state_->folderExists(path) || state_->files.count(path) || !state_->parentExists(path) ||
        state_->inReadOnly(path))
        return false;
    state_->folders.insert(path);
    return true;
}

std::unique_ptr<qv::FileSystem::File> SimFileSystem::open(const std::string& path, bool truncate) {
    std::lock_guard<std::mutex> lock(state_->mutex);
    state_->calls.push_back((truncate ? "openWrite " : "openAppend ") + path);
    if (state_->fails(Op::Open, path) || !state_->parentExists(path) || state_->folders.count(path) ||
        state_->held.count(path) || state_->inReadOnly(path))
        return nullptr;
    std::string& bytes = state_->files[path];
    if (truncate) bytes.clear();
    state_->openCount[path]++;
    return std::make_unique<SimFile>(state_, path);
}

std::unique_ptr<qv::FileSystem::File> SimFileSystem::openAppend(const std::string& path) { return open(path, false); }

std::unique_ptr<qv::FileSystem::File> SimFileSystem::openWrite(const std::string& path) { return open(path, true); }

qv::FileSystem::ReadStatus SimFileSystem::readFile(const std::string& path, std::string& out, std::string& error) {
    std::lock_guard<std::mutex> lock(state_->mutex);
    state_->calls.push_back("read " + path);
    auto it = state_->files.find(path);
    if (it == state_->files.end()) return ReadStatus::Missing;
    if (state_->held.count(path)) {
        error = "The process cannot access the file because it is being used by another process (0x20)";
        return ReadStatus::CannotOpen;
    }
    if (state_->fails(Op::Open, path)) {
        error = "Access is denied (0x5)";
        return ReadStatus::CannotOpen;
    }
    if (state_->fails(Op::Read, path)) {
        error = "The request could not be performed because of an I/O device error (0x45D)";
        return ReadStatus::Failed;
    }
    out = it->second;
    return ReadStatus::Ok;
}

bool SimFileSystem::moveFile(const std::string& from, const std::string& to, uint32_t flags) {
    std::lock_guard<std::mutex> lock(state_->mutex);
    state_->calls.push_back(qv::strprintf("move %s -> %s flags=%u", from.c_str(), to.c_str(), flags));
    auto src = state_->files.find(from);
    if (state_->fails(Op::Move, from) || src == state_->files.end() || state_->isOpen(from)) return false;
    if (!state_->parentExists(to) || state_->inReadOnly(from) || state_->inReadOnly(to)) return false;
    if (state_->files.count(to) && (!(flags & kMoveReplaceExisting) || state_->isOpen(to))) return false;
    std::string bytes = std::move(src->second);
    state_->files.erase(src);
    state_->files[to] = std::move(bytes);
    return true;
}

bool SimFileSystem::copyFile(const std::string& from, const std::string& to) {
    std::lock_guard<std::mutex> lock(state_->mutex);
    state_->calls.push_back(qv::strprintf("copy %s -> %s", from.c_str(), to.c_str()));
    auto src = state_->files.find(from);
    if (state_->fails(Op::Copy, from) || src == state_->files.end() || !state_->parentExists(to) ||
        state_->held.count(from))
        return false;
    if (state_->isOpen(to) || state_->inReadOnly(to)) return false;
    state_->files[to] = src->second;
    return true;
}

bool SimFileSystem::removeFile(const std::string& path) {
    std::lock_guard<std::mutex> lock(state_->mutex);
    state_->calls.push_back("remove " + path);
    if (state_->fails(Op::Remove, path) || !state_->files.count(path) || state_->isOpen(path) ||
        state_->inReadOnly(path))
        return false;
    state_->files.erase(path);
    return true;
}

bool SimFileSystem::listFolder(const std::string& path, std::vector<FolderEntry>& out) {
    std::lock_guard<std::mutex> lock(state_->mutex);
    state_->calls.push_back("list " + path);
    out.clear();
    if (state_->fails(Op::List, path) || !state_->folderExists(path)) return false;
    auto add = [&](const std::string& entry, bool regularFile) {
        if (qv::parentFolder(entry) == path) out.push_back({entry.substr(path.size() + 1), regularFile});
    };
    for (const auto& folder : state_->folders) add(folder, false);
    for (const auto& file : state_->files) add(file.first, true);
    // Listings promise no order; newest-looking names first keeps callers honest.
    std::reverse(out.begin(), out.end());
    return true;
}

} // namespace qv::sim
