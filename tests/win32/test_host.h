#pragma once
// A COM host of our own making for the conformance tests: host objects implementing the host's
// interfaces, with connection points that raise events to the plug-in's sinks, and knobs to
// make them refuse interfaces or fail operations. Also loads a private copy of murl.dll.

#include "platform/win32/windows_headers.h"

#include <functional>
#include <map>
#include <string>
#include <string_view>
#include <type_traits>
#include <vector>

#include <ocidl.h>

#include "host/host.h"
#include "plugin/switches.h"
#include "host_idl.h"
#include "platform/win32/win32_holders.h"
#include "server/com_object.h"
#include "server/host_events.h"

namespace testhost {

// A control's name as the host's wide strings spell it.
inline std::wstring WideName(std::u16string_view name) {
    return std::wstring(name.begin(), name.end());
}

using murl::win32::Adopt;
using murl::win32::Bstr;
using murl::win32::ComPtr;
using murl::win32::ExcepInfo;
using murl::win32::PutOut;
using murl::win32::TextOf;

class ConnectionPoint;

// What a host object is: the core's name of the interface it grants.
using Kind = murl::HostInterface;

// An argument as the event's parameter `Param` takes it, from what a test has at hand: wide
// text, a number, the eat flag by reference.
template <class Param, class Arg>
auto ParamOf(Arg& arg) {
    if constexpr (std::is_same_v<Param, murl::HostBool&>) {
        return static_cast<murl::HostBool*>(&arg);
    } else if constexpr (std::is_same_v<Param, std::u16string_view>) {
        const std::wstring_view text(arg);
        return std::u16string_view(reinterpret_cast<const char16_t*>(text.data()), text.size());
    } else {
        return static_cast<Param>(arg);
    }
}

// One host object. It grants IUnknown, the interface of its kind and, for event sources,
// IConnectionPointContainer.
class HostObject final
    : public murl::server::ComObject<HostObject, IHostSite, IHostViewLoader, IHostView,
                                     IHostCheckBox, IHostPushButton, IHostHooks,
                                     IHostCharacterStats, IConnectionPointContainer> {
public:
    static const murl::server::Grant<HostObject> kInterfaces[9];

    HostObject(Kind kind, class Host& host);

    // Knobs.
    bool refuse_interface = false;           // QueryInterface refuses the interface of its kind
    std::map<std::string, HRESULT> failing;  // operation name -> HRESULT it returns
    std::map<std::string, bool> empty;       // operation name -> answers success with nothing
    VARIANT_BOOL checked = VARIANT_FALSE;
    std::wstring identity1, identity2;

    Kind kind() const { return kind_; }
    ConnectionPoint* events() const { return point_.Get(); }
    int advised() const;

    // Raises `event` of this object's events through its connection point, by the DISPID of
    // the event's row, with `args` as the event's parameters take them; the last sink's answer.
    template <class Events, class... Params, class... Args>
    HRESULT Raise(EXCEPINFO* info, void (Events::*event)(Params...), Args&&... args);

    STDMETHODIMP GetHooks(IUnknown** hooks) override;
    STDMETHODIMP GetViewLoader(IUnknown** loader) override;
    STDMETHODIMP GetServiceObject(BSTR path, IUnknown** service) override;
    STDMETHODIMP LoadViewXml(BSTR definition, IHostView** view) override;
    STDMETHODIMP FindControl(BSTR name, IUnknown** control) override;
    STDMETHODIMP GetChecked(VARIANT_BOOL* state) override;
    STDMETHODIMP SetChecked(VARIANT_BOOL state) override;
    STDMETHODIMP WriteChatText(BSTR text, LONG colour, LONG target) override;
    STDMETHODIMP IdentityText1(BSTR* text) override;
    STDMETHODIMP IdentityText2(BSTR* text) override;

    STDMETHODIMP EnumConnectionPoints(IEnumConnectionPoints** points) override;
    STDMETHODIMP FindConnectionPoint(REFIID iid, IConnectionPoint** point) override;

private:
    ~HostObject() override;
    template <Kind K, class I>
    static IUnknown* OfKind(HostObject& object) noexcept;
    static IUnknown* Container(HostObject& object) noexcept;
    HRESULT Knob(const char* operation) const;
    template <class T>
    HRESULT Hand(const char* operation, T* object, T** out) const;

    Kind kind_;
    Host& host_;
    ComPtr<ConnectionPoint> point_;
};

// A connection point of one event interface; raises events to every advised sink.
class ConnectionPoint final : public murl::server::ComObject<ConnectionPoint, IConnectionPoint> {
public:
    static const murl::server::Grant<ConnectionPoint> kInterfaces[2];

    ConnectionPoint(IConnectionPointContainer* owner, const IID& iid, class Host& host);

    // Raises event `id` with `args` in parameter order; the last sink's answer.
    HRESULT Fire(DISPID id, std::vector<VARIANT> args, EXCEPINFO* info = nullptr,
                 UINT* arg_err = nullptr);
    // Raises with DISPPARAMS exactly as given.
    HRESULT FireRaw(DISPID id, DISPPARAMS* params, EXCEPINFO* info = nullptr,
                    UINT* arg_err = nullptr);
    int advised() const { return static_cast<int>(sinks_.size()); }
    // The sinks advised now.
    std::vector<ComPtr<IDispatch>> sinks() const;
    // Sinks that were unadvised, kept so that a hostile test can still call them.
    std::vector<ComPtr<IDispatch>> dropped;

    STDMETHODIMP GetConnectionInterface(IID* iid) override;
    STDMETHODIMP GetConnectionPointContainer(IConnectionPointContainer** owner) override;
    STDMETHODIMP Advise(IUnknown* sink, DWORD* cookie) override;
    STDMETHODIMP Unadvise(DWORD cookie) override;
    STDMETHODIMP EnumConnections(IEnumConnections** connections) override;

private:
    IConnectionPointContainer* owner_;  // not counted: the owner holds this point
    IID iid_;
    Host& host_;
    DWORD next_cookie_ = 1;
    std::map<DWORD, ComPtr<IDispatch>> sinks_;
};

// The whole host: a site, a view loader, a view with the panel's controls, hooks and
// character statistics, and what the plug-in printed.
class Host {
public:
    Host();
    ~Host();

    ComPtr<HostObject> site, loader, view, hooks, stats;
    std::map<std::wstring, ComPtr<HostObject>> controls;
    std::vector<std::wstring> printed;
    std::wstring last_path;  // the service path asked for
    // Called at the start of every operation the plug-in calls on a host object (the object
    // and the operation's name), before the operation does anything: a host calling back.
    std::function<void(const HostObject* object, const char* operation)> on_call;

    void Called(const HostObject* object, const char* operation) {
        if (on_call) on_call(object, operation);
    }

    HostObject* control(const wchar_t* name) { return controls.at(name).Get(); }

    // What the player does, as the events the host raises (any event: HostObject::Raise).
    HRESULT Chat(const std::wstring& text, LONG colour, VARIANT_BOOL& eat,
                 EXCEPINFO* info = nullptr) {
        return hooks->Raise(info, &murl::HooksEvents::ChatTextIntercept, text, colour, 0, eat);
    }
    HRESULT Type(const std::wstring& text, VARIANT_BOOL& eat, EXCEPINFO* info = nullptr) {
        return hooks->Raise(info, &murl::HooksEvents::ChatParserIntercept, text, eat);
    }
    HRESULT Status(const std::wstring& text, VARIANT_BOOL& eat, EXCEPINFO* info = nullptr) {
        return hooks->Raise(info, &murl::HooksEvents::StatusTextIntercept, text, eat);
    }
    HRESULT Login(EXCEPINFO* info = nullptr) {
        return stats->Raise(info, &murl::CharacterStatsEvents::LoginComplete);
    }
    HRESULT Hit(const wchar_t* button, EXCEPINFO* info = nullptr) {
        return control(button)->Raise(info, &murl::PushButtonEvents::Hit, 7);
    }
    HRESULT Accept(const wchar_t* button, EXCEPINFO* info = nullptr) {
        return control(button)->Raise(info, &murl::PushButtonEvents::Accepted, 8);
    }
};

VARIANT Text(const std::wstring& text);  // a VT_BSTR the callee must not keep
VARIANT Long(LONG value);
VARIANT BoolRef(VARIANT_BOOL* flag);
void Clear(std::vector<VARIANT>& args);

template <class Events, class... Params, class... Args>
HRESULT HostObject::Raise(EXCEPINFO* info, void (Events::*event)(Params...), Args&&... args) {
    return point_->Fire(murl::EventDispid<Events>(event),
                        {murl::server::ArgumentVariant(ParamOf<Params>(args))...}, info);
}

// A private copy of murl.dll, loaded from a fresh folder (where its error log lands).
class MurlModule {
public:
    // `name`: the copy's file name; a copy of another name is another module.
    explicit MurlModule(const wchar_t* name = L"murl.dll");
    ~MurlModule();

    // Unloads the module (which the destructor does not); whether it is gone from the process.
    bool Free();

    HRESULT GetClassObject(REFCLSID clsid, REFIID iid, void** out) const;
    HRESULT CanUnloadNow() const;
    // A new plug-in object, asked for `iid`.
    HRESULT Create(REFIID iid, void** out) const;
    const std::wstring& folder() const { return folder_; }
    const std::wstring& path() const { return path_; }
    // The error log's lines, and a fresh start.
    std::vector<std::string> LogLines() const;
    void ClearLog() const;

private:
    std::wstring folder_, path_;
    HMODULE module_ = nullptr;
    HRESULT(WINAPI* get_class_object_)(REFCLSID, REFIID, void**) = nullptr;
    HRESULT(WINAPI* can_unload_now_)() = nullptr;
};

// murl.dll's trace switch for this account, set as a test or a benchmark needs it (murl.dll reads
// it at each Initialize) and put back as it was at the end. The trace file goes to a folder of
// its own, this process's local application data, removed at the end.
class TraceSwitch {
public:
    TraceSwitch();
    ~TraceSwitch();
    TraceSwitch(const TraceSwitch&) = delete;
    TraceSwitch& operator=(const TraceSwitch&) = delete;

    void Set(bool on);
    // The trace file's size, and its lines without their ends.
    long long FileBytes() const;
    std::vector<std::string> Lines() const;

private:
    void Put(DWORD value);
    std::wstring File(const wchar_t* name) const;

    bool had_ = false;
    DWORD before_ = 0;
    std::wstring folder_, local_data_;
};

// The folder of this test program (where the Windows build puts murl.dll too).
std::wstring ProgramFolder();

// The private copy of murl.dll that the conformance tests share, and a new plug-in object from it.
const MurlModule& Module();
ComPtr<IPlugin2> NewPlugin();

// A host whose first four boxes start checked, as the view definition has them.
struct CheckedHost : Host {
    CheckedHost();
};

}  // namespace testhost
