#pragma once
// The host's events on the COM side: the dispatch interface of each event interface, and the
// VARIANT each kind of argument travels in. What an event is and how it is raised come from its
// row (host/host.h).

#include <cstdint>
#include <string_view>

#include "host/host.h"
#include "platform/win32/win32_holders.h"

#include "host_idl.h"

namespace murl::server {

// The dispatch interface of each event interface. The primary template is only declared: an
// event interface without its dispatch interface does not compile.
template <class Events>
extern const IID* const kEventsIid;
template <>
inline constexpr const IID* kEventsIid<HooksEvents> = &DIID_DHostHooksEvents;
template <>
inline constexpr const IID* kEventsIid<CharacterStatsEvents> = &DIID_DHostCharacterStatsEvents;
template <>
inline constexpr const IID* kEventsIid<CheckBoxEvents> = &DIID_DHostCheckBoxEvents;
template <>
inline constexpr const IID* kEventsIid<PushButtonEvents> = &DIID_DHostPushButtonEvents;

// The VARIANT of one argument, as a host raises it: the eat flag by reference, the rest by value.
// A text's VARIANT owns a copy.
inline VARIANT ArgumentVariant(std::u16string_view text) {
    return win32::TextVariant(text);
}
inline VARIANT ArgumentVariant(int32_t value) noexcept {
    return win32::LongVariant(value);
}
inline VARIANT ArgumentVariant(HostBool value) noexcept {
    return win32::BoolVariant(value);
}
inline VARIANT ArgumentVariant(HostBool* eat) noexcept {
    return win32::BoolRefVariant(eat);
}

}  // namespace murl::server
