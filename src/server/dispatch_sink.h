#pragma once
// The IDispatch of an event sink: a source raises its events on it through Invoke, by DISPID,
// which the sink implements. It offers no type information and knows no names, and it answers
// IUnknown, IDispatch and the dispatch interface of its events `*kEvents`, all with one face.
//
//     class Sink final : public DispatchSink<Sink, &DIID_DHostHooksEvents> {
//     public:
//         STDMETHODIMP Invoke(DISPID id, ...) noexcept override;
//     };

#include "platform/win32/windows_headers.h"

#include <oaidl.h>

#include "server/com_object.h"

namespace murl::server {

template <class Derived, const IID* kEvents>
class DispatchSink : public ComObject<Derived, IDispatch> {
public:
    static constexpr Grant<Derived> kInterfaces[] = {
        {&IID_IUnknown, Always<Derived, IDispatch>},
        {&IID_IDispatch, Always<Derived, IDispatch>},
        {kEvents, Always<Derived, IDispatch>},
    };

    STDMETHODIMP GetTypeInfoCount(UINT* count) noexcept override {
        if (!count) return E_POINTER;
        *count = 0;
        return S_OK;
    }
    STDMETHODIMP GetTypeInfo(UINT, LCID, ITypeInfo** info) noexcept override {
        if (!info) return E_POINTER;
        *info = nullptr;
        return DISP_E_BADINDEX;
    }
    STDMETHODIMP GetIDsOfNames(REFIID, LPOLESTR*, UINT count, LCID, DISPID* ids) noexcept override {
        if (ids) {
            for (UINT i = 0; i < count; ++i) ids[i] = DISPID_UNKNOWN;
        }
        return DISP_E_UNKNOWNNAME;
    }

protected:
    DispatchSink() noexcept = default;
    ~DispatchSink() override = default;
};

}  // namespace murl::server
