#pragma once
#include <windows.h>
#include <tlhelp32.h>

namespace qv::test {

// Threads of this process now; -1 when the snapshot fails.
inline int threadCount() {
    HANDLE snapshot = CreateToolhelp32Snapshot(TH32CS_SNAPTHREAD, 0);
    if (snapshot == INVALID_HANDLE_VALUE) return -1;
    THREADENTRY32 entry{};
    entry.dwSize = sizeof entry;
    int count = 0;
    const DWORD self = GetCurrentProcessId();
    for (BOOL more = Thread32First(snapshot, &entry); more; more = Thread32Next(snapshot, &entry))
        if (entry.th32OwnerProcessID == self) ++count;
    CloseHandle(snapshot);
    return count;
}

// The thread count once it has come down to at most expected, or after five
// seconds. Our own threads are joined before the calls under test return;
// Wine's libraries end some helper threads of theirs a moment later, on a
// busy machine noticeably later.
inline int threadCountSettled(int expected) {
    int count = threadCount();
    for (int waited = 0; count > expected && waited < 5000; waited += 20) {
        Sleep(20);
        count = threadCount();
    }
    return count;
}

// The thread count once it has stayed the same for 200 ms (at most five
// seconds): a baseline that Wine's short-lived helper threads do not inflate.
inline int stableThreadCount() {
    int count = threadCount();
    for (int waited = 0, still = 0; still < 200 && waited < 5000; waited += 20) {
        Sleep(20);
        const int now = threadCount();
        still = now == count ? still + 20 : 0;
        count = now;
    }
    return count;
}

} // namespace qv::test
