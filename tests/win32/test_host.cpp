#include "test_host.h"

#include <filesystem>
#include <fstream>

#include <olectl.h>

#include "platform/win32/trace_location.h"
#include "server/identity.h"

namespace testhost {

namespace {

// The dispatch interface of the events an object of `kind` raises; null for one that raises none.
const IID* EventsOf(Kind kind) {
    const IID* events = nullptr;
    murl::AnyOf(murl::EventInterfaces{}, [&]<class Events>(std::type_identity<Events>) {
        if (Events::kSource != kind) return false;
        events = murl::server::kEventsIid<Events>;
        return true;
    });
    return events;
}

std::wstring View(BSTR b) {
    return b ? std::wstring(b, SysStringLen(b)) : std::wstring();
}

}  // namespace

// ---- HostObject ---------------------------------------------------------------------------

HostObject::HostObject(Kind kind, Host& host) : kind_(kind), host_(host) {
    if (const IID* events = EventsOf(kind)) {
        point_ = Adopt(new ConnectionPoint(this, *events, host));
    }
}

HostObject::~HostObject() = default;

int HostObject::advised() const {
    return point_ ? point_->advised() : 0;
}

using murl::server::Always;
using murl::server::Grant;

// The interface of its kind, unless told to refuse it; connection points on event sources.
const Grant<HostObject> HostObject::kInterfaces[9] = {
    {&IID_IUnknown, Always<HostObject, IHostSite>},
    {&IID_IConnectionPointContainer, Container},
    {&IID_IHostSite, OfKind<Kind::Site, IHostSite>},
    {&IID_IHostViewLoader, OfKind<Kind::ViewLoader, IHostViewLoader>},
    {&IID_IHostView, OfKind<Kind::View, IHostView>},
    {&IID_IHostCheckBox, OfKind<Kind::CheckBox, IHostCheckBox>},
    {&IID_IHostPushButton, OfKind<Kind::PushButton, IHostPushButton>},
    {&IID_IHostHooks, OfKind<Kind::Hooks, IHostHooks>},
    {&IID_IHostCharacterStats, OfKind<Kind::CharacterStats, IHostCharacterStats>},
};

template <Kind K, class I>
IUnknown* HostObject::OfKind(HostObject& object) noexcept {
    if (object.kind_ != K || object.refuse_interface) return nullptr;
    return static_cast<I*>(&object);
}

IUnknown* HostObject::Container(HostObject& object) noexcept {
    if (!object.point_) return nullptr;
    return static_cast<IConnectionPointContainer*>(&object);
}

HRESULT HostObject::Knob(const char* operation) const {
    host_.Called(this, operation);
    auto it = failing.find(operation);
    return it == failing.end() ? S_OK : it->second;
}

template <class T>
HRESULT HostObject::Hand(const char* operation, T* object, T** out) const {
    if (!out) return E_POINTER;
    *out = nullptr;
    if (HRESULT hr = Knob(operation); FAILED(hr)) return hr;
    if (empty.count(operation) || !object) return S_OK;
    object->AddRef();
    *out = object;
    return S_OK;
}

HRESULT HostObject::GetHooks(IUnknown** hooks) {
    return Hand<IUnknown>("GetHooks", static_cast<IHostHooks*>(host_.hooks.Get()), hooks);
}

HRESULT HostObject::GetViewLoader(IUnknown** loader) {
    return Hand<IUnknown>("GetViewLoader", static_cast<IHostViewLoader*>(host_.loader.Get()),
                          loader);
}

HRESULT HostObject::GetServiceObject(BSTR path, IUnknown** service) {
    host_.last_path = View(path);
    return Hand<IUnknown>("GetServiceObject", static_cast<IHostCharacterStats*>(host_.stats.Get()),
                          service);
}

HRESULT HostObject::LoadViewXml(BSTR, IHostView** view) {
    return Hand<IHostView>("LoadViewXml", static_cast<IHostView*>(host_.view.Get()), view);
}

HRESULT HostObject::FindControl(BSTR name, IUnknown** control) {
    auto it = host_.controls.find(View(name));
    IUnknown* found =
        it == host_.controls.end() ? nullptr : static_cast<IHostSite*>(it->second.Get());
    return Hand<IUnknown>("FindControl", found, control);
}

HRESULT HostObject::GetChecked(VARIANT_BOOL* state) {
    if (!state) return E_POINTER;
    if (HRESULT hr = Knob("GetChecked"); FAILED(hr)) return hr;
    *state = checked;
    return S_OK;
}

HRESULT HostObject::SetChecked(VARIANT_BOOL state) {
    if (HRESULT hr = Knob("SetChecked"); FAILED(hr)) return hr;
    checked = state;
    return S_OK;
}

HRESULT HostObject::WriteChatText(BSTR text, LONG colour, LONG target) {
    if (HRESULT hr = Knob("WriteChatText"); FAILED(hr)) return hr;
    (void)colour;
    (void)target;
    host_.printed.push_back(View(text));
    return S_OK;
}

HRESULT HostObject::IdentityText1(BSTR* text) {
    if (!text) return E_POINTER;
    *text = nullptr;
    if (HRESULT hr = Knob("IdentityText1"); FAILED(hr)) return hr;
    *text = SysAllocString(identity1.c_str());
    return S_OK;
}

HRESULT HostObject::IdentityText2(BSTR* text) {
    if (!text) return E_POINTER;
    *text = nullptr;
    if (HRESULT hr = Knob("IdentityText2"); FAILED(hr)) return hr;
    *text = SysAllocString(identity2.c_str());
    return S_OK;
}

HRESULT HostObject::EnumConnectionPoints(IEnumConnectionPoints** points) {
    if (points) *points = nullptr;
    return E_NOTIMPL;
}

HRESULT HostObject::FindConnectionPoint(REFIID iid, IConnectionPoint** point) {
    host_.Called(this, "FindConnectionPoint");
    if (!point) return E_POINTER;
    *point = nullptr;
    if (!point_ || iid != *EventsOf(kind_)) return CONNECT_E_NOCONNECTION;
    point_->AddRef();
    *point = point_.Get();
    return S_OK;
}

// ---- ConnectionPoint ----------------------------------------------------------------------

ConnectionPoint::ConnectionPoint(IConnectionPointContainer* owner, const IID& iid, Host& host)
    : owner_(owner), iid_(iid), host_(host) {}

const Grant<ConnectionPoint> ConnectionPoint::kInterfaces[2] = {
    {&IID_IUnknown, Always<ConnectionPoint, IConnectionPoint>},
    {&IID_IConnectionPoint, Always<ConnectionPoint, IConnectionPoint>},
};

HRESULT ConnectionPoint::GetConnectionInterface(IID* iid) {
    if (!iid) return E_POINTER;
    *iid = iid_;
    return S_OK;
}

HRESULT ConnectionPoint::GetConnectionPointContainer(IConnectionPointContainer** owner) {
    if (!owner) return E_POINTER;
    owner_->AddRef();
    *owner = owner_;
    return S_OK;
}

HRESULT ConnectionPoint::Advise(IUnknown* sink, DWORD* cookie) {
    host_.Called(static_cast<HostObject*>(owner_), "Advise");
    if (!sink || !cookie) return E_POINTER;
    *cookie = 0;
    ComPtr<IDispatch> dispatch;
    if (FAILED(sink->QueryInterface(iid_, PutOut(dispatch)))) {
        return CONNECT_E_CANNOTCONNECT;
    }
    *cookie = next_cookie_++;
    sinks_[*cookie] = dispatch;
    return S_OK;
}

HRESULT ConnectionPoint::Unadvise(DWORD cookie) {
    host_.Called(static_cast<HostObject*>(owner_), "Unadvise");
    auto it = sinks_.find(cookie);
    if (it == sinks_.end()) return CONNECT_E_NOCONNECTION;
    dropped.push_back(it->second);
    sinks_.erase(it);
    return S_OK;
}

HRESULT ConnectionPoint::EnumConnections(IEnumConnections** connections) {
    if (connections) *connections = nullptr;
    return E_NOTIMPL;
}

std::vector<ComPtr<IDispatch>> ConnectionPoint::sinks() const {
    std::vector<ComPtr<IDispatch>> sinks;
    for (const auto& [cookie, sink] : sinks_) sinks.push_back(sink);
    return sinks;
}

HRESULT ConnectionPoint::FireRaw(DISPID id, DISPPARAMS* params, EXCEPINFO* info, UINT* arg_err) {
    HRESULT hr = S_OK;
    // A copy: a handler may unadvise while the event runs.
    for (auto& sink : sinks()) {
        hr = sink->Invoke(id, IID_NULL, 0, DISPATCH_METHOD, params, nullptr, info, arg_err);
    }
    return hr;
}

HRESULT ConnectionPoint::Fire(DISPID id, std::vector<VARIANT> args, EXCEPINFO* info,
                              UINT* arg_err) {
    std::vector<VARIANT> reversed(args.rbegin(), args.rend());
    DISPPARAMS params{reversed.empty() ? nullptr : reversed.data(), nullptr,
                      static_cast<UINT>(reversed.size()), 0};
    const HRESULT hr = FireRaw(id, &params, info, arg_err);
    Clear(args);
    return hr;
}

// ---- Host ---------------------------------------------------------------------------------

Host::Host() {
    site = Adopt(new HostObject(Kind::Site, *this));
    loader = Adopt(new HostObject(Kind::ViewLoader, *this));
    view = Adopt(new HostObject(Kind::View, *this));
    hooks = Adopt(new HostObject(Kind::Hooks, *this));
    stats = Adopt(new HostObject(Kind::CharacterStats, *this));
    for (const std::u16string_view name : murl::kCheckBoxNames) {
        controls[WideName(name)] = Adopt(new HostObject(Kind::CheckBox, *this));
    }
    for (const wchar_t* name : {L"cmdReset", L"cmdOut"}) {
        controls[name] = Adopt(new HostObject(Kind::PushButton, *this));
    }
}

Host::~Host() = default;

VARIANT Text(const std::wstring& text) {
    return murl::win32::TextVariant(
        std::u16string_view(reinterpret_cast<const char16_t*>(text.data()), text.size()));
}

VARIANT Long(LONG value) {
    return murl::win32::LongVariant(value);
}

VARIANT BoolRef(VARIANT_BOOL* flag) {
    return murl::win32::BoolRefVariant(flag);
}

void Clear(std::vector<VARIANT>& args) {
    murl::win32::ClearVariants(args);
}

// ---- MurlModule ---------------------------------------------------------------------------

std::wstring ProgramFolder() {
    wchar_t path[MAX_PATH];
    const DWORD got = GetModuleFileNameW(nullptr, path, MAX_PATH);
    std::wstring folder(path, got);
    return folder.substr(0, folder.find_last_of(L"\\/"));
}

MurlModule::MurlModule(const wchar_t* name) {
    wchar_t temp[MAX_PATH];
    GetTempPathW(MAX_PATH, temp);
    folder_ = std::wstring(temp) + L"murl-test-" + std::to_wstring(GetCurrentProcessId());
    CreateDirectoryW(folder_.c_str(), nullptr);
    path_ = folder_ + L"\\" + name;
    CopyFileW((ProgramFolder() + L"\\murl.dll").c_str(), path_.c_str(), FALSE);
    module_ = LoadLibraryW(path_.c_str());
    if (!module_) return;
    get_class_object_ = reinterpret_cast<decltype(get_class_object_)>(
        reinterpret_cast<void*>(GetProcAddress(module_, "DllGetClassObject")));
    can_unload_now_ = reinterpret_cast<decltype(can_unload_now_)>(
        reinterpret_cast<void*>(GetProcAddress(module_, "DllCanUnloadNow")));
}

MurlModule::~MurlModule() {
    // The module stays loaded: objects a failed case leaked may still point into it.
}

bool MurlModule::Free() {
    if (module_) FreeLibrary(module_);
    module_ = nullptr;
    get_class_object_ = nullptr;
    can_unload_now_ = nullptr;
    return GetModuleHandleW(path_.c_str()) == nullptr;
}

HRESULT MurlModule::GetClassObject(REFCLSID clsid, REFIID iid, void** out) const {
    if (!get_class_object_) return E_UNEXPECTED;
    return get_class_object_(clsid, iid, out);
}

HRESULT MurlModule::CanUnloadNow() const {
    return can_unload_now_ ? can_unload_now_() : E_UNEXPECTED;
}

HRESULT MurlModule::Create(REFIID iid, void** out) const {
    ComPtr<IClassFactory> factory;
    HRESULT hr = GetClassObject(murl::server::kClsidClsMurl, IID_IClassFactory, PutOut(factory));
    if (FAILED(hr)) return hr;
    return factory->CreateInstance(nullptr, iid, out);
}

std::vector<std::string> MurlModule::LogLines() const {
    std::vector<std::string> lines;
    std::ifstream in(std::filesystem::path(folder_ + L"\\murl_err.log"), std::ios::binary);
    std::string line;
    while (std::getline(in, line)) {
        if (!line.empty() && line.back() == '\r') line.pop_back();
        lines.push_back(line);
    }
    return lines;
}

void MurlModule::ClearLog() const {
    DeleteFileW((folder_ + L"\\murl_err.log").c_str());
}

namespace trace = murl::win32::trace;

TraceSwitch::TraceSwitch() {
    DWORD size = sizeof before_;
    had_ = RegGetValueW(HKEY_CURRENT_USER, trace::kSwitchKey, trace::kSwitchValue, RRF_RT_REG_DWORD,
                        nullptr, &before_, &size) == ERROR_SUCCESS;
    wchar_t temp[MAX_PATH];
    GetTempPathW(MAX_PATH, temp);
    folder_ = temp + std::wstring(L"murl-trace-") + std::to_wstring(GetCurrentProcessId());
    CreateDirectoryW(folder_.c_str(), nullptr);
    wchar_t local[MAX_PATH] = {};
    GetEnvironmentVariableW(L"LOCALAPPDATA", local, MAX_PATH);
    local_data_ = local;
    SetEnvironmentVariableW(L"LOCALAPPDATA", folder_.c_str());
}

TraceSwitch::~TraceSwitch() {
    if (had_) {
        Put(before_);
    } else {
        RegDeleteKeyValueW(HKEY_CURRENT_USER, trace::kSwitchKey, trace::kSwitchValue);
    }
    DeleteFileW(File(trace::kFileName).c_str());
    DeleteFileW(File(trace::kOlderFileName).c_str());
    RemoveDirectoryW((folder_ + L"\\" + trace::kFolder).c_str());
    RemoveDirectoryW(folder_.c_str());
    SetEnvironmentVariableW(L"LOCALAPPDATA", local_data_.empty() ? nullptr : local_data_.c_str());
}

void TraceSwitch::Set(bool on) {
    Put(on ? 1 : 0);
}

void TraceSwitch::Put(DWORD value) {
    RegSetKeyValueW(HKEY_CURRENT_USER, trace::kSwitchKey, trace::kSwitchValue, REG_DWORD, &value,
                    sizeof value);
}

std::wstring TraceSwitch::File(const wchar_t* name) const {
    return folder_ + L"\\" + trace::kFolder + L"\\" + name;
}

long long TraceSwitch::FileBytes() const {
    WIN32_FILE_ATTRIBUTE_DATA data{};
    if (!GetFileAttributesExW(File(trace::kFileName).c_str(), GetFileExInfoStandard, &data)) {
        return 0;
    }
    return (static_cast<long long>(data.nFileSizeHigh) << 32) | data.nFileSizeLow;
}

std::vector<std::string> TraceSwitch::Lines() const {
    std::vector<std::string> lines;
    std::ifstream in(std::filesystem::path(File(trace::kFileName)), std::ios::binary);
    std::string line;
    while (std::getline(in, line)) {
        if (!line.empty() && line.back() == '\r') line.pop_back();
        lines.push_back(line);
    }
    return lines;
}

const MurlModule& Module() {
    static MurlModule module;
    return module;
}

ComPtr<IPlugin2> NewPlugin() {
    ComPtr<IPlugin2> plugin;
    Module().Create(IID_IPlugin2, PutOut(plugin));
    return plugin;
}

CheckedHost::CheckedHost() {
    for (const murl::SwitchRow& row : murl::kSwitches) {
        if (row.initial == u"True") control(WideName(row.control).c_str())->checked = VARIANT_TRUE;
    }
}

}  // namespace testhost
