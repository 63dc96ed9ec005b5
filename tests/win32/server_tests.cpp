// murl.dll as a host sees it: reached only through COM, from a private copy of the module.

#include <algorithm>
#include <string>
#include <string_view>
#include <tuple>
#include <type_traits>
#include <utility>
#include <vector>

#include "check.h"
#include "murl_version.h"
#include "server/host_events.h"
#include "server/identity.h"
#include "sim/com_binding.h"
#include "test_host.h"

using namespace testhost;
using murl::server::kClsidClsMurl;
using murl::server::kIidClsMurl;
using murl::server::kLibId;

namespace {

void* const kJunk = reinterpret_cast<void*>(0x1234);

// A row of the tables that ask the module or the object about one class or interface id; the
// tables are alike by design.
struct IdRow {
    const char* name;
    const GUID* id;
    HRESULT expected;
};

}  // namespace

TEST_CASE(com_factory_serves_only_clsmurl) {
    // {5A1D...}: what a second, private class of the module would have had.
    const GUID kOther = {
        0x5A1D0C2E, 0x1111, 0x4222, {0x83, 0x33, 0x44, 0x44, 0x55, 0x55, 0x66, 0x66}};
    const IdRow rows[] = {
        {"clsMurl", &kClsidClsMurl, S_OK},
        {"null class", &GUID_NULL, CLASS_E_CLASSNOTAVAILABLE},
        {"type library id", &kLibId, CLASS_E_CLASSNOTAVAILABLE},
        {"_clsMurl interface id", &kIidClsMurl, CLASS_E_CLASSNOTAVAILABLE},
        {"another class", &kOther, CLASS_E_CLASSNOTAVAILABLE},
    };
    for (const IdRow& row : rows) {
        TRACE(row.name);
        void* out = kJunk;
        CHECK_HR(row.expected, Module().GetClassObject(*row.id, IID_IClassFactory, &out));
        CHECK_EQ(out == nullptr, FAILED(row.expected));
        if (out) static_cast<IUnknown*>(out)->Release();
    }
    void* out = kJunk;
    CHECK_HR(E_NOINTERFACE, Module().GetClassObject(kClsidClsMurl, IID_IDispatch, &out));
    CHECK(out == nullptr);
    CHECK_HR(E_POINTER, Module().GetClassObject(kClsidClsMurl, IID_IClassFactory, nullptr));
}

TEST_CASE(com_factory_refuses_aggregation) {
    ComPtr<IClassFactory> factory;
    REQUIRE_HR(S_OK, Module().GetClassObject(kClsidClsMurl, IID_IClassFactory, PutOut(factory)));
    Host host;
    void* out = kJunk;
    CHECK_HR(CLASS_E_NOAGGREGATION,
             factory->CreateInstance(static_cast<IHostSite*>(host.site.Get()), IID_IUnknown, &out));
    CHECK(out == nullptr);
    out = kJunk;
    CHECK_HR(E_NOINTERFACE, factory->CreateInstance(nullptr, IID_IClassFactory, &out));
    CHECK(out == nullptr);
}

TEST_CASE(com_object_grants_its_interfaces_with_one_identity) {
    ComPtr<IUnknown> object;
    REQUIRE_HR(S_OK, Module().Create(IID_IUnknown, PutOut(object)));
    const IdRow rows[] = {
        {"IUnknown", &IID_IUnknown, S_OK},
        {"IDispatch", &IID_IDispatch, S_OK},
        {"_clsMurl", &kIidClsMurl, S_OK},
        {"IPlugin2", &IID_IPlugin2, S_OK},
        {"ISupportErrorInfo", &IID_ISupportErrorInfo, S_OK},
        {"IClassFactory", &IID_IClassFactory, E_NOINTERFACE},
        {"IConnectionPointContainer", &IID_IConnectionPointContainer, E_NOINTERFACE},
        {"IProvideClassInfo", &IID_IProvideClassInfo, E_NOINTERFACE},
        {"IPersist", &IID_IPersist, E_NOINTERFACE},
        {"the host's site", &IID_IHostSite, E_NOINTERFACE},
    };
    for (const IdRow& row : rows) {
        TRACE(row.name);
        void* out = kJunk;
        CHECK_HR(row.expected, object->QueryInterface(*row.id, &out));
        if (FAILED(row.expected)) {
            CHECK(out == nullptr);
            continue;
        }
        ComPtr<IUnknown> granted = Adopt(static_cast<IUnknown*>(out));
        ComPtr<IUnknown> identity;
        CHECK_HR(S_OK, granted->QueryInterface(IID_IUnknown, PutOut(identity)));
        CHECK(identity.Get() == object.Get());
    }
    CHECK_HR(E_POINTER, object->QueryInterface(IID_IUnknown, nullptr));
}

TEST_CASE(com_dispatch_finds_no_member) {
    ComPtr<IDispatch> dispatch;
    REQUIRE_HR(S_OK, Module().Create(IID_IDispatch, PutOut(dispatch)));
    for (const wchar_t* name : {L"Initialize", L"Terminate", L"EvadeCount", L"IPlugin2_Initialize",
                                L"chkEvades", L"", L"x"}) {
        TRACE(std::string(name, name + wcslen(name)));
        LPOLESTR names[] = {const_cast<LPOLESTR>(name)};
        DISPID id = 12345;
        CHECK_HR(DISP_E_UNKNOWNNAME, dispatch->GetIDsOfNames(IID_NULL, names, 1, 0, &id));
        CHECK_EQ(id, DISPID_UNKNOWN);
    }
    DISPPARAMS none{};
    CHECK_HR(DISP_E_MEMBERNOTFOUND,
             dispatch->Invoke(0, IID_NULL, 0, DISPATCH_METHOD, &none, nullptr, nullptr, nullptr));
}

// An event sink is called by DISPID only; a host that looks names up first learns that it
// knows none of them, and every id it asked for says so.
TEST_CASE(com_event_sinks_know_no_names) {
    CheckedHost host;
    ComPtr<IPlugin2> plugin = NewPlugin();
    REQUIRE_HR(S_OK, plugin->Initialize(host.site.Get()));
    std::vector<std::pair<std::string, HostObject*>> sources = {{"hooks", host.hooks.Get()},
                                                                {"stats", host.stats.Get()}};
    for (auto& [name, control] : host.controls) {
        sources.push_back({std::string(name.begin(), name.end()), control.Get()});
    }
    const std::vector<std::vector<const wchar_t*>> lookups = {
        {L"ChatTextIntercept"},
        {L"ChatTextIntercept", L"bstrText", L"lColor", L"bEat"},
        {L"Change", L"nID", L"bChecked"},
        {L""},
    };
    for (const auto& [name, source] : sources) {
        TRACE(name);
        const std::vector<ComPtr<IDispatch>> sinks = source->events()->sinks();
        CHECK_EQ(sinks.size(), 1u);
        for (const ComPtr<IDispatch>& sink : sinks) {
            for (const auto& lookup : lookups) {
                TRACE(std::to_string(lookup.size()) + " names");
                std::vector<LPOLESTR> names;
                for (const wchar_t* n : lookup) names.push_back(const_cast<LPOLESTR>(n));
                std::vector<DISPID> ids(names.size(), 12345);
                CHECK_HR(DISP_E_UNKNOWNNAME,
                         sink->GetIDsOfNames(IID_NULL, names.data(),
                                             static_cast<UINT>(names.size()), 0, ids.data()));
                for (size_t i = 0; i < ids.size(); ++i) {
                    TRACE("id " + std::to_string(i));
                    CHECK_EQ(ids[i], DISPID_UNKNOWN);
                }
            }
        }
    }
    CHECK_HR(S_OK, plugin->Terminate());
}

// The dual default interface describes itself from the module's own type library, which
// need not be registered.
TEST_CASE(com_dispatch_gives_its_type_information) {
    ComPtr<IDispatch> dispatch;
    REQUIRE_HR(S_OK, Module().Create(IID_IDispatch, PutOut(dispatch)));
    UINT count = 99;
    CHECK_HR(S_OK, dispatch->GetTypeInfoCount(&count));
    CHECK_EQ(count, 1u);
    CHECK_HR(E_POINTER, dispatch->GetTypeInfoCount(nullptr));

    ComPtr<ITypeInfo> info;
    REQUIRE_HR(S_OK, dispatch->GetTypeInfo(0, 0, PutOut(info)));
    REQUIRE(info);
    Bstr name;
    CHECK_HR(S_OK, info->GetDocumentation(MEMBERID_NIL, PutOut(name), nullptr, nullptr, nullptr));
    CHECK_EQ(TextOf(name), std::u16string_view(u"_clsMurl"));
    TYPEATTR* attr = nullptr;
    REQUIRE_HR(S_OK, info->GetTypeAttr(&attr));
    CHECK(attr->guid == kIidClsMurl);
    CHECK_EQ(static_cast<int>(attr->typekind), static_cast<int>(TKIND_DISPATCH));
    info->ReleaseTypeAttr(attr);
    // The type information names no member of its own either.
    LPOLESTR names[] = {const_cast<LPOLESTR>(L"Initialize")};
    MEMBERID member = 12345;
    CHECK_HR(DISP_E_UNKNOWNNAME, info->GetIDsOfNames(names, 1, &member));

    ITypeInfo* none = reinterpret_cast<ITypeInfo*>(kJunk);
    CHECK_HR(DISP_E_BADINDEX, dispatch->GetTypeInfo(1, 0, &none));
    CHECK(none == nullptr);
    CHECK_HR(E_POINTER, dispatch->GetTypeInfo(0, 0, nullptr));
}

// A failed call leaves IErrorInfo behind, and the object says so for its interfaces.
TEST_CASE(com_object_supports_error_info) {
    ComPtr<ISupportErrorInfo> support;
    REQUIRE_HR(S_OK, Module().Create(IID_ISupportErrorInfo, PutOut(support)));
    const IdRow rows[] = {
        {"IPlugin2", &IID_IPlugin2, S_OK},
        {"_clsMurl", &kIidClsMurl, S_OK},
        {"IUnknown", &IID_IUnknown, S_FALSE},
        {"IClassFactory", &IID_IClassFactory, S_FALSE},
    };
    for (const IdRow& row : rows) {
        TRACE(row.name);
        CHECK_HR(row.expected, support->InterfaceSupportsErrorInfo(*row.id));
    }
}

TEST_CASE(com_unload_waits_for_objects_and_locks) {
    REQUIRE_HR(S_OK, Module().CanUnloadNow());
    {
        ComPtr<IPlugin2> plugin = NewPlugin();
        REQUIRE(plugin);
        CHECK_HR(S_FALSE, Module().CanUnloadNow());
        ComPtr<IPlugin2> second = NewPlugin();
        plugin.Reset();
        CHECK_HR(S_FALSE, Module().CanUnloadNow());
    }
    CHECK_HR(S_OK, Module().CanUnloadNow());

    // A lock taken through one factory keeps the module until an unlock through another.
    const auto lock_then_unlock = [] {
        ComPtr<IClassFactory> factory;
        REQUIRE_HR(S_OK,
                   Module().GetClassObject(kClsidClsMurl, IID_IClassFactory, PutOut(factory)));
        CHECK_HR(S_OK, factory->LockServer(TRUE));
        factory.Reset();
        CHECK_HR(S_FALSE, Module().CanUnloadNow());
        REQUIRE_HR(S_OK,
                   Module().GetClassObject(kClsidClsMurl, IID_IClassFactory, PutOut(factory)));
        CHECK_HR(S_OK, factory->LockServer(FALSE));
        factory.Reset();
        CHECK_HR(S_OK, Module().CanUnloadNow());
    };
    lock_then_unlock();

    // An unlock without a lock is refused and leaves the count at zero: the next lock holds.
    {
        ComPtr<IClassFactory> factory;
        REQUIRE_HR(S_OK,
                   Module().GetClassObject(kClsidClsMurl, IID_IClassFactory, PutOut(factory)));
        CHECK_HR(E_UNEXPECTED, factory->LockServer(FALSE));
        CHECK_HR(E_UNEXPECTED, factory->LockServer(FALSE));
    }
    CHECK_HR(S_OK, Module().CanUnloadNow());
    lock_then_unlock();

    // An initialised plug-in holding host objects keeps the module too, until released.
    {
        CheckedHost host;
        ComPtr<IPlugin2> plugin = NewPlugin();
        CHECK_HR(S_OK, plugin->Initialize(host.site.Get()));
        CHECK_HR(S_OK, plugin->Terminate());
        CHECK_HR(S_FALSE, Module().CanUnloadNow());
    }
    CHECK_HR(S_OK, Module().CanUnloadNow());
}

TEST_CASE(com_plugin_binds_and_releases_through_connection_points) {
    CheckedHost host;
    ComPtr<IPlugin2> plugin = NewPlugin();
    REQUIRE(plugin);
    REQUIRE_HR(S_OK, plugin->Initialize(host.site.Get()));
    CHECK_EQ(host.last_path,
             std::wstring(L"services\\DecalNet.NetService\\DecalFilters.CharacterStats"));
    CHECK_EQ(host.hooks->advised(), 1);
    CHECK_EQ(host.stats->advised(), 1);
    for (auto& [name, control] : host.controls) {
        TRACE(std::string(name.begin(), name.end()));
        CHECK_EQ(control->advised(), 1);
    }
    CHECK_HR(S_OK, plugin->Terminate());
    CHECK_EQ(host.hooks->advised(), 0);
    CHECK_EQ(host.stats->advised(), 1);
    CHECK_EQ(host.control(L"cmdOut")->advised(), 1);
    plugin.Reset();
    CHECK_EQ(host.stats->advised(), 0);
    for (auto& [name, control] : host.controls) {
        TRACE(std::string(name.begin(), name.end()));
        CHECK_EQ(control->advised(), 0);
    }
}

TEST_CASE(com_chat_lines_reach_the_filters_by_dispid) {
    CheckedHost host;
    ComPtr<IPlugin2> plugin = NewPlugin();
    REQUIRE_HR(S_OK, plugin->Initialize(host.site.Get()));
    struct Row {
        LONG colour;
        const wchar_t* text;
        VARIANT_BOOL eat;
    } rows[] = {
        {21, L"You evaded the gnawer!", VARIANT_TRUE},
        {21, L"The gnawer hits you for 0 points of damage.", VARIANT_TRUE},
        {7, L"You resist the spell", VARIANT_TRUE},
        {7, L"Your spell has expired.", VARIANT_TRUE},
        {5, L"You evaded the gnawer!", VARIANT_FALSE},
        {2, L"-t- trade bot here", VARIANT_FALSE},
    };
    for (const Row& row : rows) {
        TRACE(std::string(row.text, row.text + wcslen(row.text)));
        VARIANT_BOOL eat = 7;
        CHECK_HR(S_OK, host.Chat(row.text, row.colour, eat));
        CHECK_EQ(eat, row.eat);
    }
    VARIANT_BOOL eat = VARIANT_FALSE;
    CHECK_HR(S_OK, host.Status(L"floating text", eat));
    CHECK_EQ(eat, VARIANT_FALSE);
    host.control(L"chkStatus")->checked = VARIANT_TRUE;
    CHECK_HR(S_OK, host.Status(L"floating text", eat));
    CHECK_EQ(eat, VARIANT_TRUE);

    eat = VARIANT_FALSE;
    CHECK_HR(S_OK, host.Type(L"/murl help", eat));
    CHECK_EQ(eat, VARIANT_TRUE);
    CHECK_EQ(host.printed.size(), 2u);
    if (!host.printed.empty()) {
        CHECK_EQ(host.printed[0], L"Murl! version: " + std::to_wstring(MURL_VERSION_MAJOR) + L"." +
                                      std::to_wstring(MURL_VERSION_MINOR) + L"." +
                                      std::to_wstring(MURL_VERSION_REVISION));
    }
    CHECK_HR(S_OK, plugin->Terminate());
}

namespace {

// An event's shape as a line: "Name = DISPID (BSTR, long, VARIANT_BOOL, VARIANT_BOOL*)".
std::string EventLine(std::string_view name, DISPID id, const std::vector<std::string>& params) {
    std::string line = std::string(name) + " = " + std::to_string(id) + " (";
    for (size_t i = 0; i < params.size(); ++i) line += (i ? ", " : "") + params[i];
    return line + ")";
}

template <class Param>
std::string ParamType() {
    if constexpr (std::is_same_v<Param, std::u16string_view>) return "BSTR";
    if constexpr (std::is_same_v<Param, int32_t>) return "long";
    if constexpr (std::is_same_v<Param, murl::HostBool>) return "VARIANT_BOOL";
    if constexpr (std::is_same_v<Param, murl::HostBool&>) return "VARIANT_BOOL*";
    return "?";
}

std::string ParamType(const TYPEDESC& type) {
    switch (type.vt) {
        case VT_BSTR:
            return "BSTR";
        case VT_I4:
            return "long";
        case VT_BOOL:
            return "VARIANT_BOOL";
        case VT_PTR:
            return ParamType(*type.lptdesc) + "*";
        default:
            return "VARTYPE " + std::to_string(type.vt);
    }
}

// The events of `Events` as its rows have them, one line each, sorted.
template <class Events>
std::string RowLines() {
    std::vector<std::string> lines;
    std::apply(
        [&]<class... Member>(const murl::EventRow<Member>&... row) {
            (lines.push_back(EventLine(row.name, row.dispid,
                                       [&]<class... Params>(void (Events::*)(Params...)) {
                                           return std::vector<std::string>{ParamType<Params>()...};
                                       }(row.member))),
             ...);
        },
        Events::kEvents);
    std::sort(lines.begin(), lines.end());
    std::string all;
    for (const std::string& line : lines) all += line + "\n";
    return all;
}

// The methods of a dispatch interface as the type library has them, one line each, sorted.
std::string TypeLibraryLines(ITypeInfo* info) {
    TYPEATTR* attr = nullptr;
    if (FAILED(info->GetTypeAttr(&attr))) return "no type attributes";
    std::vector<std::string> lines;
    for (UINT i = 0; i < attr->cFuncs; ++i) {
        FUNCDESC* func = nullptr;
        if (FAILED(info->GetFuncDesc(i, &func))) continue;
        Bstr name;
        info->GetDocumentation(func->memid, PutOut(name), nullptr, nullptr, nullptr);
        std::vector<std::string> params;
        for (SHORT p = 0; p < func->cParams; ++p) {
            params.push_back(ParamType(func->lprgelemdescParam[p].tdesc));
        }
        const std::u16string_view text = TextOf(name);
        lines.push_back(EventLine(std::string(text.begin(), text.end()), func->memid, params));
        info->ReleaseFuncDesc(func);
    }
    info->ReleaseTypeAttr(attr);
    std::sort(lines.begin(), lines.end());
    std::string all;
    for (const std::string& line : lines) all += line + "\n";
    return all;
}

}  // namespace

// Every event the plug-in handles has its row, and every row its method in the host's type
// library: same name, DISPID and parameters; every dispatch interface of the library is an
// event interface of the core.
TEST_CASE(com_event_rows_match_the_host_type_library) {
    ComPtr<ITypeLib> library;
    REQUIRE_HR(S_OK, LoadTypeLibEx((ProgramFolder() + L"\\Decal.dll").c_str(), REGKIND_NONE,
                                   PutOut(library)));
    size_t interfaces = 0;
    murl::AnyOf(murl::EventInterfaces{}, [&]<class Events>(std::type_identity<Events>) {
        ++interfaces;
        ComPtr<ITypeInfo> info;
        CHECK_HR(S_OK, library->GetTypeInfoOfGuid(*murl::server::kEventsIid<Events>, PutOut(info)));
        if (info) CHECK_EQ(TypeLibraryLines(info.Get()), RowLines<Events>());
        return false;
    });
    size_t dispatch_interfaces = 0;
    for (UINT i = 0; i < library->GetTypeInfoCount(); ++i) {
        TYPEKIND kind;
        if (SUCCEEDED(library->GetTypeInfoType(i, &kind)) && kind == TKIND_DISPATCH) {
            ++dispatch_interfaces;
        }
    }
    CHECK_EQ(dispatch_interfaces, interfaces);
}

TEST_CASE(com_two_creations_are_independent) {
    CheckedHost first_host, second_host;
    ComPtr<IPlugin2> first = NewPlugin(), second = NewPlugin();
    REQUIRE(first && second && first.Get() != second.Get());
    REQUIRE_HR(S_OK, first->Initialize(first_host.site.Get()));
    REQUIRE_HR(S_OK, second->Initialize(second_host.site.Get()));
    CHECK_HR(S_OK, first->Terminate());
    VARIANT_BOOL eat = VARIANT_FALSE;
    CHECK_HR(S_OK, second_host.Chat(L"You evaded it", 21, eat));
    CHECK_EQ(eat, VARIANT_TRUE);
    CHECK_HR(S_OK, second_host.Hit(L"cmdOut"));
    CHECK(first_host.printed.empty());
    // The terminated one has no hooks left to print with: its button reports the failure.
    ExcepInfo info;
    CHECK_HR(DISP_E_EXCEPTION, first_host.Hit(L"cmdOut", PutOut(info)));
    CHECK_EQ(std::wstring(info->bstrDescription ? info->bstrDescription : L""),
             std::wstring(L"Object variable or With block variable not set"));
    CHECK_HR(S_OK, first->Initialize(first_host.site.Get()));
    CHECK_HR(S_OK, first_host.Hit(L"cmdOut"));
    const std::vector<std::wstring> first_stats = {L"Melee evades = 0", L"Resists = 0",
                                                   L"Zero damage hits = 0"};
    const std::vector<std::wstring> second_stats = {L"Melee evades = 1", L"Resists = 0",
                                                    L"Zero damage hits = 0"};
    CHECK(first_host.printed == first_stats);
    CHECK(second_host.printed == second_stats);
    CHECK_HR(S_OK, second->Terminate());
}

namespace {

// An object that only counts its references.
class Counted final : public IUnknown {
public:
    ULONG refs = 1;
    STDMETHODIMP QueryInterface(REFIID iid, void** out) override {
        if (!out) return E_POINTER;
        *out = nullptr;
        if (iid != IID_IUnknown) return E_NOINTERFACE;
        *out = static_cast<IUnknown*>(this);
        AddRef();
        return S_OK;
    }
    STDMETHODIMP_(ULONG) AddRef() override { return ++refs; }
    STDMETHODIMP_(ULONG) Release() override { return --refs; }
};

}  // namespace

// Handing a holder that holds an object to a call that fills it releases the object first,
// whether the call fills it or fails.
TEST_CASE(com_putout_releases_the_held_object_first) {
    using murl::win32::ComOut;
    struct Row {
        const char* name;
        HRESULT (*call)(Counted& next, ComOut<IUnknown> slot);
        bool filled;
    } rows[] = {
        {"untyped, filled",
         [](Counted& next, ComOut<IUnknown> slot) {
             return next.QueryInterface(IID_IUnknown, slot);
         },
         true},
        {"typed, filled",
         [](Counted& next, ComOut<IUnknown> slot) {
             IUnknown** typed = slot;
             next.AddRef();
             *typed = &next;
             return S_OK;
         },
         true},
        {"untyped, refused",
         [](Counted& next, ComOut<IUnknown> slot) {
             return next.QueryInterface(IID_IDispatch, slot);
         },
         false},
    };
    for (const Row& row : rows) {
        TRACE(row.name);
        Counted held_first, next;
        ComPtr<IUnknown> held = Adopt<IUnknown>(&held_first);
        CHECK_HR(row.filled ? S_OK : E_NOINTERFACE, row.call(next, PutOut(held)));
        CHECK_EQ(held_first.refs, 0ul);
        CHECK(held.Get() == (row.filled ? &next : nullptr));
        CHECK_EQ(next.refs, row.filled ? 2ul : 1ul);
        held.Reset();
        CHECK_EQ(next.refs, 1ul);
        CHECK_EQ(held_first.refs, 0ul);
    }
}

namespace {

// What making a binding on a thread of its own, where nothing else started COM, came to.
struct BindingOutcome {
    std::u16string dll;
    bool made = false;
    HRESULT again = E_FAIL;  // starting COM on the thread afterwards
};

DWORD WINAPI MakeBinding(void* param) {
    auto& out = *static_cast<BindingOutcome*>(param);
    try {
        murl::sim::ComBinding binding(out.dll);
        out.made = true;
    } catch (...) {
    }
    out.again = CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED);
    if (SUCCEEDED(out.again)) CoUninitialize();
    return 0;
}

}  // namespace

// The simulator's binding starts COM on its thread and ends it again, also when it cannot be
// made: the thread can start COM afresh afterwards (S_OK, not S_FALSE).
TEST_CASE(com_binding_leaves_the_thread_as_it_found_it) {
    struct Row {
        const char* name;
        std::wstring dll;
        bool made;
    } rows[] = {
        {"made and ended", Module().path(), true},
        {"missing DLL", Module().folder() + L"\\no-such.dll", false},
        {"not a component server", L"kernel32.dll", false},
        {"not serving the plug-in", L"ole32.dll", false},
    };
    for (const Row& row : rows) {
        TRACE(row.name);
        BindingOutcome outcome{std::u16string(row.dll.begin(), row.dll.end())};
        HANDLE thread = CreateThread(nullptr, 0, MakeBinding, &outcome, 0, nullptr);
        REQUIRE(thread);
        WaitForSingleObject(thread, INFINITE);
        CloseHandle(thread);
        CHECK_EQ(outcome.made, row.made);
        CHECK_HR(S_OK, outcome.again);
    }
}
