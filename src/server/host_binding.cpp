#include "platform/win32/windows_headers.h"

#include "server/host_binding.h"

#include <utility>

#include "platform/win32/win32_holders.h"
#include "server/com_errors.h"
#include "server/event_sinks.h"
#include "server/trace.h"

namespace murl::server {

using win32::Bstr;
using win32::BstrOf;
using win32::ComPtr;
using win32::PutOut;
using win32::TextOf;

namespace {

using Context = std::shared_ptr<BindingContext>;

std::shared_ptr<HostObject> QueryHost(IUnknown* object, HostInterface which,
                                      const Context& context);
std::shared_ptr<HostObject> Plain(ComPtr<IUnknown> object, const Context& context);

// An adapter of class A for `object`, holding the core's one reference on it: when the core
// lets go, the adapter is deleted, or, while one of its methods runs (below), when the last of
// them returns.
template <class A, class ComInterface>
std::shared_ptr<A> MakeAdapter(ComPtr<ComInterface> object, const Context& context) {
    return std::shared_ptr<A>(new A(std::move(object), context), Lifetime::Drop{});
}

// The part every adapter shares: the object's identity and the way to ask it for others.
//
// A host may call back into the plug-in from inside any call the plug-in makes on it, and the
// plug-in may then drop the very adapter whose method is running (Terminate clears its fields).
// So every method that calls the host pins its adapter first: the adapter, its COM object and
// its context outlive the call, as a COM object that AddRefs itself would. The pin is a plain
// count (`Lifetime`): switch reads take one each, many times a chat line.
template <class Interface, class ComInterface>
class Adapter : public Interface, public Lifetime {
public:
    Adapter(ComPtr<ComInterface> object, Context context)
        : object_(std::move(object)), context_(std::move(context)) {}

    std::shared_ptr<HostObject> Query(HostInterface which) override {
        const Pin pin(*this);
        return QueryHost(object_.Get(), which, context_);
    }

protected:
    using Pin = Lifetime::Hold;

    // Runs one call on the host object, named `name` in the trace; a failure becomes the core's
    // Error.
    template <class Call>
    void HostCall(const char* name, Call&& call) {
        const Pin pin(*this);
        CallPinned(name, call);
    }

    // HostCall for a method that has pinned its adapter already.
    template <class Call>
    static void CallPinned(const char* name, Call&& call) {
        SetErrorInfo(0, nullptr);
        Check(call(), name);
    }

    // The host object a call hands back, granting whatever it grants; null stays null.
    template <class Call>
    std::shared_ptr<HostObject> Handed(const char* name, Call&& call) {
        const Pin pin(*this);
        ComPtr<IUnknown> handed;
        CallPinned(name, [&] { return call(PutOut(handed)); });
        return Plain(std::move(handed), context_);
    }

    // The host object that `method`, asked with `text`, hands back.
    template <class Method>
    std::shared_ptr<HostObject> HandedFor(const char* name, Method method,
                                          std::u16string_view text) {
        const Bstr bstr = BstrOf(text);
        return Handed(name,
                      [&](IUnknown** out) { return (object_.Get()->*method)(bstr.get(), out); });
    }

    template <class Events>
    std::unique_ptr<Subscription> Connect(Events& sink) {
        const Pin pin(*this);
        return Subscribe(object_.Get(), context_, &sink);
    }

    ComPtr<ComInterface> object_;
    Context context_;
};

// A host object handed out without a particular interface.
class PlainObject final : public Adapter<HostObject, IUnknown> {
public:
    using Adapter::Adapter;
};

std::shared_ptr<HostObject> Plain(ComPtr<IUnknown> object, const Context& context) {
    if (!object) return nullptr;
    return MakeAdapter<PlainObject>(std::move(object), context);
}

class Site final : public Adapter<ISite, IHostSite> {
public:
    using Adapter::Adapter;

    std::shared_ptr<HostObject> GetHooks() override {
        return Handed("GetHooks", [&](IUnknown** out) { return object_->GetHooks(out); });
    }
    std::shared_ptr<HostObject> GetViewLoader() override {
        return Handed("GetViewLoader", [&](IUnknown** out) { return object_->GetViewLoader(out); });
    }
    std::shared_ptr<HostObject> GetServiceObject(std::u16string_view path) override {
        return HandedFor("GetServiceObject", &IHostSite::GetServiceObject, path);
    }
};

class View final : public Adapter<IView, IHostView> {
public:
    using Adapter::Adapter;

    std::shared_ptr<HostObject> FindControl(std::u16string_view name) override {
        return HandedFor("FindControl", &IHostView::FindControl, name);
    }
};

class ViewLoader final : public Adapter<IViewLoader, IHostViewLoader> {
public:
    using Adapter::Adapter;

    std::shared_ptr<IView> LoadViewXml(std::u16string_view definition) override {
        const Pin pin(*this);
        const Bstr text = BstrOf(definition);
        ComPtr<IHostView> view;
        CallPinned("LoadViewXml", [&] { return object_->LoadViewXml(text.get(), PutOut(view)); });
        if (!view) return nullptr;
        return MakeAdapter<View>(std::move(view), context_);
    }
};

class CheckBox final : public Adapter<ICheckBox, IHostCheckBox> {
public:
    using Adapter::Adapter;

    HostBool GetChecked() override {
        VARIANT_BOOL state = VARIANT_FALSE;
        HostCall("GetChecked", [&] { return object_->GetChecked(&state); });
        return state;
    }
    void SetChecked(HostBool state) override {
        HostCall("SetChecked", [&] { return object_->SetChecked(state); });
    }
    std::unique_ptr<Subscription> Advise(CheckBoxEvents& sink) override { return Connect(sink); }
};

class PushButton final : public Adapter<IPushButton, IHostPushButton> {
public:
    using Adapter::Adapter;

    std::unique_ptr<Subscription> Advise(PushButtonEvents& sink) override { return Connect(sink); }
};

class Hooks final : public Adapter<IHooks, IHostHooks> {
public:
    using Adapter::Adapter;

    void WriteChatText(std::u16string_view text, int32_t colour, int32_t target) override {
        const Bstr line = BstrOf(text);
        HostCall("WriteChatText",
                 [&] { return object_->WriteChatText(line.get(), colour, target); });
    }
    std::unique_ptr<Subscription> Advise(HooksEvents& sink) override { return Connect(sink); }
};

class CharacterStats final : public Adapter<ICharacterStats, IHostCharacterStats> {
public:
    using Adapter::Adapter;

    std::u16string IdentityText1() override {
        Bstr text;
        HostCall("IdentityText1", [&] { return object_->IdentityText1(PutOut(text)); });
        return std::u16string(TextOf(text));
    }
    std::u16string IdentityText2() override {
        Bstr text;
        HostCall("IdentityText2", [&] { return object_->IdentityText2(PutOut(text)); });
        return std::u16string(TextOf(text));
    }
    std::unique_ptr<Subscription> Advise(CharacterStatsEvents& sink) override {
        return Connect(sink);
    }
};

// `object` asked for the COM interface of A; null when it does not grant it, with the call's
// result in `hr`.
template <class A, class ComInterface>
std::shared_ptr<HostObject> Offered(IUnknown* object, const Context& context, HRESULT& hr) {
    ComPtr<ComInterface> offered;
    hr = object->QueryInterface(__uuidof(ComInterface), PutOut(offered));
    if (FAILED(hr) || !offered) return nullptr;
    return MakeAdapter<A>(std::move(offered), context);
}

// Each host interface: its COM name and the wrapper that serves it.
struct HostOffer {
    HostInterface which;
    const char16_t* name;
    std::shared_ptr<HostObject> (*offered)(IUnknown* object, const Context& context, HRESULT& hr);
};

constexpr HostOffer kHostOffers[] = {
    {HostInterface::Site, u"IHostSite", &Offered<Site, IHostSite>},
    {HostInterface::ViewLoader, u"IHostViewLoader", &Offered<ViewLoader, IHostViewLoader>},
    {HostInterface::View, u"IHostView", &Offered<View, IHostView>},
    {HostInterface::CheckBox, u"IHostCheckBox", &Offered<CheckBox, IHostCheckBox>},
    {HostInterface::PushButton, u"IHostPushButton", &Offered<PushButton, IHostPushButton>},
    {HostInterface::Hooks, u"IHostHooks", &Offered<Hooks, IHostHooks>},
    {HostInterface::CharacterStats, u"IHostCharacterStats",
     &Offered<CharacterStats, IHostCharacterStats>},
};

std::shared_ptr<HostObject> QueryHost(IUnknown* object, HostInterface which,
                                      const Context& context) {
    std::shared_ptr<HostObject> offered;
    HRESULT hr = E_NOINTERFACE;
    const char16_t* name = u"";
    for (const HostOffer& offer : kHostOffers) {
        if (offer.which != which) continue;
        offered = offer.offered(object, context, hr);
        name = offer.name;
        break;
    }
    if (!offered && trace::On()) {
        trace::HostFailure("QueryInterface", FAILED(hr) ? hr : E_POINTER, name);
    }
    return offered;
}

}  // namespace

std::shared_ptr<ISite> WrapSite(const std::shared_ptr<BindingContext>& context, IHostSite* site) {
    if (!site) return nullptr;
    return MakeAdapter<Site>(ComPtr<IHostSite>(site), context);
}

}  // namespace murl::server
