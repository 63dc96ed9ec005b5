#include <gtest/gtest.h>

#include "murl_version.h"
#include "plugin_fixture.h"

namespace murl::test {
namespace {

class ChatCommand : public PluginTest {
protected:
    void SetUp() override { Init(); }
};

TEST_F(ChatCommand, HelpIsTheFirstTenCharactersInAnyCase) {
    const std::string home = "See " + ToUtf8(MURL_HOME_PAGE) + " for the latest version";
    struct Case {
        std::u16string_view typed;
        bool help;
    };
    const Case cases[] = {
        {u"/murl help", true},       {u"@murl help", true},
        {u"/MURL HELP", true},       {u"@Murl Helpful", true},
        {u"/murl help me", true},    {u"/murl hel", false},
        {u" /murl help", false},     {u"/murl  help", false},
        {u"murl help", false},       {u"", false},
        {u"/murl\u00A0help", false}, {u"hello there", false},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(ToUtf8(c.typed));
        for (HostBool incoming : {HostBool(0), HostBool(-1)}) {
            EXPECT_EQ(host.Type(c.typed, incoming), c.help ? -1 : 0);
            const std::vector<std::string> answer = {kBanner, home};
            EXPECT_EQ(host.Printed(), c.help ? answer : std::vector<std::string>{});
        }
    }
}

TEST_F(ChatCommand, AFailedAnswerLeavesTheEatFlagAsItCame) {
    host.Fail(Operation::WriteChatText);
    HostBool eat = 5;
    EXPECT_THROW(plugin->ACHooks_ChatParserIntercept(u"/murl help", eat), Error);
    EXPECT_EQ(eat, 5);
}

TEST_F(ChatCommand, OutputStatsPrintsTheCountersThenSavesThem) {
    host.Login(u"Abc", u"Xyz");
    host.Printed();
    plugin->SetCounters(3, 0, 12);
    host.Hit(u"cmdOut");
    EXPECT_EQ(host.Printed(), (std::vector<std::string>{"Melee evades = 3", "Resists = 0",
                                                        "Zero damage hits = 12"}));
    EXPECT_EQ(Setting(u"XyzAbc", u"Evades"), "3");
    EXPECT_EQ(Setting(u"XyzAbc", u"Resists"), "0");
    EXPECT_EQ(Setting(u"XyzAbc", u"Zero"), "12");

    host.Accept(u"cmdOut");  // buttons answer only their own event
    host.Hit(u"cmdReset");
    EXPECT_TRUE(host.Printed().empty());
    EXPECT_EQ(plugin->EvadeCount(), 3);
}

TEST_F(ChatCommand, ResetZeroesAndSavesEvenBeforeAnyLogin) {
    plugin->SetCounters(-4, 8, 15);
    host.Accept(u"cmdReset");
    EXPECT_TRUE(host.Printed().empty());
    for (auto key : {u"Evades", u"Resists", u"Zero"}) EXPECT_EQ(Setting(u"", key), "0");
    host.Hit(u"cmdOut");
    EXPECT_EQ(host.Printed(), (std::vector<std::string>{"Melee evades = 0", "Resists = 0",
                                                        "Zero damage hits = 0"}));
}

TEST_F(ChatCommand, OutputStatsStopsAtAFailedLineWithoutSaving) {
    host.Fail(Operation::WriteChatText);
    EXPECT_THROW(host.Hit(u"cmdOut"), Error);
    EXPECT_TRUE(store.entries().empty());

    host.faults().Heal();
    store.fail_always(StoreCall::SaveSetting, Error(70));
    EXPECT_NO_THROW(host.Accept(u"cmdReset")) << "store failures are reported, not raised";
    EXPECT_EQ(LogReports(),
              std::vector<std::string>{"Error in SaveVariables: Permission denied. At line 20"});
}

}  // namespace
}  // namespace murl::test
