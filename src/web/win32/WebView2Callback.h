#pragma once
#include "web/win32/WebView2Api.h"

#include <functional>
#include <memory>

// COM interfaces are released, never deleted through a base pointer, and a
// virtual destructor would take a vtable slot of its own.
#pragma GCC diagnostic push
#pragma GCC diagnostic ignored "-Wnon-virtual-dtor"

namespace qv::wv2 {

// A completion or event handler for the runtime: a COM object with its own
// reference count that answers to IUnknown and to its interface, and runs a
// function on Invoke. The runtime holds it as long as it likes; the function
// must therefore not capture anything that may be gone by then (see Owner).
template <class Interface, const GUID& Iid, class... Args>
class Callback final : public Interface {
public:
    using Function = std::function<HRESULT(Args...)>;

    // A new handler with one reference, which the caller owns.
    static Interface* create(Function function) { return new Callback(std::move(function)); }

    HRESULT STDMETHODCALLTYPE QueryInterface(REFIID iid, void** out) override {
        if (out == nullptr) return E_POINTER;
        if (IsEqualIID(iid, IID_IUnknown) || IsEqualIID(iid, Iid)) {
            *out = static_cast<Interface*>(this);
            AddRef();
            return S_OK;
        }
        *out = nullptr;
        return E_NOINTERFACE;
    }
    ULONG STDMETHODCALLTYPE AddRef() override { return static_cast<ULONG>(InterlockedIncrement(&references_)); }
    ULONG STDMETHODCALLTYPE Release() override {
        const LONG left = InterlockedDecrement(&references_);
        if (left == 0) delete this;
        return static_cast<ULONG>(left);
    }
    HRESULT STDMETHODCALLTYPE Invoke(Args... args) override { return function_(args...); }

private:
    explicit Callback(Function function) : function_(std::move(function)) {}
    ~Callback() = default;

    Function function_;
    LONG references_ = 1;
};

using EnvironmentCompleted = Callback<EnvironmentCompletedHandler, kIidEnvironmentCompletedHandler, HRESULT, Environment*>;
using ControllerCompleted = Callback<ControllerCompletedHandler, kIidControllerCompletedHandler, HRESULT, Controller*>;
using WebMessageReceived =
    Callback<WebMessageReceivedHandler, kIidWebMessageReceivedHandler, WebView*, WebMessageReceivedEventArgs*>;
using NavigationCompleted = Callback<NavigationCompletedHandler, kIidNavigationCompletedHandler, WebView*, IUnknown*>;

// What a handler refers to, cleared when its owner goes away: a handler the
// runtime calls late then finds nothing and does nothing.
template <class T>
class Owner {
public:
    explicit Owner(T* owner) : cell_(std::make_shared<T*>(owner)) {}
    ~Owner() { *cell_ = nullptr; }
    Owner(const Owner&) = delete;
    Owner& operator=(const Owner&) = delete;

    // A copy for a handler to keep; the pointed-to pointer is null once the owner is gone.
    std::shared_ptr<T*> share() const { return cell_; }

private:
    std::shared_ptr<T*> cell_;
};

// Releases a COM pointer and forgets it.
template <class T>
void release(T*& pointer) {
    if (pointer != nullptr) {
        pointer->Release();
        pointer = nullptr;
    }
}

} // namespace qv::wv2

#pragma GCC diagnostic pop
