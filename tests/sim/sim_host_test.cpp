#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <memory>
#include <span>
#include <string>
#include <utility>
#include <variant>
#include <vector>

#include "host/error.h"
#include "sim/faults.h"
#include "sim/sim_host.h"
#include "sim/xml_parser.h"
#include "text/text.h"

namespace murl::sim {
namespace {

constexpr std::u16string_view kDefinition =
    u"<?xml version=\"1.0\"?><view icon=\"0\" title=\"T\" width=\"100\" height=\"50\">"
    u"<control progid=\"DecalControls.FixedLayout\" clipped=\"\">"
    u"<control progid=\"DecalControls.Checkbox\" name=\"chkA\" left=\"1\" top=\"2\" width=\"3\" "
    u"height=\"4\" checked=\"true\" text=\"A\" />"
    u"<control progid=\"DecalControls.Checkbox\" name=\"chkB\" checked=\"True\" />"
    u"<control progid=\"DecalControls.PushButton\" name=\"cmdC\" text=\"C\" />"
    u"<control progid=\"DecalControls.Edit\" name=\"edtD\" />"
    u"</control></view>";

class SimHostTest : public testing::Test {
protected:
    std::unique_ptr<XmlParser> parser_ = MakeXmlParser();
    SimHost host_{*parser_};

    std::shared_ptr<IView> Load() {
        auto loader = TakeAs<IViewLoader>(host_.site()->GetViewLoader());
        return loader->LoadViewXml(kDefinition);
    }
};

TEST_F(SimHostTest, ViewLoaderBuildsEachNamedControlWithItsInitialState) {
    auto view = Load();
    ASSERT_NE(view, nullptr);
    auto a = TakeAs<ICheckBox>(view->FindControl(u"chkA"));
    auto b = TakeAs<ICheckBox>(view->FindControl(u"chkB"));
    ASSERT_NE(a, nullptr);
    ASSERT_NE(b, nullptr);
    EXPECT_EQ(a->GetChecked(), kHostTrue);
    EXPECT_EQ(b->GetChecked(), kHostFalse);  // only "true" starts checked
    EXPECT_NE(TakeAs<IPushButton>(view->FindControl(u"cmdC")), nullptr);
    EXPECT_EQ(view->FindControl(u"chkZ"), nullptr);
    EXPECT_THROW(TakeAs<ICheckBox>(view->FindControl(u"cmdC")), Error);
    EXPECT_THROW(TakeAs<ICheckBox>(view->FindControl(u"edtD")), Error);
    EXPECT_NE(host_.CheckBox(u"chkA")->id(), host_.CheckBox(u"chkB")->id());
}

TEST_F(SimHostTest, MalformedDefinitionFailsLoadViewXmlWithItsReason) {
    auto loader = TakeAs<IViewLoader>(host_.site()->GetViewLoader());
    for (const std::u16string_view text :
         {u"<view><control></view>", u"", u"<view title=\"x></view>", u"<panel/>"}) {
        SCOPED_TRACE(ToUtf8(text));
        try {
            loader->LoadViewXml(text);
            ADD_FAILURE() << "no failure";
        } catch (const Error& e) {
            EXPECT_THAT(ToUtf8(e.description()), testing::HasSubstr("view definition"));
        }
    }
    EXPECT_EQ(host_.loader().latest_view(), nullptr);
}

// An operation of the host, called the way the plug-in calls it; returns whether it produced
// an object (or for calls without one, whether it returned).
struct FaultCase {
    const char* scenario;
    Operation op;
    FaultKind kind;
    std::u16string_view target;
    bool (*call)(SimHost&, const std::shared_ptr<IView>&);
    bool fails;
    bool empty;
};

bool CallGetHooks(SimHost& h, const std::shared_ptr<IView>&) {
    return h.site()->GetHooks() != nullptr;
}
bool TakeHooks(SimHost& h, const std::shared_ptr<IView>&) {
    return TakeAs<IHooks>(h.site()->GetHooks()) != nullptr;
}
bool TakeLoader(SimHost& h, const std::shared_ptr<IView>&) {
    return TakeAs<IViewLoader>(h.site()->GetViewLoader()) != nullptr;
}
bool TakeStats(SimHost& h, const std::shared_ptr<IView>&) {
    return TakeAs<ICharacterStats>(h.site()->GetServiceObject(kCharacterStatsPath)) != nullptr;
}
bool FindA(SimHost&, const std::shared_ptr<IView>& v) {
    return v->FindControl(u"chkA") != nullptr;
}
bool FindB(SimHost&, const std::shared_ptr<IView>& v) {
    return v->FindControl(u"chkB") != nullptr;
}
bool TakeA(SimHost&, const std::shared_ptr<IView>& v) {
    return TakeAs<ICheckBox>(v->FindControl(u"chkA")) != nullptr;
}
bool ReadA(SimHost& h, const std::shared_ptr<IView>&) {
    h.CheckBox(u"chkA")->GetChecked();
    return true;
}
bool ReadB(SimHost& h, const std::shared_ptr<IView>&) {
    h.CheckBox(u"chkB")->GetChecked();
    return true;
}
bool Write(SimHost& h, const std::shared_ptr<IView>&) {
    h.hooks().WriteChatText(u"x", 5, 1);
    return true;
}
bool Identity2(SimHost& h, const std::shared_ptr<IView>&) {
    h.stats().IdentityText2();
    return true;
}

const FaultCase kFaultCases[] = {
    {"fault GetHooks", Operation::GetHooks, FaultKind::Fail, u"", CallGetHooks, true, false},
    {"missing GetHooks", Operation::GetHooks, FaultKind::Missing, u"", CallGetHooks, false, true},
    {"fault Offer hooks", Operation::Offer, FaultKind::Fail, u"hooks", TakeHooks, true, false},
    {"fault Offer loader", Operation::Offer, FaultKind::Fail, u"loader", TakeLoader, true, false},
    {"fault Offer stats", Operation::Offer, FaultKind::Fail, u"stats", TakeStats, true, false},
    {"fault Offer stats, hooks", Operation::Offer, FaultKind::Fail, u"stats", TakeHooks, false,
     false},
    {"missing GetServiceObject", Operation::GetServiceObject, FaultKind::Missing, u"", TakeStats,
     false, true},
    {"fault FindControl", Operation::FindControl, FaultKind::Fail, u"", FindB, true, false},
    {"fault FindControl chkA, chkA", Operation::FindControl, FaultKind::Fail, u"chkA", FindA, true,
     false},
    {"fault FindControl chkA, chkB", Operation::FindControl, FaultKind::Fail, u"chkA", FindB, false,
     false},
    {"missing FindControl chkA", Operation::FindControl, FaultKind::Missing, u"chkA", FindA, false,
     true},
    {"fault Offer chkA", Operation::Offer, FaultKind::Fail, u"chkA", TakeA, true, false},
    {"fault GetChecked chkA, chkA", Operation::GetChecked, FaultKind::Fail, u"chkA", ReadA, true,
     false},
    {"fault GetChecked chkA, chkB", Operation::GetChecked, FaultKind::Fail, u"chkA", ReadB, false,
     false},
    {"fault WriteChatText", Operation::WriteChatText, FaultKind::Fail, u"", Write, true, false},
    {"fault IdentityText2", Operation::IdentityText2, FaultKind::Fail, u"", Identity2, true, false},
    {"fault IdentityText1, IdentityText2", Operation::IdentityText1, FaultKind::Fail, u"",
     Identity2, false, false},
};

TEST_F(SimHostTest, FaultsHitTheirOperationAndTargetUntilHealed) {
    auto view = Load();
    for (const auto& c : kFaultCases) {
        SCOPED_TRACE(c.scenario);
        host_.faults().Set(c.op, c.kind, std::u16string(c.target));
        if (c.fails) {
            EXPECT_THROW(c.call(host_, view), Error);
        } else {
            bool produced = false;
            EXPECT_NO_THROW(produced = c.call(host_, view));
            EXPECT_EQ(produced, !c.empty);
        }
        host_.faults().Heal();
        EXPECT_TRUE(c.call(host_, view));
    }
}

TEST(Faults, TheLatestSettingWins) {
    Faults faults;
    faults.Set(Operation::FindControl, FaultKind::Fail);
    faults.Set(Operation::FindControl, FaultKind::Missing, u"chkA");
    EXPECT_EQ(faults.Find(Operation::FindControl, u"chkA"), FaultKind::Missing);
    EXPECT_EQ(faults.Find(Operation::FindControl, u"chkB"), FaultKind::Fail);
    EXPECT_EQ(faults.Find(Operation::GetHooks), std::nullopt);
    try {
        faults.Apply(Operation::FindControl, u"chkB");
        ADD_FAILURE() << "no failure";
    } catch (const Error& e) {
        EXPECT_EQ(e.number(), kSimulatedFault);
        EXPECT_EQ(e.description(), u"FindControl failed (simulated fault)");
    }
}

class CountingHooks final : public HooksEvents {
public:
    void ChatTextIntercept(std::u16string_view, int32_t, int32_t, HostBool& bEat) override {
        ++calls;
        bEat = kHostTrue;
    }
    void ChatParserIntercept(std::u16string_view, HostBool&) override {}
    void StatusTextIntercept(std::u16string_view, HostBool&) override {
        throw Error(err::kObjectNotSet);
    }
    int calls = 0;
};

TEST_F(SimHostTest, EventsReachSubscribersOnlyWhileSubscribed) {
    CountingHooks first, second;
    HostBool eat = kHostFalse;
    EXPECT_FALSE(
        host_.hooks().subscribers().RaiseEvent(&HooksEvents::ChatTextIntercept, u"x", 5, 0, eat));
    EXPECT_EQ(eat, kHostFalse);

    auto one = host_.hooks().Advise(first);
    auto two = host_.hooks().Advise(second);
    EXPECT_TRUE(
        host_.hooks().subscribers().RaiseEvent(&HooksEvents::ChatTextIntercept, u"x", 5, 0, eat));
    EXPECT_EQ(first.calls, 1);
    EXPECT_EQ(second.calls, 1);
    EXPECT_EQ(eat, kHostTrue);

    one.reset();
    host_.hooks().subscribers().RaiseEvent(&HooksEvents::ChatTextIntercept, u"x", 5, 0, eat);
    EXPECT_EQ(first.calls, 1);
    EXPECT_EQ(second.calls, 2);

    EXPECT_THROW(
        host_.hooks().subscribers().RaiseEvent(&HooksEvents::StatusTextIntercept, u"x", eat),
        Error);  // a failure reaches the host
    // Any event of the interface is raised the same way through the source's subscribers.
    eat = kHostFalse;
    EXPECT_TRUE(
        host_.hooks().subscribers().RaiseEvent(&HooksEvents::ChatTextIntercept, u"y", 7, 0, eat));
    EXPECT_EQ(second.calls, 3);
    EXPECT_EQ(eat, kHostTrue);
    two.reset();
    EXPECT_FALSE(
        host_.hooks().subscribers().RaiseEvent(&HooksEvents::ChatTextIntercept, u"x", 5, 0, eat));
}

// What the simulator's COM forwarder hears: each event by its row's DISPID, the arguments in
// order, the eat flag as the host's own flag.
class RecordingRelay final : public EventRelay {
public:
    void Relay(int32_t dispid, std::span<const EventArgument> arguments) override {
        heard.emplace_back(dispid, std::vector<EventArgument>(arguments.begin(), arguments.end()));
        for (const EventArgument& argument : arguments) {
            if (auto* const* eat = std::get_if<HostBool*>(&argument)) **eat = kHostTrue;
        }
    }
    std::vector<std::pair<int32_t, std::vector<EventArgument>>> heard;
};

TEST_F(SimHostTest, RelaysHearEachEventByItsRowWithItsArguments) {
    RecordingRelay hooks, stats;
    CountingHooks sink;
    auto relayed = host_.hooks().subscribers().AdviseRelay(hooks);
    auto advised = host_.hooks().Advise(sink);
    auto login = host_.stats().subscribers().AdviseRelay(stats);

    HostBool chat_eat = kHostFalse, typed_eat = kHostFalse;
    host_.hooks().subscribers().RaiseEvent(&HooksEvents::ChatTextIntercept, u"x", 21, 3, chat_eat);
    host_.hooks().subscribers().RaiseEvent(&HooksEvents::ChatParserIntercept, u"/y", typed_eat);
    host_.stats().subscribers().RaiseEvent(&CharacterStatsEvents::LoginComplete);

    ASSERT_EQ(hooks.heard.size(), 2u);
    EXPECT_EQ(EventName<HooksEvents>(hooks.heard[0].first), "ChatTextIntercept");
    EXPECT_EQ(hooks.heard[0].second,
              (std::vector<EventArgument>{std::u16string_view(u"x"), 21, 3, &chat_eat}));
    EXPECT_EQ(EventName<HooksEvents>(hooks.heard[1].first), "ChatParserIntercept");
    EXPECT_EQ(hooks.heard[1].second,
              (std::vector<EventArgument>{std::u16string_view(u"/y"), &typed_eat}));
    EXPECT_EQ(typed_eat, kHostTrue) << "the relay set the host's own flag";
    EXPECT_EQ(sink.calls, 1) << "the sink beside the relay hears the event too";
    ASSERT_EQ(stats.heard.size(), 1u);
    EXPECT_EQ(EventName<CharacterStatsEvents>(stats.heard[0].first), "LoginComplete");
    EXPECT_TRUE(stats.heard[0].second.empty());
}

TEST_F(SimHostTest, PlayerClickRaisesChangeButSetCheckedDoesNot) {
    struct Sink final : CheckBoxEvents {
        void Change(int32_t nID, HostBool bChecked) override {
            id = nID;
            state = bChecked;
            ++calls;
        }
        int32_t id = 0;
        HostBool state = 0;
        int calls = 0;
    } sink;
    auto view = Load();
    auto box = TakeAs<ICheckBox>(view->FindControl(u"chkA"));
    auto subscription = box->Advise(sink);
    box->SetChecked(kHostFalse);
    EXPECT_EQ(sink.calls, 0);
    EXPECT_TRUE(host_.CheckBox(u"chkA")->Click(kHostTrue));
    EXPECT_EQ(sink.calls, 1);
    EXPECT_EQ(sink.id, host_.CheckBox(u"chkA")->id());
    EXPECT_EQ(sink.state, kHostTrue);
    EXPECT_EQ(box->GetChecked(), kHostTrue);
}

TEST_F(SimHostTest, PrintedLinesAreTakenOnce) {
    host_.hooks().WriteChatText(u"a", 5, 1);
    host_.hooks().WriteChatText(u"b", 6, 2);
    const std::vector<PrintedLine> expected = {{u"a", 5, 1}, {u"b", 6, 2}};
    EXPECT_EQ(host_.TakePrinted(), expected);
    EXPECT_TRUE(host_.TakePrinted().empty());
}

}  // namespace
}  // namespace murl::sim
