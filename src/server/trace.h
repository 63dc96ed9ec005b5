#pragma once
// murl.dll's trace: one line for every entry at the COM boundary (initialisation, termination,
// each event a sink receives with its arguments and result, each host call that fails, each
// failure handed back to the host), to the debugger's output and to the account's trace file.
// It is off unless the player switched it on; the switch is read at initialisation. Off, an
// entry costs the one load and branch of On(); nothing else here runs.
//
// Writing never fails an entry: a trace file that cannot be written is let go, and the lines go
// on to the debugger's output only.

#include <atomic>
#include <string_view>

#include "platform/win32/windows_headers.h"

#include <oaidl.h>

namespace murl::server::trace {

extern std::atomic<bool> g_on;

inline bool On() noexcept {
    return g_on.load(std::memory_order_relaxed);
}

// Reads the player's switch: the trace is on from here when it says so.
void Start() noexcept;
// Lets go of the trace file; the next line opens it again.
void Close() noexcept;

// The performance counter; read only while the trace is on.
LONGLONG Now() noexcept;

// An event sink's delivery of one event, with IDispatch::Invoke's parameters after the sink's.
using Delivery = HRESULT(STDMETHODCALLTYPE*)(void* sink, DISPID id, REFIID iid, LCID locale,
                                             WORD flags, DISPPARAMS* params, VARIANT* result,
                                             EXCEPINFO* info, UINT* arg_err) noexcept;

// One event a sink receives, delivered by `deliver` and traced: its name (empty for an event
// the sink does not know) and its arguments as they came, the result, the arguments by
// reference as the handler left them, and the time.
HRESULT Deliver(std::string_view name, Delivery deliver, void* sink, DISPID id, REFIID iid,
                LCID locale, WORD flags, DISPPARAMS* params, VARIANT* result, EXCEPINFO* info,
                UINT* arg_err) noexcept;

// Initialize and Terminate, with their result and the time they took.
void Entry(const char* what, HRESULT hr, LONGLONG began) noexcept;
// A call on a host object that failed.
void HostFailure(const char* call, HRESULT hr, std::u16string_view description) noexcept;
// A failure the shared catch-all hands back to the host.
void Failure(HRESULT hr, std::u16string_view description) noexcept;

}  // namespace murl::server::trace
