#include "platform/win32/windows_headers.h"

#include "sim/com_host_face.h"

#include <new>
#include <type_traits>

#include "host_idl.h"
#include "platform/win32/win32_holders.h"
#include "server/com_errors.h"
#include "server/com_object.h"
#include "server/host_events.h"
#include "sim/com_connection_point.h"
#include "sim/subscribers.h"

namespace murl::sim {

namespace {

using server::Always;
using server::ComObject;
using server::Grant;
using server::Guard;
using win32::BstrOf;
using win32::TextOf;

class HostFace final : public ComObject<HostFace, IHostSite, IHostViewLoader, IHostView,
                                        IHostCheckBox, IHostPushButton, IHostHooks,
                                        IHostCharacterStats, IConnectionPointContainer> {
public:
    // Each host interface only where the object offers it; connection points on event sources.
    static const Grant<HostFace> kInterfaces[9];

    // The face of `object`; null stays null.
    static IUnknown* Make(std::shared_ptr<HostObject> object) {
        if (!object) return nullptr;
        return static_cast<IHostSite*>(new HostFace(std::move(object)));
    }

    // Asking the simulated object for an interface can fail.
    STDMETHODIMP QueryInterface(REFIID iid, void** out) noexcept override {
        return Guard([&] { return Answer(iid, out); });
    }

    STDMETHODIMP GetHooks(IUnknown** out) noexcept override {
        return Hand(out, [&] { return Typed<ISite>()->GetHooks(); });
    }
    STDMETHODIMP GetViewLoader(IUnknown** out) noexcept override {
        return Hand(out, [&] { return Typed<ISite>()->GetViewLoader(); });
    }
    STDMETHODIMP GetServiceObject(BSTR path, IUnknown** out) noexcept override {
        return Hand(out, [&] { return Typed<ISite>()->GetServiceObject(TextOf(path)); });
    }
    STDMETHODIMP LoadViewXml(BSTR definition, IHostView** out) noexcept override {
        if (!out) return E_POINTER;
        *out = nullptr;
        return Guard([&] {
            auto view = Typed<IViewLoader>()->LoadViewXml(TextOf(definition));
            if (!view) return S_OK;
            auto* face = new (std::nothrow) HostFace(std::move(view));
            if (!face) return E_OUTOFMEMORY;
            *out = static_cast<IHostView*>(face);
            return S_OK;
        });
    }
    STDMETHODIMP FindControl(BSTR name, IUnknown** out) noexcept override {
        return Hand(out, [&] { return Typed<IView>()->FindControl(TextOf(name)); });
    }
    STDMETHODIMP GetChecked(VARIANT_BOOL* state) noexcept override {
        if (!state) return E_POINTER;
        return Guard([&] {
            *state = Typed<ICheckBox>()->GetChecked();
            return S_OK;
        });
    }
    STDMETHODIMP SetChecked(VARIANT_BOOL state) noexcept override {
        return Guard([&] {
            Typed<ICheckBox>()->SetChecked(state);
            return S_OK;
        });
    }
    STDMETHODIMP WriteChatText(BSTR text, LONG colour, LONG target) noexcept override {
        return Guard([&] {
            Typed<IHooks>()->WriteChatText(TextOf(text), colour, target);
            return S_OK;
        });
    }
    STDMETHODIMP IdentityText1(BSTR* out) noexcept override {
        if (!out) return E_POINTER;
        *out = nullptr;
        return Guard([&] {
            *out = BstrOf(Typed<ICharacterStats>()->IdentityText1()).Detach();
            return S_OK;
        });
    }
    STDMETHODIMP IdentityText2(BSTR* out) noexcept override {
        if (!out) return E_POINTER;
        *out = nullptr;
        return Guard([&] {
            *out = BstrOf(Typed<ICharacterStats>()->IdentityText2()).Detach();
            return S_OK;
        });
    }

    STDMETHODIMP EnumConnectionPoints(IEnumConnectionPoints** out) noexcept override {
        if (out) *out = nullptr;
        return E_NOTIMPL;
    }
    // The plug-in looks for the connection point of an event interface.
    STDMETHODIMP FindConnectionPoint(REFIID iid, IConnectionPoint** out) noexcept override {
        if (!out) return E_POINTER;
        *out = nullptr;
        return Guard([&] {
            HRESULT hr = CONNECT_E_NOCONNECTION;
            AnyOf(EventInterfaces{}, [&]<class Events>(std::type_identity<Events>) {
                if (iid != *server::kEventsIid<Events>) return false;
                hr = Point<Events>(out);
                return true;
            });
            return hr;
        });
    }

private:
    explicit HostFace(std::shared_ptr<HostObject> object) : object_(std::move(object)) {}
    ~HostFace() override = default;

    template <class Face, class I>
    static IUnknown* Offered(HostFace& face) {
        return face.As<I>() ? static_cast<Face*>(&face) : nullptr;
    }
    static IUnknown* Container(HostFace& face) {
        const bool source = AnyOf(EventInterfaces{}, [&]<class Events>(std::type_identity<Events>) {
            return face.Source<Events>() != nullptr;
        });
        return source ? static_cast<IConnectionPointContainer*>(&face) : nullptr;
    }

    // The object as interface I, as its own Query answers; null when it refuses.
    template <class I>
    std::shared_ptr<I> As() {
        return std::dynamic_pointer_cast<I>(object_->Query(I::kInterface));
    }
    // The same for a call: an object that is not I fails as a missing member would.
    template <class I>
    std::shared_ptr<I> Typed() {
        if (auto direct = std::dynamic_pointer_cast<I>(object_)) return direct;
        auto offered = As<I>();
        if (!offered) throw Error(err::kNotSupported);
        return offered;
    }
    // The simulated source of `Events` behind this object, whatever it offers to the plug-in.
    template <class Events>
    sim::SimEventSource<Events>* Source() {
        return dynamic_cast<sim::SimEventSource<Events>*>(object_.get());
    }
    template <class Events>
    HRESULT Point(IConnectionPoint** out) {
        auto* source = Source<Events>();
        if (!source) return CONNECT_E_NOCONNECTION;
        *out = new ConnectionPoint<Events>(object_, *source);
        return S_OK;
    }
    template <class Get>
    HRESULT Hand(IUnknown** out, Get&& get) {
        if (!out) return E_POINTER;
        *out = nullptr;
        return Guard([&] {
            *out = Make(get());
            return S_OK;
        });
    }

    std::shared_ptr<HostObject> object_;
};

const Grant<HostFace> HostFace::kInterfaces[9] = {
    {&IID_IUnknown, Always<HostFace, IHostSite>},
    {&IID_IConnectionPointContainer, Container},
    {&IID_IHostSite, Offered<IHostSite, ISite>},
    {&IID_IHostViewLoader, Offered<IHostViewLoader, IViewLoader>},
    {&IID_IHostView, Offered<IHostView, IView>},
    {&IID_IHostCheckBox, Offered<IHostCheckBox, ICheckBox>},
    {&IID_IHostPushButton, Offered<IHostPushButton, IPushButton>},
    {&IID_IHostHooks, Offered<IHostHooks, IHooks>},
    {&IID_IHostCharacterStats, Offered<IHostCharacterStats, ICharacterStats>},
};

}  // namespace

IUnknown* MakeHostFace(std::shared_ptr<HostObject> object) {
    return HostFace::Make(std::move(object));
}

}  // namespace murl::sim
