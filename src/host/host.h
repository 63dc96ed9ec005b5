#pragma once
// The host framework's contract: the objects the plug-in calls, and the events it receives.
// A host of any making (the simulator, the COM bridge, a test double) implements these.

#include <cstdint>
#include <memory>
#include <string>
#include <string_view>

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

class HooksEvents {
public:
    virtual ~HooksEvents() = default;
    virtual void ChatTextIntercept(std::u16string_view bstrText, int32_t lColor, int32_t lTarget,
                                   HostBool& bEat) = 0;
    virtual void ChatParserIntercept(std::u16string_view bstrText, HostBool& bEat) = 0;
    virtual void StatusTextIntercept(std::u16string_view bstrText, HostBool& bEat) = 0;
};

class CharacterStatsEvents {
public:
    virtual ~CharacterStatsEvents() = default;
    virtual void LoginComplete() = 0;
};

class CheckBoxEvents {
public:
    virtual ~CheckBoxEvents() = default;
    virtual void Change(int32_t nID, HostBool bChecked) = 0;
};

class PushButtonEvents {
public:
    virtual ~PushButtonEvents() = default;
    virtual void Hit(int32_t nID) = 0;
    virtual void Accepted(int32_t nID) = 0;
};

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
