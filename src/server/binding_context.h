#pragma once
// What the host adapters and the event sinks of one plug-in object share.

#include "server/com_object.h"

namespace murl::server {

// While an event handler of the plug-in runs, its sink holds `owner` alive, so that a host
// releasing the plug-in from inside the event does not destroy it under the handler. The
// plug-in clears `owner` when it is destroyed.
struct BindingContext {
    Lifetime* owner = nullptr;
};

}  // namespace murl::server
