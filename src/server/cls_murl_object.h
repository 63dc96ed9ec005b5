#pragma once
// The COM face of the plug-in: a clsMurl object as the host creates and drives it. It grants
// IUnknown, IDispatch, _clsMurl, IPlugin2 and ISupportErrorInfo, and hands every host call to
// the core.

#include <memory>

#include "platform/win32/windows_headers.h"

#include <oaidl.h>

#include "host_idl.h"
#include "plugin/cls_murl.h"
#include "server/com_object.h"
#include "server/component_runtime.h"
#include "server/host_binding.h"

namespace murl::server {

// The class's default interface: dual, with no members of its own.
struct _clsMurl : public IDispatch {};

class ClsMurlObject final : public ComObject<ClsMurlObject, _clsMurl, IPlugin2, ISupportErrorInfo>,
                            private ModuleObject {
public:
    // IUnknown answers with the default interface.
    static const Grant<ClsMurlObject> kInterfaces[5];

    // The class factory makes a new object and answers it in `iid`.
    static HRESULT Create(REFIID iid, void** out) noexcept;

    STDMETHODIMP GetTypeInfoCount(UINT* count) noexcept override;
    STDMETHODIMP GetTypeInfo(UINT index, LCID locale, ITypeInfo** info) noexcept override;
    STDMETHODIMP GetIDsOfNames(REFIID iid, LPOLESTR* names, UINT count, LCID locale,
                               DISPID* ids) noexcept override;
    STDMETHODIMP Invoke(DISPID id, REFIID iid, LCID locale, WORD flags, DISPPARAMS* params,
                        VARIANT* result, EXCEPINFO* info, UINT* arg_err) noexcept override;

    // The host calls Initialize once after creation, with its site.
    STDMETHODIMP Initialize(IHostSite* Site) noexcept override;
    // The host calls Terminate before it releases the plug-in.
    STDMETHODIMP Terminate() noexcept override;

    // Whether a failed call on `iid` leaves IErrorInfo for the caller.
    STDMETHODIMP InterfaceSupportsErrorInfo(REFIID iid) noexcept override;

private:
    ClsMurlObject();
    ~ClsMurlObject() override;

    std::shared_ptr<BindingContext> context_;
    std::unique_ptr<clsMurl> core_;
};

}  // namespace murl::server
