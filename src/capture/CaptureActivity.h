#pragma once
#include <atomic>

namespace qv {

// How many recordings and NDI shares are running in this process, for
// readers on any thread (the automatic update postpones its restart while
// one runs). A running recording or share holds one CaptureActivity for as
// long as it runs.
class CaptureActivity {
public:
    CaptureActivity() { count().fetch_add(1); }
    ~CaptureActivity() { count().fetch_sub(1); }
    CaptureActivity(const CaptureActivity&) = delete;
    CaptureActivity& operator=(const CaptureActivity&) = delete;

    static bool anyRunning() { return count().load() > 0; }

private:
    static std::atomic<int>& count() {
        static std::atomic<int> running{0};
        return running;
    }
};

} // namespace qv
