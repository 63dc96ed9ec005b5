#pragma once
// The simulated host's event sources as COM connection points: the plug-in advises its
// dispatch sink, and a forwarder raises each event of the source on it.

#include "platform/win32/windows_headers.h"

#include <ocidl.h>
#include <olectl.h>

#include <map>
#include <memory>
#include <span>

#include "platform/win32/win32_holders.h"
#include "server/com_errors.h"
#include "server/com_object.h"
#include "server/host_events.h"
#include "sim/subscribers.h"

namespace murl::sim {

// Raises each event of the simulated source it is subscribed to on the plug-in's COM sink, by
// the event's DISPID and with its arguments reversed, as IDispatch::Invoke takes them. A failure
// the sink reports becomes the core's Error.
class Forwarder final : public EventRelay {
public:
    explicit Forwarder(win32::ComPtr<IDispatch> sink) : sink_(std::move(sink)) {}

    void Relay(int32_t dispid, std::span<const EventArgument> arguments) override;

private:
    static constexpr UINT kMostArguments = 4;

    void Invoke(DISPID id, VARIANT* reversed, UINT count);

    win32::ComPtr<IDispatch> sink_;
};

// A connection point over one simulated event source.
template <class Events>
class ConnectionPoint final : public server::ComObject<ConnectionPoint<Events>, IConnectionPoint> {
public:
    static constexpr server::Grant<ConnectionPoint> kInterfaces[] = {
        {&IID_IUnknown, server::Always<ConnectionPoint, IConnectionPoint>},
        {&IID_IConnectionPoint, server::Always<ConnectionPoint, IConnectionPoint>},
    };

    ConnectionPoint(std::shared_ptr<HostObject> object, sim::SimEventSource<Events>& source)
        : object_(std::move(object)), source_(source) {}

    STDMETHODIMP GetConnectionInterface(IID* iid) noexcept override {
        if (!iid) return E_POINTER;
        *iid = *server::kEventsIid<Events>;
        return S_OK;
    }
    STDMETHODIMP GetConnectionPointContainer(IConnectionPointContainer** out) noexcept override {
        if (out) *out = nullptr;
        return E_NOTIMPL;
    }
    // The plug-in subscribes its sink.
    STDMETHODIMP Advise(IUnknown* sink, DWORD* cookie) noexcept override {
        if (!sink || !cookie) return E_POINTER;
        *cookie = 0;
        return server::Guard([&] {
            win32::ComPtr<IDispatch> dispatch;
            if (FAILED(sink->QueryInterface(IID_IDispatch, win32::PutOut(dispatch)))) {
                return CONNECT_E_CANNOTCONNECT;
            }
            Connection connection;
            connection.forwarder = std::make_unique<Forwarder>(std::move(dispatch));
            connection.subscription = source_.subscribers().AdviseRelay(*connection.forwarder);
            *cookie = next_cookie_++;
            connections_[*cookie] = std::move(connection);
            return S_OK;
        });
    }
    // The plug-in ends a subscription.
    STDMETHODIMP Unadvise(DWORD cookie) noexcept override {
        auto it = connections_.find(cookie);
        if (it == connections_.end()) return CONNECT_E_NOCONNECTION;
        connections_.erase(it);
        return S_OK;
    }
    STDMETHODIMP EnumConnections(IEnumConnections** out) noexcept override {
        if (out) *out = nullptr;
        return E_NOTIMPL;
    }

private:
    struct Connection {
        std::unique_ptr<Forwarder> forwarder;
        std::unique_ptr<Subscription> subscription;  // declared last: ends first
    };
    ~ConnectionPoint() override = default;

    std::shared_ptr<HostObject> object_;  // keeps the source alive
    sim::SimEventSource<Events>& source_;
    DWORD next_cookie_ = 1;
    std::map<DWORD, Connection> connections_;
};

}  // namespace murl::sim
