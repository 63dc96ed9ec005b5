#include "platform/win32/windows_headers.h"

#include "sim/com_binding.h"

#include <ocidl.h>
#include <olectl.h>

#include <map>
#include <new>
#include <span>
#include <type_traits>
#include <variant>

#include "text/text.h"
#include "host_idl.h"
#include "platform/win32/win32_app_info.h"
#include "platform/win32/win32_holders.h"
#include "platform/win32/win32_text.h"
#include "server/com_errors.h"
#include "server/com_object.h"
#include "server/host_events.h"
#include "server/identity.h"
#include "sim/subscribers.h"

namespace murl::sim {

namespace {

using server::Always;
using server::ComObject;
using server::Grant;
using server::Guard;
using win32::Adopt;
using win32::BstrOf;
using win32::ComPtr;
using win32::ExcepInfo;
using win32::PutOut;
using win32::TextOf;

// ---- Events: the simulated host raises, the plug-in's dispatch sink hears -----------------

// Raises each event of the simulated source it is subscribed to on the plug-in's COM sink, by
// the event's DISPID and with its arguments reversed, as IDispatch::Invoke takes them. A failure
// the sink reports becomes the core's Error.
class Forwarder final : public sim::EventRelay {
public:
    explicit Forwarder(ComPtr<IDispatch> sink) : sink_(std::move(sink)) {}

    void Relay(int32_t dispid, std::span<const EventArgument> arguments) override {
        VARIANT reversed[kMostArguments];
        const UINT count = static_cast<UINT>(arguments.size());
        if (count > kMostArguments) throw Error(err::kInvalidCall);
        for (UINT i = 0; i < count; ++i) {
            reversed[count - 1 - i] = std::visit(
                [](auto argument) { return server::ArgumentVariant(argument); }, arguments[i]);
        }
        const struct Cleared {
            VARIANT* variants;
            UINT count;
            ~Cleared() {
                for (UINT i = 0; i < count; ++i) VariantClear(&variants[i]);
            }
        } cleared{reversed, count};
        Invoke(dispid, count == 0 ? nullptr : reversed, count);
    }

private:
    static constexpr UINT kMostArguments = 4;

    void Invoke(DISPID id, VARIANT* reversed, UINT count) {
        DISPPARAMS params{reversed, nullptr, count, 0};
        ExcepInfo info;
        UINT arg_err = 0;
        SetErrorInfo(0, nullptr);
        const HRESULT hr = sink_->Invoke(id, IID_NULL, 0, DISPATCH_METHOD, &params, nullptr,
                                         PutOut(info), &arg_err);
        if (hr == DISP_E_EXCEPTION) {
            if (info->pfnDeferredFillIn) info->pfnDeferredFillIn(info.get());
            const HRESULT code = info->scode ? info->scode : HRESULT(info->wCode);
            throw Error(server::ErrorOfHResult(code), std::u16string(TextOf(info->bstrDescription)),
                        std::u16string(TextOf(info->bstrSource)));
        }
        if (FAILED(hr)) server::ThrowHostFailure(hr);
    }

    ComPtr<IDispatch> sink_;
};

// A connection point over one simulated event source.
template <class Events>
class ConnectionPoint final : public ComObject<ConnectionPoint<Events>, IConnectionPoint> {
public:
    static constexpr Grant<ConnectionPoint> kInterfaces[] = {
        {&IID_IUnknown, Always<ConnectionPoint, IConnectionPoint>},
        {&IID_IConnectionPoint, Always<ConnectionPoint, IConnectionPoint>},
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
        return Guard([&] {
            ComPtr<IDispatch> dispatch;
            if (FAILED(sink->QueryInterface(IID_IDispatch, PutOut(dispatch)))) {
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

// ---- Host objects: a simulated object with a COM face -------------------------------------

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

// ---- The binding ---------------------------------------------------------------------------

namespace {

// The system's text for `code`. Its inserts (a "%1" for the file) are left for us to fill.
std::u16string SystemText(DWORD code) {
    win32::LocalMemory<wchar_t*> text;
    const DWORD length = FormatMessageW(
        FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS,
        nullptr, code, 0, reinterpret_cast<wchar_t*>(PutOut(text)), 0, nullptr);
    std::u16string description;
    if (length > 0 && text.get()) {
        description.assign(reinterpret_cast<const char16_t*>(text.get()), length);
    }
    while (!description.empty() && (description.back() == u'\n' || description.back() == u'\r' ||
                                    description.back() == u' ' || description.back() == u'.')) {
        description.pop_back();
    }
    if (description.empty()) description = u"system error " + DecimalText(code);
    return description;
}

// A DLL that could not be used, named, with the system's reason.
[[noreturn]] void ThrowUnusable(const std::u16string& dll, const std::u16string& what, HRESULT hr,
                                std::u16string reason) {
    const std::u16string named = u"\"" + dll + u"\"";
    std::u16string description = u"cannot " + what + u" " + named + u": ";
    for (size_t at = reason.find(u"%1"); at != std::u16string::npos;
         at = reason.find(u"%1", at + named.size())) {
        reason.replace(at, 2, named);
        description = u"cannot " + what + u": ";
    }
    throw Error(server::ErrorOfHResult(hr), description + reason);
}

// COM on this thread while it lives, so that a binding that fails half-way leaves the thread
// as it found it.
class Apartment {
public:
    Apartment() {
        const HRESULT hr = CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED);
        if (FAILED(hr)) server::ThrowHostFailure(hr);
    }
    ~Apartment() { CoUninitialize(); }
    Apartment(const Apartment&) = delete;
    Apartment& operator=(const Apartment&) = delete;
};

constexpr wchar_t kProgId[] = L"murl.clsMurl";

// The file registered to serve `clsid` in process, as the registry holds it; empty when none is.
std::wstring RegisteredServer(const CLSID& clsid) {
    wchar_t text[39];
    if (StringFromGUID2(clsid, text, 39) == 0) return {};
    const std::wstring key = std::wstring(L"CLSID\\") + text + L"\\InprocServer32";
    constexpr DWORD kText = RRF_RT_REG_SZ;  // REG_EXPAND_SZ too, expanded
    std::wstring path(MAX_PATH, L'\0');
    for (;;) {
        DWORD size = static_cast<DWORD>(path.size());
        size *= sizeof(wchar_t);
        const LSTATUS status = RegGetValueW(HKEY_CLASSES_ROOT, key.c_str(), nullptr, kText, nullptr,
                                            path.data(), &size);
        if (status == ERROR_MORE_DATA) {
            path.resize(size / sizeof(wchar_t) + 1);
            continue;
        }
        if (status != ERROR_SUCCESS) return {};
        path.resize(path.find(L'\0'));
        return path;
    }
}

// clsMurl's class factory through its registration. COM does not say why a registered DLL
// cannot be loaded, so a failure loads the DLL itself to name the system's reason.
ComPtr<IClassFactory> RegisteredFactory() {
    CLSID clsid;
    const HRESULT found = CLSIDFromProgID(kProgId, &clsid);
    if (FAILED(found)) {
        throw Error(server::ErrorOfHResult(found),
                    u"murl.clsMurl is not registered: register murl.dll (regsvr32 murl.dll), or "
                    u"give its path with --dll");
    }
    ComPtr<IClassFactory> factory;
    const HRESULT hr =
        CoGetClassObject(clsid, CLSCTX_INPROC_SERVER, nullptr, IID_IClassFactory, PutOut(factory));
    if (SUCCEEDED(hr)) return factory;
    const std::wstring server = RegisteredServer(clsid);
    if (server.empty()) {
        throw Error(server::ErrorOfHResult(hr),
                    u"murl.clsMurl is registered without its DLL: register murl.dll again "
                    u"(regsvr32 murl.dll), or give its path with --dll");
    }
    const std::u16string dll = win32::Utf16(server);
    HMODULE module = LoadLibraryW(server.c_str());
    if (!module) {
        const DWORD code = GetLastError();
        ThrowUnusable(dll, u"load", HRESULT_FROM_WIN32(code), SystemText(code));
    }
    FreeLibrary(module);
    ThrowUnusable(dll, u"create the plug-in from", hr,
                  hr == REGDB_E_CLASSNOTREG || hr == CLASS_E_CLASSNOTAVAILABLE
                      ? u"it does not serve clsMurl"
                      : SystemText(static_cast<DWORD>(hr)));
}

}  // namespace

struct ComBinding::State {
    Apartment apartment;  // first: ends after everything COM handed out
    HMODULE dll = nullptr;
    ComPtr<IClassFactory> factory;
    ComPtr<IPlugin2> plugin;
};

ComBinding::ComBinding(const std::u16string& dll) : state_(std::make_unique<State>()) {
    if (dll.empty()) {
        state_->factory = RegisteredFactory();
        return;
    }
    const std::wstring path(dll.begin(), dll.end());
    state_->dll = LoadLibraryW(path.c_str());
    if (!state_->dll) {
        const DWORD code = GetLastError();
        ThrowUnusable(dll, u"load", HRESULT_FROM_WIN32(code), SystemText(code));
    }
    using GetClassObject = HRESULT(WINAPI*)(REFCLSID, REFIID, void**);
    auto get = reinterpret_cast<GetClassObject>(
        reinterpret_cast<void*>(GetProcAddress(state_->dll, "DllGetClassObject")));
    if (!get) {
        ThrowUnusable(dll, u"use", HRESULT_FROM_WIN32(GetLastError()),
                      u"it has no DllGetClassObject: it is not a component server");
    }
    const HRESULT got = get(server::kClsidClsMurl, IID_IClassFactory, PutOut(state_->factory));
    if (FAILED(got)) {
        ThrowUnusable(dll, u"create the plug-in from", got,
                      got == CLASS_E_CLASSNOTAVAILABLE ? u"it does not serve clsMurl"
                                                       : SystemText(static_cast<DWORD>(got)));
    }
}

ComBinding::~ComBinding() {
    state_->plugin.Reset();
    state_->factory.Reset();
    // The DLL stays loaded: COM may still hold what it handed out until CoUninitialize, which
    // the state's apartment calls last.
}

void ComBinding::Create() {
    state_->plugin.Reset();
    SetErrorInfo(0, nullptr);
    server::Check(state_->factory->CreateInstance(nullptr, IID_IPlugin2, PutOut(state_->plugin)));
}

void ComBinding::Destroy() noexcept {
    state_->plugin.Reset();
}

bool ComBinding::Exists() const noexcept {
    return state_->plugin != nullptr;
}

std::u16string ComBinding::ModuleFolder() const {
    // The class factory's table of methods lies in the module that serves the class.
    const auto code = *reinterpret_cast<const wchar_t* const*>(state_->factory.Get());
    HMODULE module = nullptr;
    DWORD reason = 0;
    if (!GetModuleHandleExW(
            GET_MODULE_HANDLE_EX_FLAG_FROM_ADDRESS | GET_MODULE_HANDLE_EX_FLAG_UNCHANGED_REFCOUNT,
            code, &module)) {
        reason = GetLastError();
    }
    const std::wstring path = module ? win32::ModulePath(module, &reason) : std::wstring();
    if (path.empty()) {
        throw Error(server::ErrorOfHResult(HRESULT_FROM_WIN32(reason)),
                    u"cannot tell the folder of murl.dll: " + SystemText(reason));
    }
    return win32::Utf16(path.substr(0, path.find_last_of(L"\\/")));
}

void ComBinding::Initialize(const std::shared_ptr<ISite>& site) {
    if (!state_->plugin) return;
    ComPtr<IUnknown> face = Adopt(HostFace::Make(site));
    ComPtr<IHostSite> as_site;
    if (face) server::Check(face->QueryInterface(IID_IHostSite, PutOut(as_site)));
    SetErrorInfo(0, nullptr);
    server::Check(state_->plugin->Initialize(as_site.Get()));
}

void ComBinding::Terminate() {
    if (!state_->plugin) return;
    SetErrorInfo(0, nullptr);
    server::Check(state_->plugin->Terminate());
}

}  // namespace murl::sim
