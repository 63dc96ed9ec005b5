#pragma once
// Event subscriptions through connection points: FindConnectionPoint on the source, then
// Advise with a dispatch sink that hands each event, by DISPID, to the core's sink. Destroying
// the subscription detaches the sink and calls Unadvise; a host that raises an event on a
// detached sink reaches nobody.

#include <memory>

#include "host/host.h"
#include "server/binding_context.h"

namespace murl::server {

// Defined for HooksEvents, CharacterStatsEvents, CheckBoxEvents and PushButtonEvents.
template <class Events>
std::unique_ptr<Subscription> Subscribe(IUnknown* source,
                                        const std::shared_ptr<BindingContext>& context,
                                        Events& sink);

}  // namespace murl::server
