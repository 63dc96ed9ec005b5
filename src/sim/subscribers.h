#pragma once
// The subscriber list behind every simulated event source. Events reach the sinks subscribed
// at the moment each one is called, so a sink may end its own or another subscription from
// inside a handler. A subscription may outlive its source.

#include <cstdint>
#include <memory>
#include <utility>
#include <vector>

#include "host/host.h"

namespace murl::sim {

template <class Events>
class Subscribers {
public:
    Subscribers() : state_(std::make_shared<State>()) {}
    Subscribers(const Subscribers&) = delete;
    Subscribers& operator=(const Subscribers&) = delete;

    std::unique_ptr<Subscription> Advise(Events& sink) {
        const uint64_t cookie = ++state_->last_cookie;
        state_->sinks.push_back({cookie, &sink});
        return std::make_unique<Cookie>(state_, cookie);
    }

    bool empty() const noexcept { return state_->sinks.empty(); }
    size_t size() const noexcept { return state_->sinks.size(); }

    // Calls `call(sink)` for every subscribed sink in subscription order, and tells whether any
    // sink was subscribed when the event was raised. A failure leaves at once: the later sinks
    // are not called.
    template <class Call>
    bool Raise(Call&& call) {
        if (state_->sinks.empty()) return false;
        if (state_->sinks.size() == 1) {
            call(*state_->sinks.front().second);
            return true;
        }
        const auto snapshot = state_->sinks;
        for (const auto& [cookie, sink] : snapshot) {
            if (Subscribed(cookie)) call(*sink);
        }
        return true;
    }

    // Raises one of the interface's events, `event`, with `args`: any event the interface
    // declares, so a new event needs nothing here or in the sources.
    template <class... Params, class... Args>
    bool RaiseEvent(void (Events::*event)(Params...), Args&&... args) {
        return Raise([&](Events& sink) { (sink.*event)(args...); });
    }

private:
    struct State {
        uint64_t last_cookie = 0;
        std::vector<std::pair<uint64_t, Events*>> sinks;
    };

    class Cookie final : public Subscription {
    public:
        Cookie(const std::shared_ptr<State>& state, uint64_t cookie)
            : state_(state), cookie_(cookie) {}
        ~Cookie() override {
            if (auto state = state_.lock()) {
                auto& sinks = state->sinks;
                for (auto it = sinks.begin(); it != sinks.end(); ++it) {
                    if (it->first == cookie_) {
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
            if (entry.first == cookie) return true;
        }
        return false;
    }

    std::shared_ptr<State> state_;
};

}  // namespace murl::sim
