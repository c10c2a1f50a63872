#pragma once
#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <memory>
#include <mutex>

namespace qv::vdisplay {

// A result that an asynchronous callback delivers to a caller who waits for
// it a limited time. The state is shared: the waiter holds one reference,
// each delivery token another, so a callback that arrives after the waiter
// gave up (and returned) still writes into live memory, and whichever side
// finishes last frees it.
//
// A token is an opaque pointer to hand through a C callback's context. Each
// token must be spent exactly once: by deliver() in the callback, or by
// abandon() when the call that would have delivered it failed and the
// callback will never run.
class PendingCompletion {
public:
    explicit PendingCompletion(int32_t initial) : state_(std::make_shared<State>(initial)) {}

    void* deliveryToken() { return new std::shared_ptr<State>(state_); }

    static void deliver(void* token, int32_t result) {
        std::unique_ptr<std::shared_ptr<State>> owned(static_cast<std::shared_ptr<State>*>(token));
        if (!owned) return;
        State& state = **owned;
        {
            std::lock_guard<std::mutex> lock(state.mutex);
            if (state.delivered) return;
            state.result = result;
            state.delivered = true;
        }
        state.done.notify_all();
    }

    static void abandon(void* token) { delete static_cast<std::shared_ptr<State>*>(token); }

    // Waits up to timeoutMs for a delivery; true when it came. The result
    // keeps its initial value until then.
    bool wait(uint32_t timeoutMs) {
        std::unique_lock<std::mutex> lock(state_->mutex);
        return state_->done.wait_for(lock, std::chrono::milliseconds(timeoutMs), [this] { return state_->delivered; });
    }

    bool delivered() const {
        std::lock_guard<std::mutex> lock(state_->mutex);
        return state_->delivered;
    }

    int32_t result() const {
        std::lock_guard<std::mutex> lock(state_->mutex);
        return state_->result;
    }

private:
    struct State {
        explicit State(int32_t initial) : result(initial) {}
        mutable std::mutex mutex;
        std::condition_variable done;
        int32_t result;
        bool delivered = false;
    };

    std::shared_ptr<State> state_;
};

} // namespace qv::vdisplay
