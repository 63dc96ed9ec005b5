#pragma once
// The boundary between COM and the core's exceptions, in both directions.
//
// Outward: every COM method and event sink runs its body through Guard or GuardSink, the one
// catch-all that turns whatever was thrown into an HRESULT: bad_alloc into E_OUTOFMEMORY, the
// core's Error into its HRESULT with its description (IErrorInfo for vtable methods, EXCEPINFO
// and DISP_E_EXCEPTION for sinks), anything else into E_UNEXPECTED. With the trace on, each
// failure it hands back is traced.
//
// Inward: a failed HRESULT from a host call becomes the core's Error, described by the host's
// IErrorInfo when it set one, and traced with the trace on.

#include <string>

#include "host/error.h"
#include "platform/win32/windows_headers.h"

#include <oaidl.h>

namespace murl::server {

// The HRESULT that carries the platform error `number`, and back.
HRESULT HResultOfError(int32_t number) noexcept;
int32_t ErrorOfHResult(HRESULT hr) noexcept;

// Throws the core's Error for a failed host call; `hr` must be a failure. Picks up the error
// information the host left on this thread. A call on a host object names itself in `call`,
// for the trace.
[[noreturn]] void ThrowHostFailure(HRESULT hr, const char* call = nullptr);

// Throws when `hr` is a failure.
inline void Check(HRESULT hr, const char* call = nullptr) {
    if (FAILED(hr)) [[unlikely]]
        ThrowHostFailure(hr, call);
}

// The HRESULT for the exception in flight; sets the thread's IErrorInfo for the core's Error.
// Call only inside a catch block.
HRESULT ReportToCaller() noexcept;

// The same for an event sink: the core's Error goes into `info` (when the host gave one) and
// the result is DISP_E_EXCEPTION. Call only inside a catch block.
HRESULT ReportToSink(EXCEPINFO* info) noexcept;

template <class Body>
HRESULT Guard(Body&& body) noexcept {
    try {
        return body();
    } catch (...) {
        return ReportToCaller();
    }
}

template <class Body>
HRESULT GuardSink(EXCEPINFO* info, Body&& body) noexcept {
    try {
        return body();
    } catch (...) {
        return ReportToSink(info);
    }
}

}  // namespace murl::server
