#pragma once
// The subscriber list behind every simulated event source. Events reach the sinks subscribed
// at the moment each one is called, so a sink may end its own or another subscription from
// inside a handler. A subscription may outlive its source. Besides sinks of the events interface,
// relays subscribe: they take every event as its DISPID and arguments (the COM binding's
// forwarder, which raises them on a COM sink).

#include <array>
#include <cstdint>
#include <memory>
#include <span>
#include <type_traits>
#include <utility>
#include <variant>
#include <vector>

#include "host/host.h"

namespace murl::sim {

// One argument of an event, as its member's parameter has it: a text, a long, a Boolean, or the
// eat flag by reference.
using EventArgument = std::variant<std::u16string_view, int32_t, HostBool, HostBool*>;

template <class Param, class Arg>
EventArgument ArgumentOf(Arg& arg) {
    if constexpr (std::is_same_v<Param, HostBool&>) {
        return &arg;
    } else {
        return std::remove_cvref_t<Param>(arg);
    }
}

// Takes every event of one interface, by its row's DISPID, with its arguments in order.
class EventRelay {
public:
    virtual void Relay(int32_t dispid, std::span<const EventArgument> arguments) = 0;

protected:
    ~EventRelay() = default;
};

template <class Events>
class Subscribers {
public:
    Subscribers() : state_(std::make_shared<State>()) {}
    Subscribers(const Subscribers&) = delete;
    Subscribers& operator=(const Subscribers&) = delete;

    std::unique_ptr<Subscription> Advise(Events& sink) { return Add({0, &sink, nullptr}); }
    std::unique_ptr<Subscription> AdviseRelay(EventRelay& relay) {
        return Add({0, nullptr, &relay});
    }

    bool empty() const noexcept { return state_->sinks.empty(); }
    size_t size() const noexcept { return state_->sinks.size(); }

    // Raises one of the interface's events, `event`, with `args` to every subscriber in
    // subscription order, and tells whether any was subscribed when the event was raised: any
    // event the interface declares, so a new event needs nothing here or in the sources. A
    // failure leaves at once: the later subscribers are not called.
    template <class... Params, class... Args>
    bool RaiseEvent(void (Events::*event)(Params...), Args&&... args) {
        return Raise([&](const Entry& entry) {
            if (entry.sink) {
                (entry.sink->*event)(args...);
            } else {
                const std::array<EventArgument, sizeof...(Params)> arguments{
                    ArgumentOf<Params>(args)...};
                entry.relay->Relay(EventDispid<Events>(event), arguments);
            }
        });
    }

private:
    // A sink or a relay: one of the two is set.
    struct Entry {
        uint64_t cookie;
        Events* sink;
        EventRelay* relay;
    };
    struct State {
        uint64_t last_cookie = 0;
        std::vector<Entry> sinks;
    };

    std::unique_ptr<Subscription> Add(Entry entry) {
        entry.cookie = ++state_->last_cookie;
        state_->sinks.push_back(entry);
        return std::make_unique<Cookie>(state_, entry.cookie);
    }

    template <class Call>
    bool Raise(Call&& call) {
        if (state_->sinks.empty()) return false;
        if (state_->sinks.size() == 1) {
            const Entry only = state_->sinks.front();
            call(only);
            return true;
        }
        const auto snapshot = state_->sinks;
        for (const Entry& entry : snapshot) {
            if (Subscribed(entry.cookie)) call(entry);
        }
        return true;
    }

    class Cookie final : public Subscription {
    public:
        Cookie(const std::shared_ptr<State>& state, uint64_t cookie)
            : state_(state), cookie_(cookie) {}
        ~Cookie() override {
            if (auto state = state_.lock()) {
                auto& sinks = state->sinks;
                for (auto it = sinks.begin(); it != sinks.end(); ++it) {
                    if (it->cookie == cookie_) {
                        sinks.erase(it);
                        break;
                    }
                }
            }
        }

    private:
        std::weak_ptr<State> state_;
        uint64_t cookie_;
    };

    bool Subscribed(uint64_t cookie) const noexcept {
        for (const auto& entry : state_->sinks) {
            if (entry.cookie == cookie) return true;
        }
        return false;
    }

    std::shared_ptr<State> state_;
};

// A simulated source of the events of `Events`, whose subscribers a relay may join.
template <class Events>
class SimEventSource {
public:
    virtual Subscribers<Events>& subscribers() noexcept = 0;

protected:
    ~SimEventSource() = default;
};

// A simulated host object of `Interface`, which raises its events to the sinks subscribed.
template <class Interface, class Events = typename Interface::EventsType>
class SimEventObject : public Interface, public SimEventSource<Events> {
public:
    std::unique_ptr<Subscription> Advise(Events& sink) override { return sinks_.Advise(sink); }
    // Raises any of its events, through the sinks subscribed now.
    Subscribers<Events>& subscribers() noexcept override { return sinks_; }

private:
    Subscribers<Events> sinks_;
};

}  // namespace murl::sim
