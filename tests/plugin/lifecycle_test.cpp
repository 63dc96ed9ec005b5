#include <gtest/gtest.h>

#include <algorithm>
#include <initializer_list>
#include <optional>
#include <string>
#include <vector>

#include "plugin/switches.h"
#include "plugin/view_definition.h"
#include "plugin_fixture.h"

namespace murl::test {
namespace {

using Lifecycle = PluginTest;

// Which of the event-bound fields hold an object, in declaration order, as "1"/"0".
std::string Bound(const clsMurl& m) {
    std::string out;
    for (bool f : {bool(m.ACHooks), bool(m.cs), bool(m.MainView)}) out += f ? '1' : '0';
    for (const auto& box : m.chk) out += box ? '1' : '0';
    for (bool f : {bool(m.cmdReset), bool(m.cmdOut)}) out += f ? '1' : '0';
    return out;
}

// The event-bound fields' names in the same order: a check box for each switch.
std::vector<std::u16string_view> FieldNames() {
    std::vector<std::u16string_view> names = {u"ACHooks", u"cs", u"MainView"};
    names.insert(names.end(), kCheckBoxNames.begin(), kCheckBoxNames.end());
    names.insert(names.end(), {u"cmdReset", u"cmdOut"});
    return names;
}

// Every field before `field` bound, none from it on.
std::string BoundBefore(std::u16string_view field) {
    std::string out;
    bool reached = false;
    for (const auto name : FieldNames()) out += (reached = reached || name == field) ? '0' : '1';
    return reached ? out : "no field " + ToUtf8(field);
}

// Every field bound but the ones named.
std::string BoundBut(std::initializer_list<std::u16string_view> unbound) {
    std::string out;
    for (const auto name : FieldNames()) {
        out += std::find(unbound.begin(), unbound.end(), name) == unbound.end() ? '1' : '0';
    }
    return out;
}

// The label of binding `control`.
int LabelOf(std::u16string_view control) {
    if (control == u"cmdReset") return kResetLabel;
    if (control == u"cmdOut") return kOutLabel;
    const auto at = std::find(kCheckBoxNames.begin(), kCheckBoxNames.end(), control);
    return at == kCheckBoxNames.end() ? -1
                                      : BoxLabel(static_cast<size_t>(at - kCheckBoxNames.begin()));
}

// The view definition as the host reads it, a piece a line: the buttons after the box they
// follow, each box drawn as its switch starts. A new box adds its piece here.
constexpr std::u16string_view kExpectedPieces[] = {
    uR"v(<?xml version="1.0"?>)v",
    uR"v(<view icon="0" title="Murl!" width="310" height="270">)v",
    uR"v(<control progid="DecalControls.FixedLayout" clipped="">)v",
    uR"v(<control progid="DecalControls.Checkbox" name="chkEvades" left="10" top="8" width="175" height="24" checked="true" text="Filter 'You evaded' messages" />)v",
    uR"v(<control progid="DecalControls.Checkbox" name="chkZero" left="8" top="32" width="175" height="24" checked="true" text="Filter Zero damage messages" />)v",
    uR"v(<control progid="DecalControls.Checkbox" name="chkResists" left="8" top="56" width="175" height="24" checked="true" text="Filter 'You resist' messages" />)v",
    uR"v(<control progid="DecalControls.Checkbox" name="chkExpired" left="8" top="80" width="175" height="24" checked="true" text="Filter Spell Expiration messages" />)v",
    uR"v(<control progid="DecalControls.Checkbox" name="chkStatus" left="8" top="104" width="232" height="24" text="Filter Status Messages (floating red text)" />)v",
    uR"v(<control progid="DecalControls.PushButton" name="cmdReset" left="16" top="160" width="88" height="24" text="Reset Stats" />)v",
    uR"v(<control progid="DecalControls.PushButton" name="cmdOut" left="168" top="160" width="88" height="24" text="Output Stats" />)v",
    uR"v(<control progid="DecalControls.Checkbox" name="chkBots" left="8" top="128" width="224" height="16" text="Filter Bots (-b- and -t-)" />)v",
    uR"v(</control>)v",
    uR"v(</view>)v",
};

TEST_F(Lifecycle, ViewDefinitionIsItsPiecesJoined) {
    ASSERT_EQ(kViewDefinitionPieces.size(), std::size(kExpectedPieces));
    std::u16string expected;
    for (size_t i = 0; i < kViewDefinitionPieces.size(); ++i) {
        EXPECT_EQ(ToUtf8(kViewDefinitionPieces[i]), ToUtf8(kExpectedPieces[i]));
        expected += kExpectedPieces[i];
    }
    EXPECT_EQ(ToUtf8(plugin->ViewDefinition()), ToUtf8(expected));
    Init();
    EXPECT_EQ(ToUtf8(host.sim().loader().last_definition()), ToUtf8(expected));
}

TEST_F(Lifecycle, ConstructionPointsAnActiveStampedLogBesideTheModule) {
    clsLog& log = plugin->ErrorLog();
    EXPECT_EQ(log.File(), kLogPath);
    EXPECT_EQ(log.Active(), kHostTrue);
    EXPECT_EQ(log.LogDateTime(), kHostTrue);
    EXPECT_EQ(log.LogSeverity(), kHostFalse);
    EXPECT_EQ(log.SeverityLevel(), 0);
    EXPECT_EQ(log.BlankLines(), 0);
}

struct Fault {
    std::optional<Operation> op;  // none: a host that does not fail
    FaultKind kind = FaultKind::Fail;
    std::u16string target;
};

// What initialisation reports: nothing, the fault itself, or the platform's description.
enum class Report { kNone, kFault, kRefused, kNotSet };

struct InitCase {
    const char* name;
    Fault fault;
    Report report;
    int line;           // the label the report names
    std::string bound;  // as Bound gives it
    bool null_site = false;
};

// The one log line a case reports, or none.
std::vector<std::string> Reports(const InitCase& c) {
    std::string cause;
    switch (c.report) {
        case Report::kNone:
            return {};
        case Report::kFault:
            cause = std::string(OperationName(*c.fault.op)) + " failed (simulated fault)";
            break;
        case Report::kRefused:
            cause = "Object doesn't support this property or method";
            break;
        case Report::kNotSet:
            cause = "Object variable or With block variable not set";
            break;
    }
    return {"Error in IPlugin2_Initialize: " + cause + ". At line " + std::to_string(c.line)};
}

using Op = Operation;
using enum Report;
constexpr auto kFail = FaultKind::Fail;
constexpr auto kMissing = FaultKind::Missing;

// Binding `control` fails in `op`: the report names its label, and the fields before it stay bound.
InitCase ControlFails(const char* name, Op op, Report report, std::u16string_view control) {
    return {
        name, {op, kFail, std::u16string(control)}, report, LabelOf(control), BoundBefore(control)};
}

const InitCase kInitCases[] = {
    {"all well", {}, kNone, 0, BoundBut({})},
    {"null site", {}, kNotSet, 30, BoundBefore(u"ACHooks"), true},
    {"view loader fails", {Op::GetViewLoader, kFail, u""}, kFault, 30, BoundBefore(u"ACHooks")},
    {"view loader refuses", {Op::Offer, kFail, u"loader"}, kRefused, 30, BoundBefore(u"ACHooks")},
    {"no view loader", {Op::GetViewLoader, kMissing, u""}, kNotSet, 60, BoundBefore(u"MainView")},
    {"hooks fail", {Op::GetHooks, kFail, u""}, kFault, 40, BoundBefore(u"ACHooks")},
    {"hooks refuse", {Op::Offer, kFail, u"hooks"}, kRefused, 40, BoundBefore(u"ACHooks")},
    {"no hooks", {Op::GetHooks, kMissing, u""}, kNone, 0, BoundBut({u"ACHooks"})},
    {"service fails", {Op::GetServiceObject, kFail, u""}, kFault, 50, BoundBefore(u"cs")},
    {"stats refuse", {Op::Offer, kFail, u"stats"}, kRefused, 50, BoundBefore(u"cs")},
    {"view fails to load", {Op::LoadViewXml, kFail, u""}, kFault, 60, BoundBefore(u"MainView")},
    ControlFails("chkResists lookup fails", Op::FindControl, kFault, u"chkResists"),
    {"chkResists not found",
     {Op::FindControl, kMissing, u"chkResists"},
     kNone,
     0,
     BoundBut({u"chkResists"})},
    ControlFails("chkBots refuses", Op::Offer, kRefused, u"chkBots"),
    ControlFails("cmdReset lookup fails", Op::FindControl, kFault, u"cmdReset"),
    ControlFails("cmdOut refuses", Op::Offer, kRefused, u"cmdOut"),
};

TEST_F(Lifecycle, InitialisationReportsTheFailingLabelAndKeepsEarlierBindings) {
    for (const auto& c : kInitCases) {
        SCOPED_TRACE(c.name);
        Host h;
        if (c.fault.op) h.faults().Set(*c.fault.op, c.fault.kind, c.fault.target);
        ClearLog();
        clsMurl m(platform_);
        m.IPlugin2_Initialize(c.null_site ? nullptr : h.site());
        EXPECT_EQ(Bound(m), c.bound);
        EXPECT_EQ(LogReports(), Reports(c));
    }
}

TEST_F(Lifecycle, ReportsCarryTheLocalDateTime) {
    fakes.clock.Set({2026, 12, 7, 9, 5, 3});
    host.Fail(Operation::LoadViewXml);
    Init();
    EXPECT_EQ(fakes.files.Contents(kLogPath),
              "2026-12-07 09:05:03\tError in IPlugin2_Initialize: LoadViewXml failed (simulated "
              "fault). At line 60\r\n");
}

TEST_F(Lifecycle, SubscriptionsFollowTheFields) {
    EXPECT_FALSE(host.ChatHeard()) << "events before initialisation reach nobody";
    EXPECT_EQ(host.Type(u"/murl help", -1), -1);
    Init();
    EXPECT_TRUE(host.ChatHeard());

    plugin->IPlugin2_Terminate();
    EXPECT_EQ(Bound(*plugin),
              BoundBut({u"ACHooks", u"MainView"}));  // cs and the controls stay until destruction
    EXPECT_EQ(host.Chat(u"You evaded it", 21, -1), -1)
        << "a chat event after termination reaches nobody";
    EXPECT_FALSE(host.ChatHeard());
    // The login and button subscriptions stay; their handlers fail for want of the hooks.
    EXPECT_THROW(host.Login(u"a", u"b"), Error);
    EXPECT_THROW(host.Hit(u"cmdOut"), Error);

    plugin.reset();
    EXPECT_FALSE(host.Login(u"a", u"b"));
    EXPECT_FALSE(host.Click(u"chkBots", -1));
    EXPECT_FALSE(host.Hit(u"cmdOut"));
}

TEST_F(Lifecycle, TerminationReleasesTheSiteGivenToInitialisation) {
    const std::shared_ptr<ISite> site = host.site();
    const long before = site.use_count();
    plugin->IPlugin2_Initialize(site);
    EXPECT_GT(site.use_count(), before) << "the plug-in keeps the site while it runs";
    plugin->IPlugin2_Terminate();
    EXPECT_EQ(site.use_count(), before);
}

TEST_F(Lifecycle, TerminationBeforeInitialisationAndTwiceSavesAndReportsNothingOfItsOwn) {
    plugin->IPlugin2_Terminate();
    Init();
    plugin->IPlugin2_Terminate();
    plugin->IPlugin2_Terminate();
    EXPECT_TRUE(LogReports().empty());
    EXPECT_EQ(Setting(u"", u"Evades"), "0");

    store.fail_always(StoreCall::SaveSetting, Error(70));
    plugin->IPlugin2_Terminate();
    EXPECT_EQ(LogReports(),
              std::vector<std::string>{"Error in SaveVariables: Permission denied. At line 20"});
}

TEST_F(Lifecycle, AFailedReportWriteLeavesTheRoutineAndSilencesTheLog) {
    fakes.files.fail_always(FileCall::Create, Error(429, u"cannot create component"));
    host.Fail(Operation::LoadViewXml);
    try {
        Init();
        FAIL() << "the failed report write must leave IPlugin2_Initialize";
    } catch (const Error& e) {
        EXPECT_EQ(e.number(), err::kLogOutput);
        EXPECT_EQ(e.source(), u"Log::Output");
        EXPECT_EQ(e.description(), u"cannot create component");
    }
    EXPECT_EQ(plugin->ErrorLog().Active(), kHostFalse);
    // Later reports are dropped without a trace.
    HostBool eat = -1;
    EXPECT_NO_THROW(plugin->ACHooks_ChatTextIntercept(u"You evaded", 21, 0, eat));
    EXPECT_EQ(eat, 0);
}

TEST_F(Lifecycle, AFailureDuringConstructionAbandonsTheRestQuietly) {
    fakes.app.fail_always(AppCall::ModuleFolder, Error(5));
    clsMurl m(platform_);  // label 40 fails; the report goes to a log that is not yet active
    EXPECT_EQ(m.ViewDefinition(), u"");
    EXPECT_EQ(m.ErrorLog().Active(), kHostFalse);
    EXPECT_TRUE(LogReports().empty());
}

}  // namespace
}  // namespace murl::test
