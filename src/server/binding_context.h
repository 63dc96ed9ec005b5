#pragma once
// What the host adapters and the event sinks of one plug-in object share.

#include "platform/win32/windows_headers.h"

#include <unknwn.h>

namespace murl::server {

// While an event handler of the plug-in runs, its sink holds a reference on `owner`, so that a
// host releasing the plug-in from inside the event does not destroy it under the handler. The
// plug-in clears `owner` when its last reference goes.
struct BindingContext {
    IUnknown* owner = nullptr;
};

}  // namespace murl::server
