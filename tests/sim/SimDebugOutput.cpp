#include "sim/SimDebugOutput.h"

#include <algorithm>

namespace qv::sim {

void SimDebugOutput::write(const std::string& text) {
    DebugOutput* next = nullptr;
    {
        std::lock_guard<std::mutex> lock(mutex_);
        lines_.push_back(text);
        next = next_;
    }
    if (next) next->write(text);
}

void SimDebugOutput::forwardTo(DebugOutput* next) {
    std::lock_guard<std::mutex> lock(mutex_);
    next_ = next;
}

std::vector<std::string> SimDebugOutput::lines() const {
    std::lock_guard<std::mutex> lock(mutex_);
    return lines_;
}

bool SimDebugOutput::contains(const std::string& level, const std::string& message) const {
    std::string wanted = "[Quorvane][" + level + "] " + message + "\n";
    std::lock_guard<std::mutex> lock(mutex_);
    return std::find(lines_.begin(), lines_.end(), wanted) != lines_.end();
}

void SimDebugOutput::clear() {
    std::lock_guard<std::mutex> lock(mutex_);
    lines_.clear();
}

} // namespace qv::sim
