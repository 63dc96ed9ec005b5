// Hosts that misbehave: the plug-in answers with the proper status and the process survives.

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
    VARIANT_BOOL eat = VARIANT_FALSE;
    std::vector<VARIANT> args = {Text(L"You evaded it"), Long(21), Long(0), BoolRef(&eat)};
    std::vector<VARIANT> reversed(args.rbegin(), args.rend());
    DISPPARAMS params{reversed.data(), nullptr, 4, 0};
    CHECK_HR(S_OK,
             stale->Invoke(2, IID_NULL, 0, DISPATCH_METHOD, &params, nullptr, nullptr, nullptr));
    CHECK_EQ(eat, VARIANT_FALSE);
    // ... and again after the plug-in is gone.
    plugin.Reset();
    CHECK_HR(S_OK,
             stale->Invoke(2, IID_NULL, 0, DISPATCH_METHOD, &params, nullptr, nullptr, nullptr));
    CHECK_EQ(eat, VARIANT_FALSE);
    Clear(args);
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

TEST_CASE(hostile_event_arguments) {
    CheckedHost host;
    ComPtr<IPlugin2> plugin = NewPlugin();
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
    auto text_of = [](const wchar_t* text) { return Text(text); };
    auto variant_ref = [](VARIANT* target) {
        VARIANT v;
        VariantInit(&v);
        V_VT(&v) = VT_VARIANT | VT_BYREF;
        V_VARIANTREF(&v) = target;
        return v;
    };

    struct Row {
        const char* name;
        ConnectionPoint* source;
        DISPID id;
        std::vector<VARIANT> args;
        HRESULT expected;
        UINT arg_err;  // checked when the answer is a type mismatch
        VARIANT_BOOL eat_after;
    };
    std::vector<Row> rows;
    ConnectionPoint* hooks = host.hooks->events();
    ConnectionPoint* box = host.control(L"chkEvades")->events();
    ConnectionPoint* button = host.control(L"cmdOut")->events();
    rows.push_back({"chat, three arguments",
                    hooks,
                    2,
                    {text_of(L"You evaded x"), Long(21), Long(0)},
                    DISP_E_BADPARAMCOUNT,
                    0,
                    VARIANT_FALSE});
    rows.push_back({"chat, five arguments",
                    hooks,
                    2,
                    {text_of(L"You evaded x"), Long(21), Long(0), BoolRef(&eat), Long(1)},
                    DISP_E_BADPARAMCOUNT,
                    0,
                    VARIANT_FALSE});
    rows.push_back({"chat, no arguments", hooks, 2, {}, DISP_E_BADPARAMCOUNT, 0, VARIANT_FALSE});
    rows.push_back({"chat, eat flag by value",
                    hooks,
                    2,
                    {text_of(L"You evaded x"), Long(21), Long(0), Long(0)},
                    DISP_E_TYPEMISMATCH,
                    3,
                    VARIANT_FALSE});
    rows.push_back({"chat, colour an object",
                    hooks,
                    2,
                    {text_of(L"You evaded x"), variant(VT_UNKNOWN), Long(0), BoolRef(&eat)},
                    DISP_E_TYPEMISMATCH,
                    1,
                    VARIANT_FALSE});
    rows.push_back({"chat, colour not a number",
                    hooks,
                    2,
                    {text_of(L"You evaded x"), text_of(L"red"), Long(0), BoolRef(&eat)},
                    DISP_E_TYPEMISMATCH,
                    1,
                    VARIANT_FALSE});
    rows.push_back({"chat, colour as text",
                    hooks,
                    2,
                    {text_of(L"You evaded x"), text_of(L"21"), Long(0), BoolRef(&eat)},
                    S_OK,
                    0,
                    VARIANT_TRUE});
    rows.push_back({"chat, text a null",
                    hooks,
                    2,
                    {variant(VT_NULL), Long(21), Long(0), BoolRef(&eat)},
                    DISP_E_TYPEMISMATCH,
                    0,
                    VARIANT_FALSE});
    rows.push_back({"chat, eat flag as a variant",
                    hooks,
                    2,
                    {text_of(L"You evaded x"), Long(21), Long(0), variant_ref(&by_variant)},
                    S_OK,
                    0,
                    VARIANT_FALSE});
    rows.push_back({"chat, null BSTR",
                    hooks,
                    2,
                    {variant(VT_BSTR), Long(21), Long(0), BoolRef(&eat)},
                    S_OK,
                    0,
                    VARIANT_FALSE});
    rows.push_back(
        {"typed, null BSTR", hooks, 3, {variant(VT_BSTR), BoolRef(&eat)}, S_OK, 0, VARIANT_FALSE});
    rows.push_back({"status, missing eat flag",
                    hooks,
                    4,
                    {text_of(L"x")},
                    DISP_E_BADPARAMCOUNT,
                    0,
                    VARIANT_FALSE});
    rows.push_back({"change, state not a Boolean",
                    box,
                    6,
                    {Long(1), text_of(L"abc")},
                    DISP_E_TYPEMISMATCH,
                    1,
                    VARIANT_FALSE});
    rows.push_back(
        {"change, one argument", box, 6, {Long(1)}, DISP_E_BADPARAMCOUNT, 0, VARIANT_FALSE});
    rows.push_back({"hit, id out of range",
                    button,
                    2,
                    {text_of(L"99999999999")},
                    DISP_E_OVERFLOW,
                    0,
                    VARIANT_FALSE});
    rows.push_back({"unknown event", hooks, 77, {Long(1)}, S_OK, 0, VARIANT_FALSE});

    for (Row& row : rows) {
        TRACE(row.name);
        eat = VARIANT_FALSE;
        VariantClear(&by_variant);
        V_VT(&by_variant) = VT_I2;
        V_I2(&by_variant) = 0;
        UINT arg_err = 99;
        CHECK_HR(row.expected, row.source->Fire(row.id, std::move(row.args), nullptr, &arg_err));
        if (row.expected == DISP_E_TYPEMISMATCH) CHECK_EQ(arg_err, row.arg_err);
        CHECK_EQ(eat, row.eat_after);
    }
    // The flag that came as a variant goes back as a Boolean verdict.
    V_VT(&by_variant) = VT_I2;
    V_I2(&by_variant) = 0;
    CHECK_HR(S_OK,
             hooks->Fire(2, {Text(L"You evaded x"), Long(21), Long(0), variant_ref(&by_variant)}));
    CHECK_EQ(V_VT(&by_variant), VT_BOOL);
    CHECK_EQ(V_BOOL(&by_variant), VARIANT_TRUE);

    DISPPARAMS named{};
    DISPID name_ids[] = {0};
    VARIANT one = Long(1);
    named.rgvarg = &one;
    named.cArgs = 1;
    named.rgdispidNamedArgs = name_ids;
    named.cNamedArgs = 1;
    CHECK_HR(DISP_E_NONAMEDARGS, button->FireRaw(2, &named));
    CHECK_HR(DISP_E_BADPARAMCOUNT, button->FireRaw(2, nullptr));
    CHECK_HR(S_OK, plugin->Terminate());
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

    EXCEPINFO info{};
    CHECK_HR(DISP_E_EXCEPTION, host.Hit(L"cmdOut", &info));
    CHECK(FAILED(info.scode));
    CHECK(info.bstrDescription && SysStringLen(info.bstrDescription) > 0);
    SysFreeString(info.bstrDescription);
    SysFreeString(info.bstrSource);
    SysFreeString(info.bstrHelpFile);

    // Without room for the description, the status itself.
    CHECK(FAILED(host.Hit(L"cmdOut")));
    CHECK(host.printed.empty());

    host.hooks->failing.clear();
    CHECK_HR(S_OK, host.Hit(L"cmdOut"));
    CHECK_EQ(host.printed.size(), 3u);
    CHECK_HR(S_OK, plugin->Terminate());
}
