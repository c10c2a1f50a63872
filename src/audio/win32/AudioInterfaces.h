#pragma once
// Audio interfaces the mingw headers do not declare; these declarations are our
// own. Slots count IUnknown's three methods as 0 to 2.
#include <windows.h>

#include <mmdeviceapi.h>
#include <unknwn.h>

// COM interfaces are released, never deleted through a base pointer, and a
// virtual destructor would take a vtable slot of its own.
#pragma GCC diagnostic push
#pragma GCC diagnostic ignored "-Wnon-virtual-dtor"

namespace qv::audiointerfaces {

// The peak meter of an endpoint (documented by Windows; mingw only names it).
// {C02216F6-8C67-4B5B-9D00-D008E73E0064}, slots in the order of
// learn.microsoft.com IAudioMeterInformation (endpointvolume.h).
constexpr IID kMeterInformation = {0xc02216f6, 0x8c67, 0x4b5b, {0x9d, 0x00, 0xd0, 0x08, 0xe7, 0x3e, 0x00, 0x64}};

struct MeterInformation : IUnknown {
    virtual HRESULT STDMETHODCALLTYPE GetPeakValue(float* peak) = 0;             // slot 3
    virtual HRESULT STDMETHODCALLTYPE GetMeteringChannelCount(UINT* count) = 0; // slot 4
    virtual HRESULT STDMETHODCALLTYPE GetChannelsPeakValues(UINT count, float* peaks) = 0;
    virtual HRESULT STDMETHODCALLTYPE QueryHardwareSupport(DWORD* mask) = 0;
};

// The policy configuration client that sets the default audio endpoint; not
// documented by Windows. Only the set-default method is called; the other
// slots are placeholders that keep it at its position in the table: slot 13
// of the Windows 7 interface, slot 12 of the Vista form. Each form is created
// from its own class. Class ids, interface ids and slot orders checked against
// the public PolicyConfig.h declarations (CPolicyConfigClient/IPolicyConfig and
// CPolicyConfigVistaClient/IPolicyConfigVista) as public audio switchers use them.

// {870AF99C-171D-4F9E-AF0D-E63DF40C2BC9} CPolicyConfigClient
constexpr CLSID kClientClass = {0x870af99c, 0x171d, 0x4f9e, {0xaf, 0x0d, 0xe6, 0x3d, 0xf4, 0x0c, 0x2b, 0xc9}};
// {F8679F50-850A-41CF-9C72-430F290290C8} IPolicyConfig
constexpr IID kWindows7Interface = {0xf8679f50, 0x850a, 0x41cf, {0x9c, 0x72, 0x43, 0x0f, 0x29, 0x02, 0x90, 0xc8}};
// {294935CE-F637-4E7C-A41B-AB255460B862} CPolicyConfigVistaClient
constexpr CLSID kVistaClientClass = {0x294935ce, 0xf637, 0x4e7c, {0xa4, 0x1b, 0xab, 0x25, 0x54, 0x60, 0xb8, 0x62}};
// {568B9108-44BF-40B4-9006-86AFE5B5A620} IPolicyConfigVista
constexpr IID kVistaInterface = {0x568b9108, 0x44bf, 0x40b4, {0x90, 0x06, 0x86, 0xaf, 0xe5, 0xb5, 0xa6, 0x20}};

// Windows 7 and later: ten methods this program does not use, then the
// set-default method.
struct Windows7Client : IUnknown {
    virtual HRESULT STDMETHODCALLTYPE unused3() = 0;
    virtual HRESULT STDMETHODCALLTYPE unused4() = 0;
    virtual HRESULT STDMETHODCALLTYPE unused5() = 0;
    virtual HRESULT STDMETHODCALLTYPE unused6() = 0;
    virtual HRESULT STDMETHODCALLTYPE unused7() = 0;
    virtual HRESULT STDMETHODCALLTYPE unused8() = 0;
    virtual HRESULT STDMETHODCALLTYPE unused9() = 0;
    virtual HRESULT STDMETHODCALLTYPE unused10() = 0;
    virtual HRESULT STDMETHODCALLTYPE unused11() = 0; // reads an endpoint property
    virtual HRESULT STDMETHODCALLTYPE unused12() = 0; // writes an endpoint property
    virtual HRESULT STDMETHODCALLTYPE SetDefaultEndpoint(PCWSTR endpointId, ERole role) = 0; // slot 13
};

// The Vista form: one method fewer before the set-default method.
struct VistaClient : IUnknown {
    virtual HRESULT STDMETHODCALLTYPE unused3() = 0;
    virtual HRESULT STDMETHODCALLTYPE unused4() = 0;
    virtual HRESULT STDMETHODCALLTYPE unused5() = 0;
    virtual HRESULT STDMETHODCALLTYPE unused6() = 0;
    virtual HRESULT STDMETHODCALLTYPE unused7() = 0;
    virtual HRESULT STDMETHODCALLTYPE unused8() = 0;
    virtual HRESULT STDMETHODCALLTYPE unused9() = 0;
    virtual HRESULT STDMETHODCALLTYPE unused10() = 0;
    virtual HRESULT STDMETHODCALLTYPE unused11() = 0;
    virtual HRESULT STDMETHODCALLTYPE SetDefaultEndpoint(PCWSTR endpointId, ERole role) = 0; // slot 12
};

} // namespace qv::audiointerfaces

#pragma GCC diagnostic pop
