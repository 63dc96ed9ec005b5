#pragma once
// Event subscriptions through connection points: FindConnectionPoint on the source, then
// Advise with a dispatch sink that hands each event, by DISPID, to the core's sink. Destroying
// the subscription detaches the sink and calls Unadvise; a host that raises an event on a
// detached sink reaches nobody.

#include <memory>
#include <variant>

#include "host/host.h"
#include "server/binding_context.h"

namespace murl::server {

template <class... Events>
std::variant<Events*...> SinkOfAny(TypeList<Events...>);
// The core's sink of any of the event interfaces.
using AnyEventSink = decltype(SinkOfAny(EventInterfaces{}));

std::unique_ptr<Subscription> Subscribe(IUnknown* source,
                                        const std::shared_ptr<BindingContext>& context,
                                        AnyEventSink sink);

}  // namespace murl::server
