#pragma once
// The simulated host's objects with a COM face, as the plug-in reaches them through COM: each
// host interface where the object offers it, connection points on event sources.

#include "platform/win32/windows_headers.h"

#include <unknwn.h>

#include <memory>

#include "host/host.h"

namespace murl::sim {

// The COM face of `object`, with one reference for the caller; null stays null.
IUnknown* MakeHostFace(std::shared_ptr<HostObject> object);

}  // namespace murl::sim
