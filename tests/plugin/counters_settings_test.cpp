#include <gtest/gtest.h>

#include <algorithm>
#include <limits>

#include "plugin/stored_values.h"
#include "plugin_fixture.h"
#include "settings_review.h"

namespace murl::test {
namespace {

class CountersSettings : public PluginTest {
protected:
    void SetUp() override { Init(); }
    void Store(std::u16string section, std::u16string key, SettingValue value) {
        store.entries()[{u"Murl", std::move(section), std::move(key)}] = std::move(value);
    }
};

TEST_F(CountersSettings, FirstLoginWithAnEmptyStoreUsesDefaultsAndWritesNothing) {
    host.Login(u"Abc", u"Xyz");
    EXPECT_EQ(plugin->CharacterKey(), u"XyzAbc");
    EXPECT_EQ(host.Printed(), std::vector<std::string>{kBanner});
    EXPECT_EQ(host.BoxStates(), BoxStates(kInitialBoxes));
    EXPECT_EQ(plugin->EvadeCount() + plugin->ResistCount() + plugin->ZeroCount(), 0);
    EXPECT_TRUE(store.entries().empty());
    EXPECT_TRUE(LogReports().empty());
}

struct LoadCase {
    const char* name;
    std::vector<std::pair<std::u16string, SettingValue>> counters;  // key, value under "XyzAbc"
    std::vector<std::pair<std::u16string, SettingValue>> switches;  // key, value under "Settings"
    std::u16string refused;  // a key whose reads the store refuses; empty: none
    int evades, resists, zero;
    BoxSet boxes;  // the boxes on after the load (every box is clear before it)
    std::vector<std::string> reports;
};

// The boxes drawn while the store holds nothing, but `on` on and `off` off.
consteval BoxSet Initial(BoxSet on, BoxSet off = kNoBoxes) {
    return (kInitialBoxes | on) & ~off;
}

const std::string kMismatch = "Error in LoadVariables: Type mismatch. At line 0";
const std::string kOverflow = "Error in LoadVariables: Overflow. At line 0";
std::string Unreadable(const char* type) {
    return std::string("Error in LoadVariables: Type mismatch (stored as ") + type + "). At line 0";
}

// Before each load the counters are 100, 200, 300 and every box is clear.
const LoadCase kLoadCases[] = {
    {"negative and zero",
     {{u"Evades", u"-3"}, {u"Resists", u"0"}, {u"Zero", u"7"}},
     {},
     u"",
     -3,
     0,
     7,
     Initial(kNoBoxes),
     {}},
    {"halves round to even",
     {{u"Evades", u"12.5"}, {u"Resists", u"13.5"}, {u"Zero", u" 2E1 "}},
     {},
     u"",
     12,
     14,
     20,
     Initial(kNoBoxes),
     {}},
    {"letters under Evades, the first counter",
     {{u"Evades", u"lots"}, {u"Resists", u"13"}, {u"Zero", u"4"}},
     {{u"Bots", u"True"}},
     u"",
     0,
     13,
     4,
     Initial(Box(u"chkBots")),
     {kMismatch}},
    {"letters under Resists, the middle counter",
     {{u"Evades", u"5"}, {u"Resists", u"abc"}, {u"Zero", u"9"}},
     {},
     u"",
     5,
     0,
     9,
     Initial(kNoBoxes),
     {kMismatch}},
    {"too large under Zero, the last counter",
     {{u"Evades", u"5"}, {u"Resists", u"6"}, {u"Zero", u"2147483648"}},
     {{u"Evades", u"False"}},
     u"",
     5,
     6,
     0,
     Initial(kNoBoxes, Box(u"chkEvades")),
     {kOverflow}},
    {"empty text", {{u"Zero", u""}}, {}, u"", 0, 0, 0, Initial(kNoBoxes), {kMismatch}},
    {"every counter bad, reported in order",
     {{u"Evades", u"x"}, {u"Resists", u"-2147483649"}, {u"Zero", u"1,5"}},
     {},
     u"",
     0,
     0,
     0,
     Initial(kNoBoxes),
     {kMismatch, kOverflow, kMismatch}},
    {"switch spellings",
     {},
     {{u"Evades", u"true"},
      {u"Zero", u"FALSE"},
      {u"Resists", u"0"},
      {u"Expired", u"1"},
      {u"Status", u"-1"},
      {u"Bots", u"True"}},
     u"",
     0,
     0,
     0,
     Initial(Box(u"chkStatus") | Box(u"chkBots"), Box(u"chkZero") | Box(u"chkResists")),
     {}},
    {"yes under Expired between good switches stays as it was",
     {},
     {{u"Evades", u"False"}, {u"Expired", u"yes"}, {u"Bots", u"True"}},
     u"",
     0,
     0,
     0,
     Initial(Box(u"chkBots"), Box(u"chkEvades") | Box(u"chkExpired")),
     {kMismatch}},
    {"a bad counter and a bad switch",
     {{u"Resists", u"many"}, {u"Zero", u"2"}},
     {{u"Evades", u"on"}, {u"Status", u"True"}},
     u"",
     0,
     0,
     2,
     Initial(Box(u"chkStatus"), Box(u"chkEvades")),
     {kMismatch, kMismatch}},
    {"numbers stored as numbers",
     {{u"Evades", SettingValue::Unsigned(12, u"REG_DWORD")},
      {u"Resists", SettingValue::Unsigned(2147483647, u"REG_QWORD")},
      {u"Zero", SettingValue::Number(-2147483648LL, u"INTEGER")}},
     {{u"Evades", SettingValue::Unsigned(0, u"REG_DWORD")},
      {u"Status", SettingValue::Number(-1, u"INTEGER")},
      {u"Bots", SettingValue::Unsigned(1, u"REG_DWORD")}},
     u"",
     12,
     2147483647,
     -2147483648,
     Initial(Box(u"chkStatus") | Box(u"chkBots"), Box(u"chkEvades")),
     {}},
    {"numbers beyond a count's range",
     {{u"Evades", SettingValue::Unsigned(4294967295, u"REG_DWORD")},
      {u"Resists", SettingValue::Unsigned(2147483648, u"REG_QWORD")},
      {u"Zero", SettingValue::Number(-2147483649LL, u"INTEGER")}},
     {{u"Bots", SettingValue::Unsigned(18446744073709551615ULL, u"REG_QWORD")}},
     u"",
     0,
     0,
     0,
     Initial(Box(u"chkBots")),
     {kOverflow, kOverflow, kOverflow}},
    {"values of types Murl cannot read",
     {{u"Evades", SettingValue::Unreadable(u"REG_BINARY")},
      {u"Resists", SettingValue::Text(u"5", u"REG_EXPAND_SZ")},
      {u"Zero", SettingValue::Unreadable(u"BLOB")}},
     {{u"Zero", SettingValue::Unreadable(u"REG_DWORD of 2 bytes")},
      {u"Status", SettingValue::Unreadable(u"REG_MULTI_SZ")},
      {u"Bots", SettingValue::Unsigned(2, u"REG_DWORD")}},
     u"",
     0,
     5,
     0,
     Initial(Box(u"chkBots"), Box(u"chkZero")),
     {Unreadable("REG_BINARY"), Unreadable("BLOB"), Unreadable("REG_DWORD of 2 bytes"),
      Unreadable("REG_MULTI_SZ")}},
    {"the store refuses Resists: the load stops there",
     {{u"Evades", u"5"}, {u"Resists", u"6"}, {u"Zero", u"7"}},
     {},
     u"Resists",
     5,
     200,
     300,
     kNoBoxes,  // the counters come first: no box is reached
     {"Error in LoadVariables: Permission denied. At line 0"}},
    {"a bad counter, then the store refuses Expired",
     {{u"Evades", u"abc"}, {u"Resists", u"6"}},
     {{u"Zero", u"False"}, {u"Bots", u"True"}},
     u"Expired",
     0,
     6,
     0,
     Box(u"chkEvades") | Box(u"chkResists"),  // Zero loaded, the boxes from Expired on not reached
     {kMismatch, "Error in LoadVariables: Permission denied. At line 0"}},
};

TEST_F(CountersSettings, EachStoredValueLoadsOnItsOwn) {
    for (const auto& c : kLoadCases) {
        SCOPED_TRACE(c.name);
        store.entries().clear();
        store.clear_failures();
        ClearLog();
        for (const auto& [key, value] : c.counters) Store(u"XyzAbc", key, value);
        for (const auto& [key, value] : c.switches) Store(u"Settings", key, value);
        if (!c.refused.empty()) store.fail_for_key(StoreCall::ReadSetting, c.refused, Error(70));
        Host h;
        clsMurl m(platform_);
        m.IPlugin2_Initialize(h.site());
        m.SetCounters(100, 200, 300);
        h.SetBoxes(BoxStates(kNoBoxes));
        const auto before = store.entries();

        EXPECT_TRUE(h.Login(u"Abc", u"Xyz"));
        EXPECT_EQ(m.EvadeCount(), c.evades);
        EXPECT_EQ(m.ResistCount(), c.resists);
        EXPECT_EQ(m.ZeroCount(), c.zero);
        EXPECT_EQ(h.BoxStates(), BoxStates(c.boxes));
        EXPECT_EQ(LogReports(), c.reports);
        EXPECT_EQ(store.entries(), before) << "loading writes nothing";
    }
}

// The report of a bad value cannot be written: the failure still reaches the host, once, but
// only after every other value has loaded.
TEST_F(CountersSettings, AnUnwritableReportCostsNoOtherValue) {
    Store(u"XyzAbc", u"Evades", u"lots");
    Store(u"XyzAbc", u"Resists", u"13");
    Store(u"XyzAbc", u"Zero", u"4");
    Store(u"Settings", u"Resists", u"maybe");
    Store(u"Settings", u"Bots", u"True");
    plugin->SetCounters(100, 200, 300);
    fakes.files.fail_always(FileCall::Create, Error(429, u"cannot create component"));
    try {
        host.Login(u"Abc", u"Xyz");
        FAIL() << "the failed report write must reach the host";
    } catch (const Error& e) {
        EXPECT_EQ(e.number(), err::kLogOutput);
    }
    EXPECT_EQ(plugin->EvadeCount(), 0);
    EXPECT_EQ(plugin->ResistCount(), 13);
    EXPECT_EQ(plugin->ZeroCount(), 4);
    EXPECT_EQ(host.BoxStates(), BoxStates(kInitialBoxes | Box(u"chkBots")));
    EXPECT_TRUE(LogReports().empty());
}

// murl-doctor judges the stored values with the plug-in's conversions: it must name every value
// that loading reports, and only when loading reports one, and know every key loading reads.
TEST_F(CountersSettings, TheDoctorNamesWhatLoadingReports) {
    for (const auto& c : kLoadCases) {
        SCOPED_TRACE(c.name);
        store.entries().clear();
        ClearLog();
        for (const auto& [key, value] : c.counters) Store(u"XyzAbc", key, value);
        for (const auto& [key, value] : c.switches) Store(u"Settings", key, value);
        std::vector<doctor::StoredValue> stored;
        for (const auto& [address, value] : store.entries()) {
            stored.push_back({std::get<1>(address), std::get<2>(address), value});
        }
        Host h;
        clsMurl m(platform_);
        m.IPlugin2_Initialize(h.site());
        const size_t calls_before = store.call_log().size();
        h.Login(u"Abc", u"Xyz");

        doctor::Report report;
        doctor::ReviewSettings(stored, report);
        std::vector<std::string> named;
        int notes = 0;
        for (const doctor::Row& row : report.rows()) {
            if (row.id != "settings.value") continue;
            if (row.status == doctor::Status::kNote) {
                ++notes;
                continue;
            }
            EXPECT_EQ(row.status, doctor::Status::kProblem);
            for (const std::string& detail : row.details) named.push_back(detail);
        }
        EXPECT_EQ(notes, (m.EvadeCount() < 0) + (m.ResistCount() < 0) + (m.ZeroCount() < 0))
            << "a negative count is a note";
        const std::vector<std::string> reports = LogReports();
        EXPECT_EQ(reports.empty(), named.empty());
        for (const std::string& r : reports) {
            EXPECT_TRUE(std::any_of(
                named.begin(), named.end(),
                [&](const std::string& n) { return n.find("\"" + r + "\"") != std::string::npos; }))
                << "the doctor does not name " << r;
        }
        for (size_t i = calls_before; i < store.call_log().size(); ++i) {
            const auto& call = store.call_log()[i];
            if (call.operation != StoreCall::ReadSetting) continue;
            const bool known =
                call.section == kSwitchSection
                    ? std::any_of(kSwitches.begin(), kSwitches.end(),
                                  [&](const SwitchRow& row) { return row.key == call.key; })
                    : std::find(kCounterKeys.begin(), kCounterKeys.end(), call.key) !=
                          kCounterKeys.end();
            EXPECT_TRUE(known) << "the doctor does not know the key " << ToUtf8(call.key);
        }
    }
}

TEST_F(CountersSettings, LoginPrintsTheBannerAfterFormingTheKeyAndBeforeLoading) {
    host.Fail(Operation::WriteChatText);
    EXPECT_THROW(host.Login(u"Abc", u"Xyz"), Error);
    EXPECT_EQ(plugin->CharacterKey(), u"XyzAbc");
    EXPECT_TRUE(store.call_log().empty()) << "a failed banner skips the load";

    host.faults().Heal();
    host.Fail(Operation::IdentityText1);
    EXPECT_THROW(host.Login(u"Def", u"Uvw"), Error);
    EXPECT_EQ(plugin->CharacterKey(), u"XyzAbc") << "the key is replaced only after both reads";
    EXPECT_TRUE(store.call_log().empty()) << "a failed identity read saves nothing";
}

TEST_F(CountersSettings, SecondLoginSavesThePreviousCharactersCountsFirst) {
    Store(u"SecondOne", u"Evades", u"40");
    host.Login(u"One", u"First");
    host.Chat(u"You evaded it", 21);
    host.Chat(u"You evaded it", 21);
    host.Chat(u"You resist", 7);
    host.Click(u"chkBots", -1);

    host.Login(u"One", u"Second");
    EXPECT_EQ(Setting(u"FirstOne", u"Evades"), "2");
    EXPECT_EQ(Setting(u"FirstOne", u"Resists"), "1");
    EXPECT_EQ(Setting(u"FirstOne", u"Zero"), "0");
    EXPECT_EQ(plugin->CharacterKey(), u"SecondOne");
    EXPECT_EQ(plugin->EvadeCount(), 40);
    EXPECT_EQ(plugin->ResistCount(), 0);
    EXPECT_EQ(host.BoxStates(), BoxStates(kInitialBoxes | Box(u"chkBots")))
        << "switches are shared by every character";
    EXPECT_EQ(host.Printed(), (std::vector<std::string>{kBanner, kBanner}));
}

TEST_F(CountersSettings, SaveReportsTheFailingWriteAndSkipsTheRest) {
    struct Case {
        std::u16string key;
        int line;
        std::vector<std::string> written;
    };
    const Case cases[] = {
        {u"Evades", 20, {}}, {u"Resists", 30, {"Evades"}}, {u"Zero", 40, {"Evades", "Resists"}}};
    for (const auto& c : cases) {
        SCOPED_TRACE(ToUtf8(c.key));
        store.entries().clear();
        store.clear_failures();
        ClearLog();
        store.fail_for_key(StoreCall::SaveSetting, c.key, Error(70));
        host.Hit(u"cmdOut");
        std::vector<std::string> written;
        for (const auto& [address, value] : store.entries())
            written.push_back(ToUtf8(std::get<2>(address)));
        std::sort(written.begin(), written.end());
        EXPECT_EQ(written, c.written);
        EXPECT_EQ(LogReports(),
                  std::vector<std::string>{"Error in SaveVariables: Permission denied. At line " +
                                           std::to_string(c.line)});
    }
}

TEST_F(CountersSettings, ExtremeCountersRoundTripThroughTheStore) {
    constexpr int32_t kMax = std::numeric_limits<int32_t>::max();
    constexpr int32_t kMin = std::numeric_limits<int32_t>::min();
    host.Login(u"A", u"B");
    plugin->SetCounters(kMax, kMin, -5);
    host.Hit(u"cmdOut");
    EXPECT_EQ(Setting(u"BA", u"Evades"), "2147483647");
    EXPECT_EQ(Setting(u"BA", u"Resists"), "-2147483648");
    EXPECT_EQ(Setting(u"BA", u"Zero"), "-5");

    Host next;
    clsMurl again(platform_);
    again.IPlugin2_Initialize(next.site());
    next.Login(u"A", u"B");
    EXPECT_EQ(again.EvadeCount(), kMax);
    EXPECT_EQ(again.ResistCount(), kMin);
    EXPECT_EQ(again.ZeroCount(), -5);
}

TEST_F(CountersSettings, ChangeHandlersStoreTheNewStateAtOnce) {
    struct Case {
        std::u16string box;
        HostBool state;
        std::u16string key;
        std::string text;
    };
    const Case cases[] = {
        {u"chkZero", 0, u"Zero", "False"},       {u"chkZero", -1, u"Zero", "True"},
        {u"chkEvades", 0, u"Evades", "False"},   {u"chkResists", 0, u"Resists", "False"},
        {u"chkExpired", 0, u"Expired", "False"}, {u"chkStatus", -1, u"Status", "True"},
        {u"chkBots", 1, u"Bots", "True"}};
    for (const auto& c : cases) {
        SCOPED_TRACE(ToUtf8(c.box));
        store.entries().clear();
        host.Click(c.box, c.state);
        EXPECT_EQ(store.entries().size(), 1u);
        EXPECT_EQ(Setting(u"Settings", c.key), c.text);
    }
    store.fail_always(StoreCall::SaveSetting, Error(70));
    EXPECT_THROW(host.Click(u"chkBots", 0), Error) << "a change handler has no failure handler";
    EXPECT_TRUE(LogReports().empty());
}

}  // namespace
}  // namespace murl::test
