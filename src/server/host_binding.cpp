#include "server/host_binding.h"

#include <utility>

#include "server/com_errors.h"
#include "server/com_holders.h"
#include "server/event_sinks.h"

namespace murl::server {

namespace {

using Context = std::shared_ptr<BindingContext>;

std::shared_ptr<HostObject> QueryHost(IUnknown* object, HostInterface which,
                                      const Context& context);
std::shared_ptr<HostObject> Plain(ComPtr<IUnknown> object, const Context& context);

// Runs one call on a host object; a failure becomes the core's Error.
template <class Call>
void HostCall(Call&& call) {
    SetErrorInfo(0, nullptr);
    Check(call());
}

// The part every adapter shares: the object's identity and the way to ask it for others.
template <class Interface, class ComInterface>
class Adapter : public Interface {
public:
    Adapter(ComPtr<ComInterface> object, Context context)
        : object_(std::move(object)), context_(std::move(context)) {}

    std::shared_ptr<HostObject> Query(HostInterface which) override {
        return QueryHost(object_.Get(), which, context_);
    }

protected:
    // The host object a call hands back, granting whatever it grants; null stays null.
    template <class Call>
    std::shared_ptr<HostObject> Handed(Call&& call) {
        ComPtr<IUnknown> handed;
        HostCall([&] { return call(&handed); });
        return Plain(std::move(handed), context_);
    }

    template <class Events>
    std::unique_ptr<Subscription> Connect(Events& sink) {
        return Subscribe(object_.Get(), context_, sink);
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
    return std::make_shared<PlainObject>(std::move(object), context);
}

class Site final : public Adapter<ISite, IHostSite> {
public:
    using Adapter::Adapter;

    std::shared_ptr<HostObject> GetHooks() override {
        return Handed([&](IUnknown** out) { return object_->GetHooks(out); });
    }
    std::shared_ptr<HostObject> GetViewLoader() override {
        return Handed([&](IUnknown** out) { return object_->GetViewLoader(out); });
    }
    std::shared_ptr<HostObject> GetServiceObject(std::u16string_view path) override {
        Bstr text(path);
        return Handed([&](IUnknown** out) { return object_->GetServiceObject(text.get(), out); });
    }
};

class View final : public Adapter<IView, IHostView> {
public:
    using Adapter::Adapter;

    std::shared_ptr<HostObject> FindControl(std::u16string_view name) override {
        Bstr text(name);
        return Handed([&](IUnknown** out) { return object_->FindControl(text.get(), out); });
    }
};

class ViewLoader final : public Adapter<IViewLoader, IHostViewLoader> {
public:
    using Adapter::Adapter;

    std::shared_ptr<IView> LoadViewXml(std::u16string_view definition) override {
        Bstr text(definition);
        ComPtr<IHostView> view;
        HostCall([&] { return object_->LoadViewXml(text.get(), &view); });
        if (!view) return nullptr;
        return std::make_shared<View>(std::move(view), context_);
    }
};

class CheckBox final : public Adapter<ICheckBox, IHostCheckBox> {
public:
    using Adapter::Adapter;

    HostBool GetChecked() override {
        VARIANT_BOOL state = VARIANT_FALSE;
        HostCall([&] { return object_->GetChecked(&state); });
        return state;
    }
    void SetChecked(HostBool state) override {
        HostCall([&] { return object_->SetChecked(state); });
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
        Bstr line(text);
        HostCall([&] { return object_->WriteChatText(line.get(), colour, target); });
    }
    std::unique_ptr<Subscription> Advise(HooksEvents& sink) override { return Connect(sink); }
};

class CharacterStats final : public Adapter<ICharacterStats, IHostCharacterStats> {
public:
    using Adapter::Adapter;

    std::u16string IdentityText1() override {
        Bstr text;
        HostCall([&] { return object_->IdentityText1(text.out()); });
        return std::u16string(text.view());
    }
    std::u16string IdentityText2() override {
        Bstr text;
        HostCall([&] { return object_->IdentityText2(text.out()); });
        return std::u16string(text.view());
    }
    std::unique_ptr<Subscription> Advise(CharacterStatsEvents& sink) override {
        return Connect(sink);
    }
};

// `object` asked for the COM interface of A; null when it does not grant it.
template <class A, class ComInterface>
std::shared_ptr<HostObject> Offered(IUnknown* object, const Context& context) {
    ComPtr<ComInterface> offered;
    if (FAILED(object->QueryInterface(__uuidof(ComInterface),
                                      reinterpret_cast<void**>(offered.GetAddressOf()))) ||
        !offered) {
        return nullptr;
    }
    return std::make_shared<A>(std::move(offered), context);
}

std::shared_ptr<HostObject> QueryHost(IUnknown* object, HostInterface which,
                                      const Context& context) {
    switch (which) {
        case HostInterface::Site:
            return Offered<Site, IHostSite>(object, context);
        case HostInterface::ViewLoader:
            return Offered<ViewLoader, IHostViewLoader>(object, context);
        case HostInterface::View:
            return Offered<View, IHostView>(object, context);
        case HostInterface::CheckBox:
            return Offered<CheckBox, IHostCheckBox>(object, context);
        case HostInterface::PushButton:
            return Offered<PushButton, IHostPushButton>(object, context);
        case HostInterface::Hooks:
            return Offered<Hooks, IHostHooks>(object, context);
        case HostInterface::CharacterStats:
            return Offered<CharacterStats, IHostCharacterStats>(object, context);
    }
    return nullptr;
}

}  // namespace

std::shared_ptr<ISite> WrapSite(const std::shared_ptr<BindingContext>& context, IHostSite* site) {
    if (!site) return nullptr;
    return std::make_shared<Site>(ComPtr<IHostSite>(site), context);
}

}  // namespace murl::server
