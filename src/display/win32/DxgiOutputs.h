#pragma once
#include <windows.h>

#include <cwchar>
#include <dxgi.h>
#include <string>
#include <wrl/client.h>

namespace qv {

// Finds the DXGI output of a display by its GDI device name (\\.\DISPLAYn),
// compared exactly, case included, over the whole name. Adapters and their
// outputs are walked until an enumeration ends (DXGI_ERROR_NOT_FOUND) or
// fails. True with the output's adapter, the output and its description.
inline bool findDxgiOutput(IDXGIFactory1& factory, const std::wstring& gdiName,
                           Microsoft::WRL::ComPtr<IDXGIAdapter1>& adapterOut,
                           Microsoft::WRL::ComPtr<IDXGIOutput>& outputOut, DXGI_OUTPUT_DESC& descOut) {
    for (UINT a = 0;; ++a) {
        Microsoft::WRL::ComPtr<IDXGIAdapter1> adapter;
        if (FAILED(factory.EnumAdapters1(a, &adapter))) return false;
        for (UINT o = 0;; ++o) {
            Microsoft::WRL::ComPtr<IDXGIOutput> output;
            if (FAILED(adapter->EnumOutputs(o, &output))) break;
            DXGI_OUTPUT_DESC desc{};
            if (FAILED(output->GetDesc(&desc))) continue;
            // DeviceName is a fixed array; a name that fills it has no NUL.
            const std::wstring name(desc.DeviceName, wcsnlen(desc.DeviceName, ARRAYSIZE(desc.DeviceName)));
            if (name != gdiName) continue;
            adapterOut = adapter;
            outputOut = output;
            descOut = desc;
            return true;
        }
    }
}

} // namespace qv
