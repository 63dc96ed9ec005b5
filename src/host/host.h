#pragma once
// The host framework's contract: the objects the plug-in calls, and the events it receives.
// A host of any making (the simulator, the COM bridge, a test double) implements these.

#include <cstdint>
#include <memory>
#include <string>
#include <string_view>
#include <tuple>
#include <type_traits>

namespace murl {

// Host Boolean: 16 bits, true is -1 and false is 0.
using HostBool = int16_t;
inline constexpr HostBool kHostTrue = -1;
inline constexpr HostBool kHostFalse = 0;

// The interfaces a host object can be asked for.
enum class HostInterface { Site, ViewLoader, View, CheckBox, PushButton, Hooks, CharacterStats };

// Every host object. Reference-counted through shared_ptr.
class HostObject {
public:
    virtual ~HostObject() = default;
    // This object as interface `which`, or null when it does not offer it.
    virtual std::shared_ptr<HostObject> Query(HostInterface which) = 0;
};

// Ends an event subscription when destroyed. Never throws from its destructor.
class Subscription {
public:
    virtual ~Subscription() = default;
};

// A host object that raises the events of `Events` to every subscribed sink.
template <class Events>
class EventSource {
public:
    using EventsType = Events;
    virtual ~EventSource() = default;
    // Subscribes `sink` until the returned subscription is destroyed. `sink` must outlive it.
    virtual std::unique_ptr<Subscription> Advise(Events& sink) = 0;
};

// ---- Events the plug-in receives ------------------------------------------------------------
//
// Each event interface names its source's interface (kSource) and lists its events in kEvents,
// one row per event: the member that receives it, its name and the DISPID by which the host
// raises it, as the host's type library has them. The member's parameters are the event's arguments
// in order, each one of: a text (std::u16string_view), a long (int32_t), a Boolean (HostBool), or
// the eat flag (HostBool&), which the handler may set. The COM sink, the simulator's COM forwarder
// and the Windows test host take everything from the rows; a test compares the rows with the host's
// type library.
//
// The event interfaces below are alike by design: each is the table of one source's events.

template <class Member>
struct EventRow {
    Member member;
    std::string_view name;
    int32_t dispid;
};
template <class Member>
EventRow(Member, std::string_view, int32_t) -> EventRow<Member>;

class HooksEvents {
public:
    static constexpr HostInterface kSource = HostInterface::Hooks;
    virtual ~HooksEvents() = default;
    virtual void ChatTextIntercept(std::u16string_view bstrText, int32_t lColor, int32_t lTarget,
                                   HostBool& bEat) = 0;
    virtual void ChatParserIntercept(std::u16string_view bstrText, HostBool& bEat) = 0;
    virtual void StatusTextIntercept(std::u16string_view bstrText, HostBool& bEat) = 0;

    static constexpr std::tuple kEvents{
        EventRow{&HooksEvents::ChatTextIntercept, "ChatTextIntercept", 2},
        EventRow{&HooksEvents::ChatParserIntercept, "ChatParserIntercept", 3},
        EventRow{&HooksEvents::StatusTextIntercept, "StatusTextIntercept", 4},
    };
};

class CharacterStatsEvents {
public:
    static constexpr HostInterface kSource = HostInterface::CharacterStats;
    virtual ~CharacterStatsEvents() = default;
    virtual void LoginComplete() = 0;

    static constexpr std::tuple kEvents{
        EventRow{&CharacterStatsEvents::LoginComplete, "LoginComplete", 4},
    };
};

class CheckBoxEvents {
public:
    static constexpr HostInterface kSource = HostInterface::CheckBox;
    virtual ~CheckBoxEvents() = default;
    virtual void Change(int32_t nID, HostBool bChecked) = 0;

    static constexpr std::tuple kEvents{
        EventRow{&CheckBoxEvents::Change, "Change", 6},
    };
};

class PushButtonEvents {
public:
    static constexpr HostInterface kSource = HostInterface::PushButton;
    virtual ~PushButtonEvents() = default;
    virtual void Hit(int32_t nID) = 0;
    virtual void Accepted(int32_t nID) = 0;

    static constexpr std::tuple kEvents{
        EventRow{&PushButtonEvents::Hit, "Hit", 2},
        EventRow{&PushButtonEvents::Accepted, "Accepted", 4},
    };
};

// Whether two member pointers, of any types, name the same member.
template <class A, class B>
constexpr bool SameMember(A a, B b) {
    if constexpr (std::is_same_v<A, B>) {
        return a == b;
    } else {
        return false;
    }
}

template <class... Types>
struct TypeList {};

// Calls `f(std::type_identity<T>{})` for each type T of the list in turn until one answers true;
// whether one did.
template <class... Types, class F>
constexpr bool AnyOf(TypeList<Types...>, F&& f) {
    return (f(std::type_identity<Types>{}) || ...);
}

// Every event interface, each once.
using EventInterfaces =
    TypeList<HooksEvents, CharacterStatsEvents, CheckBoxEvents, PushButtonEvents>;

// The name of the event of `Events` raised as `dispid`; empty for one that it does not have.
template <class Events>
constexpr std::string_view EventName(int32_t dispid) {
    return std::apply(
        [dispid](const auto&... row) {
            std::string_view name;
            ((row.dispid == dispid ? (name = row.name, true) : false) || ...);
            return name;
        },
        Events::kEvents);
}

// The DISPID of `event`, a member of `Events`; -1 (no event) for a member without its row.
template <class Events, class Member>
constexpr int32_t EventDispid(Member event) {
    return std::apply(
        [event](const auto&... row) {
            int32_t dispid = -1;
            ((SameMember(row.member, event) ? (dispid = row.dispid, true) : false) || ...);
            return dispid;
        },
        Events::kEvents);
}

// ---- Objects the plug-in calls --------------------------------------------------------------

class IView : public HostObject {
public:
    static constexpr HostInterface kInterface = HostInterface::View;
    virtual std::shared_ptr<HostObject> FindControl(std::u16string_view name) = 0;
};

class IViewLoader : public HostObject {
public:
    static constexpr HostInterface kInterface = HostInterface::ViewLoader;
    virtual std::shared_ptr<IView> LoadViewXml(std::u16string_view definition) = 0;
};

class ISite : public HostObject {
public:
    static constexpr HostInterface kInterface = HostInterface::Site;
    virtual std::shared_ptr<HostObject> GetHooks() = 0;
    virtual std::shared_ptr<HostObject> GetViewLoader() = 0;
    virtual std::shared_ptr<HostObject> GetServiceObject(std::u16string_view path) = 0;
};

class ICheckBox : public HostObject, public EventSource<CheckBoxEvents> {
public:
    static constexpr HostInterface kInterface = HostInterface::CheckBox;
    virtual HostBool GetChecked() = 0;
    virtual void SetChecked(HostBool state) = 0;
};

class IPushButton : public HostObject, public EventSource<PushButtonEvents> {
public:
    static constexpr HostInterface kInterface = HostInterface::PushButton;
};

class IHooks : public HostObject, public EventSource<HooksEvents> {
public:
    static constexpr HostInterface kInterface = HostInterface::Hooks;
    virtual void WriteChatText(std::u16string_view text, int32_t colour, int32_t target) = 0;
};

class ICharacterStats : public HostObject, public EventSource<CharacterStatsEvents> {
public:
    static constexpr HostInterface kInterface = HostInterface::CharacterStats;
    virtual std::u16string IdentityText1() = 0;
    virtual std::u16string IdentityText2() = 0;
};

// The path under which the site finds the character statistics service.
inline constexpr std::u16string_view kCharacterStatsPath =
    u"services\\DecalNet.NetService\\DecalFilters.CharacterStats";

// Takes `object` as interface I: null stays null (no failure); an object that does not offer
// I fails with error 438.
template <class I>
std::shared_ptr<I> TakeAs(const std::shared_ptr<HostObject>& object);

}  // namespace murl

#include "host/take_as.inl"
