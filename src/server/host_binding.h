#pragma once
// Host objects reached through COM, as the core's host contract sees them. Each adapter holds
// one counted reference to its COM object; Query asks it for the interface's identifier, and
// Advise subscribes through its connection point.

#include <memory>

#include "host/host.h"
#include "platform/win32/windows_headers.h"
#include "server/binding_context.h"

#include "host_idl.h"

namespace murl::server {

// The site the host hands to Initialize; null stays null.
std::shared_ptr<ISite> WrapSite(const std::shared_ptr<BindingContext>& context, IHostSite* site);

}  // namespace murl::server
