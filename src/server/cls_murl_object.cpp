#include "platform/win32/windows_headers.h"

#include "server/cls_murl_object.h"

#include <new>

#include "platform/win32/win32_holders.h"
#include "platform/win32/win32_platform.h"
#include "server/com_errors.h"
#include "server/component_runtime.h"
#include "server/identity.h"
#include "server/trace.h"

namespace murl::server {

using win32::ComPtr;

namespace {

// The ports every plug-in object of the module shares, made when the module loads. (A
// function-local static would be guarded at each use, and its first use would make MinGW's
// runtime create a semaphore for its guards, which runtime/closed_semaphores.cpp must then
// close at unload.)
Win32Platform g_ports;

Platform ModulePlatform() {
    return g_ports.MakePlatform();
}

}  // namespace

const Grant<ClsMurlObject> ClsMurlObject::kInterfaces[5] = {
    {&IID_IUnknown, Always<ClsMurlObject, _clsMurl>},
    {&IID_IDispatch, Always<ClsMurlObject, _clsMurl>},
    {&kIidClsMurl, Always<ClsMurlObject, _clsMurl>},
    {&IID_IPlugin2, Always<ClsMurlObject, IPlugin2>},
    {&IID_ISupportErrorInfo, Always<ClsMurlObject, ISupportErrorInfo>},
};

ClsMurlObject::ClsMurlObject()
    : context_(std::make_shared<BindingContext>()),
      core_(std::make_unique<clsMurl>(ModulePlatform())) {
    context_->owner = this;
}

ClsMurlObject::~ClsMurlObject() {
    context_->owner = nullptr;
    core_.reset();
}

HRESULT ClsMurlObject::Create(REFIID iid, void** out) noexcept {
    if (!out) return E_POINTER;
    *out = nullptr;
    return Guard([&] {
        auto* object = new (std::nothrow) ClsMurlObject();
        if (!object) return E_OUTOFMEMORY;
        const HRESULT hr = object->QueryInterface(iid, out);
        object->Release();
        return hr;
    });
}

// The type information of _clsMurl, from the module's own type library: script hosts name the
// object by it.
HRESULT ClsMurlObject::GetTypeInfoCount(UINT* count) noexcept {
    if (!count) return E_POINTER;
    *count = 1;
    return S_OK;
}

HRESULT ClsMurlObject::GetTypeInfo(UINT index, LCID, ITypeInfo** info) noexcept {
    if (!info) return E_POINTER;
    *info = nullptr;
    if (index != 0) return DISP_E_BADINDEX;
    return ModuleTypeInfo(kIidClsMurl, info);
}

// The class has no public member: every name is unknown.
HRESULT ClsMurlObject::GetIDsOfNames(REFIID iid, LPOLESTR*, UINT count, LCID,
                                     DISPID* ids) noexcept {
    if (ids) {
        for (UINT i = 0; i < count; ++i) ids[i] = DISPID_UNKNOWN;
    }
    if (iid != IID_NULL) return DISP_E_UNKNOWNINTERFACE;
    return DISP_E_UNKNOWNNAME;
}

HRESULT ClsMurlObject::Invoke(DISPID, REFIID iid, LCID, WORD, DISPPARAMS*, VARIANT*, EXCEPINFO*,
                              UINT*) noexcept {
    if (iid != IID_NULL) return DISP_E_UNKNOWNINTERFACE;
    return DISP_E_MEMBERNOTFOUND;
}

// The host may release its last reference from inside a call the plug-in makes on it: the
// object keeps itself alive until its own method returns. The trace's switch is read here.
HRESULT ClsMurlObject::Initialize(IHostSite* Site) noexcept {
    const ComPtr<IPlugin2> pin(this);
    trace::Start();
    const LONGLONG began = trace::On() ? trace::Now() : 0;
    const HRESULT hr = Guard([&] {
        core_->IPlugin2_Initialize(WrapSite(context_, Site));
        return S_OK;
    });
    if (trace::On()) trace::Entry("Initialize", hr, began);
    return hr;
}

HRESULT ClsMurlObject::Terminate() noexcept {
    const ComPtr<IPlugin2> pin(this);
    const LONGLONG began = trace::On() ? trace::Now() : 0;
    core_->IPlugin2_Terminate();
    if (trace::On()) trace::Entry("Terminate", S_OK, began);
    trace::Close();  // also when a later initialisation switched the trace off
    return S_OK;
}

HRESULT ClsMurlObject::InterfaceSupportsErrorInfo(REFIID iid) noexcept {
    return iid == IID_IPlugin2 || iid == kIidClsMurl ? S_OK : S_FALSE;
}

}  // namespace murl::server
