#pragma once
// Reference fields that hold host objects.
//   HostRef<T>:    a counted reference; a call through an empty one fails with error 91.
//   EventBound<T>: the same, and storing an object subscribes a sink to its events; storing
//                  nothing, or destroying the field, ends the subscription.

#include <memory>
#include <utility>

#include "host/error.h"
#include "host/host.h"

namespace murl {

template <class T>
class HostRef {
public:
    HostRef() = default;
    HostRef(const HostRef&) = delete;
    HostRef& operator=(const HostRef&) = delete;

    void Set(std::shared_ptr<T> object) noexcept { object_ = std::move(object); }
    void Clear() noexcept { object_.reset(); }

    T* operator->() const {
        if (!object_) throw Error(err::kObjectNotSet);
        return object_.get();
    }
    const std::shared_ptr<T>& get() const noexcept { return object_; }
    explicit operator bool() const noexcept { return object_ != nullptr; }

private:
    std::shared_ptr<T> object_;
};

template <class T>
class EventBound {
public:
    using Events = typename T::EventsType;

    // `sink` receives this field's events for as long as an object is stored; it must outlive
    // the field.
    explicit EventBound(Events& sink) noexcept : sink_(sink) {}
    EventBound(const EventBound&) = delete;
    EventBound& operator=(const EventBound&) = delete;
    ~EventBound() { Clear(); }

    // Replaces the stored object. The old subscription ends first; if subscribing to the new
    // object fails, the field is left empty and the failure passes on.
    void Set(std::shared_ptr<T> object) {
        Clear();
        if (!object) return;
        subscription_ = object->Advise(sink_);
        ref_.Set(std::move(object));
    }
    void Clear() noexcept {
        subscription_.reset();
        ref_.Clear();
    }

    T* operator->() const { return ref_.operator->(); }
    const std::shared_ptr<T>& get() const noexcept { return ref_.get(); }
    explicit operator bool() const noexcept { return static_cast<bool>(ref_); }

private:
    Events& sink_;
    std::unique_ptr<Subscription> subscription_;
    HostRef<T> ref_;
};

}  // namespace murl
