#include "server/cls_murl_object.h"

#include "platform/win32/win32_platform.h"
#include "server/com_errors.h"
#include "server/component_runtime.h"
#include "server/identity.h"

namespace murl::server {

namespace {

// The ports every plug-in object of the module shares; made at the first creation.
Platform ModulePlatform() {
    static Win32Platform ports;
    return ports.MakePlatform();
}

}  // namespace

const Grant<ClsMurlObject> ClsMurlObject::kInterfaces[4] = {
    {&IID_IUnknown, Always<ClsMurlObject, _clsMurl>},
    {&IID_IDispatch, Always<ClsMurlObject, _clsMurl>},
    {&kIidClsMurl, Always<ClsMurlObject, _clsMurl>},
    {&IID_IPlugin2, Always<ClsMurlObject, IPlugin2>},
};

ClsMurlObject::ClsMurlObject()
    : context_(std::make_shared<BindingContext>()),
      core_(std::make_unique<clsMurl>(ModulePlatform())) {
    context_->owner = static_cast<_clsMurl*>(this);
    ObjectCreated();
}

ClsMurlObject::~ClsMurlObject() {
    context_->owner = nullptr;
    core_.reset();
    ObjectDestroyed();
}

HRESULT ClsMurlObject::Create(REFIID iid, void** out) noexcept {
    if (!out) return E_POINTER;
    *out = nullptr;
    return Guard([&] {
        auto* object = new ClsMurlObject();
        const HRESULT hr = object->QueryInterface(iid, out);
        object->Release();
        return hr;
    });
}

HRESULT ClsMurlObject::GetTypeInfoCount(UINT* count) noexcept {
    if (!count) return E_POINTER;
    *count = 0;
    return S_OK;
}

HRESULT ClsMurlObject::GetTypeInfo(UINT, LCID, ITypeInfo** info) noexcept {
    if (!info) return E_POINTER;
    *info = nullptr;
    return DISP_E_BADINDEX;
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

HRESULT ClsMurlObject::Initialize(IHostSite* Site) noexcept {
    return Guard([&] {
        core_->IPlugin2_Initialize(WrapSite(context_, Site));
        return S_OK;
    });
}

HRESULT ClsMurlObject::Terminate() noexcept {
    core_->IPlugin2_Terminate();
    return S_OK;
}

}  // namespace murl::server
