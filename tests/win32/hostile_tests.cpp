// Hosts that misbehave: the plug-in answers with the proper status and the process survives.

#include "platform/win32/windows_headers.h"

#include <cstring>
#include <memory>
#include <string>
#include <vector>

#include "check.h"
#include "server/identity.h"
#include "test_host.h"

using namespace testhost;

namespace {

bool EndsWith(const std::string& text, const std::string& tail) {
    return text.size() >= tail.size() &&
           text.compare(text.size() - tail.size(), tail.size(), tail) == 0;
}

// The one error report the module's log holds, or a failure.
std::string OnlyReport() {
    const std::vector<std::string> lines = Module().LogLines();
    CHECK_EQ(lines.size(), 1u);
    return lines.empty() ? std::string() : lines.back();
}

}  // namespace

// Raises a combat evade on a hooks sink the host kept after it was unadvised; the line must
// pass uneaten, whatever the sink's plug-in has become.
HRESULT RaiseEvadeOn(IDispatch* sink) {
    VARIANT_BOOL eat = VARIANT_FALSE;
    std::vector<VARIANT> args = {Text(L"You evaded it"), Long(21), Long(0), BoolRef(&eat)};
    std::vector<VARIANT> reversed(args.rbegin(), args.rend());
    DISPPARAMS params{reversed.data(), nullptr, 4, 0};
    const HRESULT hr = sink->Invoke(DISPID_HOOKS_CHATTEXTINTERCEPT, IID_NULL, 0, DISPATCH_METHOD,
                                    &params, nullptr, nullptr, nullptr);
    Clear(args);
    CHECK_EQ(eat, VARIANT_FALSE);
    return hr;
}

TEST_CASE(hostile_terminate_before_initialize_and_twice) {
    CheckedHost host;
    ComPtr<IPlugin2> plugin = NewPlugin();
    REQUIRE(plugin);
    CHECK_HR(S_OK, plugin->Terminate());
    CHECK_HR(S_OK, plugin->Initialize(host.site.Get()));
    CHECK_HR(S_OK, plugin->Terminate());
    CHECK_HR(S_OK, plugin->Terminate());
    CHECK_EQ(host.hooks->advised(), 0);
}

TEST_CASE(hostile_events_after_terminate_reach_nobody) {
    CheckedHost host;
    ComPtr<IPlugin2> plugin = NewPlugin();
    REQUIRE_HR(S_OK, plugin->Initialize(host.site.Get()));
    REQUIRE_HR(S_OK, plugin->Terminate());
    REQUIRE(host.hooks->events()->dropped.size() == 1);
    // The host still calls the sink it was told to forget.
    ComPtr<IDispatch> stale = host.hooks->events()->dropped[0];
    CHECK_HR(S_OK, RaiseEvadeOn(stale.Get()));
    // ... and again after the plug-in is gone.
    plugin.Reset();
    CHECK_HR(S_OK, RaiseEvadeOn(stale.Get()));
    CHECK(host.printed.empty());
}

TEST_CASE(hostile_initialize_with_null_site) {
    Module().ClearLog();
    ComPtr<IPlugin2> plugin = NewPlugin();
    REQUIRE(plugin);
    CHECK_HR(S_OK, plugin->Initialize(nullptr));
    const std::string report = OnlyReport();
    CHECK(report.find("\tError in IPlugin2_Initialize: ") != std::string::npos);
    CHECK(EndsWith(report, ". At line 30"));
    CHECK_HR(S_OK, plugin->Terminate());
}

TEST_CASE(hostile_objects_refusing_their_interface) {
    struct Row {
        const char* name;
        void (*refuse)(Host&);
        const char* line;
        int hooks_advised;
        int stats_advised;
    } rows[] = {
        {"view loader", [](Host& h) { h.loader->refuse_interface = true; }, ". At line 30", 0, 0},
        {"hooks", [](Host& h) { h.hooks->refuse_interface = true; }, ". At line 40", 0, 0},
        {"character statistics", [](Host& h) { h.stats->refuse_interface = true; }, ". At line 50",
         1, 0},
        {"chkResists", [](Host& h) { h.control(L"chkResists")->refuse_interface = true; },
         ". At line 90", 1, 1},
        {"cmdOut", [](Host& h) { h.control(L"cmdOut")->refuse_interface = true; }, ". At line 140",
         1, 1},
    };
    for (const Row& row : rows) {
        TRACE(row.name);
        Module().ClearLog();
        CheckedHost host;
        row.refuse(host);
        ComPtr<IPlugin2> plugin = NewPlugin();
        CHECK_HR(S_OK, plugin->Initialize(host.site.Get()));
        CHECK(EndsWith(OnlyReport(), row.line));
        CHECK_EQ(host.hooks->advised(), row.hooks_advised);
        CHECK_EQ(host.stats->advised(), row.stats_advised);
        CHECK_HR(S_OK, plugin->Terminate());
    }
}

// Events with arguments a host should not send, and an event the plug-in does not handle. With
// the trace on (`trace`), each leaves its line there, whatever the plug-in answers.
void RaiseBadEvents(TraceSwitch* trace) {
    CheckedHost host;
    ComPtr<IPlugin2> plugin = NewPlugin();
    if (trace) trace->Set(true);
    REQUIRE_HR(S_OK, plugin->Initialize(host.site.Get()));
    VARIANT_BOOL eat = VARIANT_FALSE;
    VARIANT by_variant;
    VariantInit(&by_variant);

    auto variant = [](VARTYPE type) {
        VARIANT v;
        VariantInit(&v);
        V_VT(&v) = type;
        return v;
    };
    auto variant_ref = [](VARIANT* target) {
        VARIANT v;
        VariantInit(&v);
        V_VT(&v) = VT_VARIANT | VT_BYREF;
        V_VARIANTREF(&v) = target;
        return v;
    };
    const auto evaded = [] { return Text(L"You evaded x"); };

    // The caller's value of puArgErr, which only an answer naming an argument replaces.
    constexpr UINT kAsGiven = 99;
    constexpr VARIANT_BOOL kKept = VARIANT_FALSE, kEaten = VARIANT_TRUE;
    constexpr DISPID kChat = DISPID_HOOKS_CHATTEXTINTERCEPT;
    struct Row {
        const char* name;
        ConnectionPoint* source;
        DISPID id;
        std::vector<VARIANT> args;
        HRESULT expected;
        UINT arg_err;  // index in rgvarg (last argument first) of the argument at fault
        VARIANT_BOOL eat_after;
        const char* traced;  // the trace's line for it, after the time and the process
    };
    // The trace's last line holds `expected`.
    auto check_traced = [&](const char* expected) {
        if (!trace) return;
        const std::vector<std::string> lines = trace->Lines();
        const std::string last = lines.empty() ? std::string() : lines.back();
        TRACE(last.c_str());
        CHECK(last.find(expected) != std::string::npos);
    };
    ConnectionPoint* hooks = host.hooks->events();
    ConnectionPoint* box = host.control(L"chkEvades")->events();
    ConnectionPoint* button = host.control(L"cmdOut")->events();
    // clang-format off
    Row rows[] = {
        {"chat, three arguments", hooks, kChat, {evaded(), Long(21), Long(0)}, DISP_E_BADPARAMCOUNT, kAsGiven, kKept, R"(event ChatTextIntercept [DISPID 2] ("You evaded x", 21, 0) -> DISP_E_BADPARAMCOUNT 0x8002000E, )"},
        {"chat, five arguments", hooks, kChat, {evaded(), Long(21), Long(0), BoolRef(&eat), Long(1)}, DISP_E_BADPARAMCOUNT, kAsGiven, kKept, R"(event ChatTextIntercept [DISPID 2] ("You evaded x", 21, 0, &false, 1) -> DISP_E_BADPARAMCOUNT 0x8002000E, after: &false, )"},
        {"chat, no arguments", hooks, kChat, {}, DISP_E_BADPARAMCOUNT, kAsGiven, kKept, R"(event ChatTextIntercept [DISPID 2] () -> DISP_E_BADPARAMCOUNT 0x8002000E, )"},
        {"chat, eat flag by value", hooks, kChat, {evaded(), Long(21), Long(0), Long(0)}, DISP_E_TYPEMISMATCH, 0, kKept, R"(event ChatTextIntercept [DISPID 2] ("You evaded x", 21, 0, 0) -> DISP_E_TYPEMISMATCH 0x80020005 at argument 4, )"},
        {"chat, colour an object", hooks, kChat, {evaded(), variant(VT_UNKNOWN), Long(0), BoolRef(&eat)}, DISP_E_TYPEMISMATCH, 2, kKept, R"(event ChatTextIntercept [DISPID 2] ("You evaded x", (type 13), 0, &false) -> DISP_E_TYPEMISMATCH 0x80020005 at argument 2, after: &false, )"},
        {"chat, colour not a number", hooks, kChat, {evaded(), Text(L"red"), Long(0), BoolRef(&eat)}, DISP_E_TYPEMISMATCH, 2, kKept, R"(event ChatTextIntercept [DISPID 2] ("You evaded x", "red", 0, &false) -> DISP_E_TYPEMISMATCH 0x80020005 at argument 2, after: &false, )"},
        {"chat, colour as text", hooks, kChat, {evaded(), Text(L"21"), Long(0), BoolRef(&eat)}, S_OK, kAsGiven, kEaten, R"(event ChatTextIntercept [DISPID 2] ("You evaded x", "21", 0, &false) -> S_OK, after: &true, )"},
        {"chat, text a null", hooks, kChat, {variant(VT_NULL), Long(21), Long(0), BoolRef(&eat)}, DISP_E_TYPEMISMATCH, 3, kKept, R"(event ChatTextIntercept [DISPID 2] ((type 1), 21, 0, &false) -> DISP_E_TYPEMISMATCH 0x80020005 at argument 1, after: &false, )"},
        {"chat, eat flag as a variant", hooks, kChat, {evaded(), Long(21), Long(0), variant_ref(&by_variant)}, S_OK, kAsGiven, kKept, R"(event ChatTextIntercept [DISPID 2] ("You evaded x", 21, 0, &0) -> S_OK, after: &true, )"},
        {"chat, null BSTR", hooks, kChat, {variant(VT_BSTR), Long(21), Long(0), BoolRef(&eat)}, S_OK, kAsGiven, kKept, R"(event ChatTextIntercept [DISPID 2] ("", 21, 0, &false) -> S_OK, after: &false, )"},
        {"typed, null BSTR", hooks, DISPID_HOOKS_CHATPARSERINTERCEPT, {variant(VT_BSTR), BoolRef(&eat)}, S_OK, kAsGiven, kKept, R"(event ChatParserIntercept [DISPID 3] ("", &false) -> S_OK, after: &false, )"},
        {"status, missing eat flag", hooks, DISPID_HOOKS_STATUSTEXTINTERCEPT, {Text(L"x")}, DISP_E_BADPARAMCOUNT, kAsGiven, kKept, R"(event StatusTextIntercept [DISPID 4] ("x") -> DISP_E_BADPARAMCOUNT 0x8002000E, )"},
        {"change, state not a Boolean", box, DISPID_CHECKBOX_CHANGE, {Long(1), Text(L"abc")}, DISP_E_TYPEMISMATCH, 0, kKept, R"(event Change [DISPID 6] (1, "abc") -> DISP_E_TYPEMISMATCH 0x80020005 at argument 2, )"},
        {"change, one argument", box, DISPID_CHECKBOX_CHANGE, {Long(1)}, DISP_E_BADPARAMCOUNT, kAsGiven, kKept, R"(event Change [DISPID 6] (1) -> DISP_E_BADPARAMCOUNT 0x8002000E, )"},
        {"hit, id out of range", button, DISPID_PUSHBUTTON_HIT, {Text(L"99999999999")}, DISP_E_OVERFLOW, 0, kKept, R"(event Hit [DISPID 2] ("99999999999") -> DISP_E_OVERFLOW 0x8002000A at argument 1, )"},
        {"unknown event", hooks, 77, {Long(1)}, S_OK, kAsGiven, kKept, R"(event unknown [DISPID 77] (1) -> S_OK, )"},
    };
    // clang-format on

    for (Row& row : rows) {
        TRACE(row.name);
        eat = VARIANT_FALSE;
        VariantClear(&by_variant);
        V_VT(&by_variant) = VT_I2;
        V_I2(&by_variant) = 0;
        UINT arg_err = kAsGiven;
        CHECK_HR(row.expected, row.source->Fire(row.id, std::move(row.args), nullptr, &arg_err));
        CHECK_EQ(arg_err, row.arg_err);
        CHECK_EQ(eat, row.eat_after);
        check_traced(row.traced);
    }
    // The flag that came as a variant goes back as a Boolean verdict.
    V_VT(&by_variant) = VT_I2;
    V_I2(&by_variant) = 0;
    CHECK_HR(S_OK,
             hooks->Fire(DISPID_HOOKS_CHATTEXTINTERCEPT,
                         {Text(L"You evaded x"), Long(21), Long(0), variant_ref(&by_variant)}));
    CHECK_EQ(V_VT(&by_variant), VT_BOOL);
    CHECK_EQ(V_BOOL(&by_variant), VARIANT_TRUE);

    DISPPARAMS named{};
    DISPID name_ids[] = {0};
    VARIANT one = Long(1);
    named.rgvarg = &one;
    named.cArgs = 1;
    named.rgdispidNamedArgs = name_ids;
    named.cNamedArgs = 1;
    UINT arg_err = kAsGiven;
    CHECK_HR(DISP_E_NONAMEDARGS, button->FireRaw(DISPID_PUSHBUTTON_HIT, &named, nullptr, &arg_err));
    check_traced("event Hit [DISPID 2] (1; 1 named) -> DISP_E_NONAMEDARGS 0x80020007, ");
    CHECK_HR(DISP_E_BADPARAMCOUNT,
             button->FireRaw(DISPID_PUSHBUTTON_HIT, nullptr, nullptr, &arg_err));
    check_traced("event Hit [DISPID 2] () -> DISP_E_BADPARAMCOUNT 0x8002000E, ");
    CHECK_EQ(arg_err, kAsGiven);
    CHECK_HR(S_OK, plugin->Terminate());
}

TEST_CASE(hostile_event_arguments) {
    RaiseBadEvents(nullptr);
}

TEST_CASE(hostile_event_arguments_traced) {
    TraceSwitch trace;
    RaiseBadEvents(&trace);
}

TEST_CASE(hostile_ten_mebibyte_lines) {
    CheckedHost host;
    host.control(L"chkStatus")->checked = VARIANT_TRUE;
    ComPtr<IPlugin2> plugin = NewPlugin();
    REQUIRE_HR(S_OK, plugin->Initialize(host.site.Get()));
    const std::wstring huge = L"You evaded " + std::wstring(10u << 20, L'x');
    VARIANT_BOOL eat = VARIANT_FALSE;
    CHECK_HR(S_OK, host.Chat(huge, 21, eat));
    CHECK_EQ(eat, VARIANT_TRUE);
    eat = VARIANT_FALSE;
    CHECK_HR(S_OK, host.Status(huge, eat));
    CHECK_EQ(eat, VARIANT_TRUE);
    eat = VARIANT_FALSE;
    CHECK_HR(S_OK, host.Type(L"/murl help" + huge, eat));
    CHECK_EQ(eat, VARIANT_TRUE);
    CHECK_HR(S_OK, plugin->Terminate());
}

TEST_CASE(hostile_handler_failure_comes_back_as_exception) {
    CheckedHost host;
    ComPtr<IPlugin2> plugin = NewPlugin();
    REQUIRE_HR(S_OK, plugin->Initialize(host.site.Get()));
    host.hooks->failing["WriteChatText"] = E_ACCESSDENIED;

    ExcepInfo info;
    UINT arg_err = 99;  // a failed handler names no argument: the caller's value stays
    CHECK_HR(DISP_E_EXCEPTION, host.control(L"cmdOut")->events()->Fire(
                                   DISPID_PUSHBUTTON_HIT, {Long(7)}, PutOut(info), &arg_err));
    CHECK(FAILED(info->scode));
    CHECK(info->bstrDescription && SysStringLen(info->bstrDescription) > 0);
    CHECK_EQ(arg_err, 99u);

    // Without room for the description, the status itself.
    CHECK(FAILED(host.Hit(L"cmdOut")));
    CHECK(host.printed.empty());

    host.hooks->failing.clear();
    CHECK_HR(S_OK, host.Hit(L"cmdOut"));
    CHECK_EQ(host.printed.size(), 3u);
    CHECK_HR(S_OK, plugin->Terminate());
}

namespace {

// A host object of `host` by name: the site's own objects or a control of the panel.
HostObject* Named(Host& host, const std::string& name) {
    if (name == "site") return host.site.Get();
    if (name == "loader") return host.loader.Get();
    if (name == "view") return host.view.Get();
    if (name == "hooks") return host.hooks.Get();
    if (name == "stats") return host.stats.Get();
    return host.control(std::wstring(name.begin(), name.end()).c_str());
}

// What the host makes the plug-in do from inside one of its own operations.
enum class Reentry { Terminate, InitializeElsewhere, Release };

// The references held on each host object of `host` now.
std::vector<ULONG> References(Host& host) {
    std::vector<ULONG> counts;
    const auto count = [&](HostObject* object) {
        object->AddRef();
        counts.push_back(object->Release());
    };
    for (HostObject* object : {host.site.Get(), host.loader.Get(), host.view.Get(),
                               host.hooks.Get(), host.stats.Get()}) {
        count(object);
    }
    for (const auto& [name, control] : host.controls) count(control.Get());
    return counts;
}

}  // namespace

// A host may call back into the plug-in from inside any call the plug-in makes on it: end it,
// bind it to another site, or drop its last reference. The plug-in may then drop the adapter
// or sink whose call is still running; none of them may be used after it is freed (Wine's
// heap checking turns such a use into a page fault) and nothing may be left behind: once the
// plug-in is released, it holds no host object.
TEST_CASE(hostile_host_reenters_from_its_own_calls) {
    struct Row {
        const char* phase;  // what the test drives: Initialize, an event, or Terminate
        const char* object;
        const char* operation;
    } rows[] = {
        {"Initialize", "site", "GetViewLoader"},    {"Initialize", "site", "GetHooks"},
        {"Initialize", "site", "GetServiceObject"}, {"Initialize", "loader", "LoadViewXml"},
        {"Initialize", "view", "FindControl"},      {"Initialize", "hooks", "FindConnectionPoint"},
        {"Initialize", "hooks", "Advise"},          {"Initialize", "stats", "Advise"},
        {"Initialize", "chkZero", "Advise"},        {"Initialize", "cmdOut", "Advise"},
        {"chat", "chkEvades", "GetChecked"},        {"hit", "hooks", "WriteChatText"},
        {"login", "stats", "IdentityText2"},        {"login", "stats", "IdentityText1"},
        {"login", "hooks", "WriteChatText"},        {"login", "chkZero", "SetChecked"},
        {"Terminate", "hooks", "Unadvise"},
    };
    const struct {
        const char* name;
        Reentry what;
    } reentries[] = {{"Terminate", Reentry::Terminate},
                     {"Initialize elsewhere", Reentry::InitializeElsewhere},
                     {"final Release", Reentry::Release}};

    for (const Row& row : rows) {
        for (const auto& reentry : reentries) {
            TRACE(std::string(row.phase) + ": " + row.object + "." + row.operation + " -> " +
                  reentry.name);
            {
                CheckedHost host, elsewhere;
                const std::vector<ULONG> held = References(host);
                const std::vector<ULONG> held_elsewhere = References(elsewhere);
                ComPtr<IPlugin2> plugin = NewPlugin();
                REQUIRE(plugin);
                IPlugin2* const raw = plugin.Get();
                const std::string phase = row.phase;
                if (phase != "Initialize") REQUIRE_HR(S_OK, raw->Initialize(host.site.Get()));

                const HostObject* const target = Named(host, row.object);
                bool fired = false;
                host.on_call = [&](const HostObject* object, const char* operation) {
                    if (fired || object != target || std::strcmp(operation, row.operation) != 0) {
                        return;
                    }
                    fired = true;
                    switch (reentry.what) {
                        case Reentry::Terminate:
                            raw->Terminate();
                            break;
                        case Reentry::InitializeElsewhere:
                            raw->Initialize(elsewhere.site.Get());
                            break;
                        case Reentry::Release:
                            plugin.Reset();
                            break;
                    }
                };
                VARIANT_BOOL eat = VARIANT_FALSE;
                if (phase == "Initialize") {
                    CHECK_HR(S_OK, raw->Initialize(host.site.Get()));
                } else if (phase == "chat") {
                    host.Chat(L"You evaded the drudge", 21, eat);
                } else if (phase == "hit") {
                    host.Hit(L"cmdOut");
                } else if (phase == "login") {
                    host.Login();
                } else {
                    CHECK_HR(S_OK, raw->Terminate());
                }
                CHECK(fired);
                host.on_call = nullptr;
                if (plugin) CHECK_HR(S_OK, plugin->Terminate());
                plugin.Reset();
                // Released, the plug-in is bound to nothing of either host.
                for (Host* h : {static_cast<Host*>(&host), static_cast<Host*>(&elsewhere)}) {
                    CHECK_EQ(h->hooks->advised(), 0);
                    CHECK_EQ(h->stats->advised(), 0);
                    for (const auto& [name, control] : h->controls) {
                        TRACE(std::string(name.begin(), name.end()));
                        CHECK_EQ(control->advised(), 0);
                    }
                }
                CHECK(References(host) == held);
                CHECK(References(elsewhere) == held_elsewhere);
            }
            CHECK_HR(S_OK, Module().CanUnloadNow());
        }
    }
    Module().ClearLog();
}

// Event sources that pool their connections release a sink some time after Unadvise. Until
// then the module must stay loaded: the host may still call the sink.
TEST_CASE(hostile_sink_released_late_keeps_the_module) {
    MurlModule module(L"murl-late-sink.dll");
    auto host = std::make_unique<CheckedHost>();
    {
        ComPtr<IPlugin2> plugin;
        REQUIRE_HR(S_OK, module.Create(IID_IPlugin2, PutOut(plugin)));
        REQUIRE_HR(S_OK, plugin->Initialize(host->site.Get()));
        CHECK_HR(S_OK, plugin->Terminate());
    }
    // The plug-in is gone; the host still holds every sink it was told to forget.
    REQUIRE(host->hooks->events()->dropped.size() == 1);
    CHECK_HR(S_FALSE, module.CanUnloadNow());
    ComPtr<IDispatch> late = host->hooks->events()->dropped[0];
    host.reset();
    CHECK_HR(S_FALSE, module.CanUnloadNow());
    CHECK_HR(S_OK, RaiseEvadeOn(late.Get()));
    late.Reset();
    CHECK_HR(S_OK, module.CanUnloadNow());
    // Nothing of the module is left to call once it is unloaded.
    CHECK(module.Free());
}

// A host that follows the error-information protocol asks ISupportErrorInfo before it reads
// IErrorInfo: a failed Initialize (its error log read-only) is described there.
TEST_CASE(hostile_failed_initialize_describes_itself) {
    Module().ClearLog();
    const std::wstring log = Module().folder() + L"\\murl_err.log";
    HANDLE file = CreateFileW(log.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS,
                              FILE_ATTRIBUTE_READONLY, nullptr);
    REQUIRE(file != INVALID_HANDLE_VALUE);
    CloseHandle(file);
    ComPtr<IPlugin2> plugin = NewPlugin();
    REQUIRE(plugin);
    const HRESULT hr = plugin->Initialize(nullptr);
    CHECK(FAILED(hr));
    ComPtr<ISupportErrorInfo> support;
    CHECK_HR(S_OK, plugin->QueryInterface(IID_ISupportErrorInfo, PutOut(support)));
    if (support) CHECK_HR(S_OK, support->InterfaceSupportsErrorInfo(IID_IPlugin2));
    ComPtr<IErrorInfo> error;
    CHECK_HR(S_OK, GetErrorInfo(0, PutOut(error)));
    if (error) {
        Bstr description;
        error->GetDescription(PutOut(description));
        CHECK_EQ(TextOf(description), std::u16string_view(u"Permission denied"));
    }
    CHECK_HR(S_OK, plugin->Terminate());
    SetFileAttributesW(log.c_str(), FILE_ATTRIBUTE_NORMAL);
    Module().ClearLog();
}
