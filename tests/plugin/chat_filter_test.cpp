#include <gtest/gtest.h>
#include <sys/mman.h>
#include <unistd.h>

#include <algorithm>
#include <limits>
#include <stdexcept>
#include <utility>

#include "plugin/chat_rules.h"
#include "plugin_fixture.h"
#include "search_paths_check.h"

namespace murl::test {
namespace {

class ChatFilter : public PluginTest {
protected:
    void SetUp() override { Init(); }
    void SetBoxes(std::string_view states,
                  std::source_location where = std::source_location::current()) {
        host.SetBoxes(states, where);
    }
};

constexpr BoxSet kEvades = Box(u"chkEvades"), kZero = Box(u"chkZero"),
                 kResists = Box(u"chkResists"), kExpired = Box(u"chkExpired"),
                 kStatus = Box(u"chkStatus"), kBots = Box(u"chkBots");
constexpr BoxSet kCombat = kEvades | kZero | kResists | kExpired;
const auto B = [](BoxSet on, BoxSet two = 0) { return BoxStates(on, two); };

constexpr int32_t kMax = std::numeric_limits<int32_t>::max();

bool Lists(const SwitchReads& reads, size_t box) {
    const auto end = reads.box.begin() + static_cast<ptrdiff_t>(reads.count);
    return std::find(reads.box.begin(), end, box) != end;
}

struct ChatCase {
    int32_t colour;
    std::u16string_view text;
    std::string boxes;
    HostBool eat;
    int evades, resists, zero;
};

// A line the rules let through, counting nothing.
ChatCase Kept(int32_t colour, std::u16string_view text, std::string boxes) {
    return {colour, text, std::move(boxes), kHostFalse, 0, 0, 0};
}

// A line the rules eat, with the counters it adds to.
ChatCase Eaten(int32_t colour, std::u16string_view text, std::string boxes, int evades = 0,
               int resists = 0, int zero = 0) {
    return {colour, text, std::move(boxes), kHostTrue, evades, resists, zero};
}

const ChatCase kChatCases[] = {
    Eaten(21, u"You evaded the gnawer's attack!", B(kCombat), 1),
    Kept(21, u"You evaded the gnawer's attack!", B(kAllBoxes & ~kEvades)),
    Kept(21, u"You evaded the gnawer's attack!",
         B(kCombat & ~kEvades, kEvades)),  // only exactly -1 is on
    Kept(21, u"You evadedthe gnawer", B(kCombat)),
    Kept(21, u"you evaded the gnawer", B(kCombat)),
    Kept(21, u"You evaded", B(kCombat)),
    Eaten(21, u"You evaded ", B(kCombat), 1),
    Kept(22, u"You evaded the gnawer", B(kAllBoxes)),
    Kept(-21, u"You evaded the gnawer", B(kAllBoxes)),
    Eaten(21, u"The gnawer hits you for 0 points of damage.", B(kCombat), 0, 0, 1),
    Kept(21, u"The gnawer hits you for 0 points of damage.", B(kCombat & ~kZero)),
    Kept(21, u"for 0 points o", B(kCombat)),
    Eaten(21, u"You evaded the blow for 0 points of nothing", B(kCombat), 1, 0, 1),
    Eaten(7, u"You resist the spell Weaken", B(kCombat), 0, 1),
    Eaten(7, u"You resisted", B(kCombat), 0, 1),
    Eaten(7, u"You resist", B(kCombat), 0, 1),
    Kept(7, u"You resis", B(kCombat)),
    Kept(7, u"You resist the spell", B(kCombat & ~kResists)),
    Kept(7, u"The spell: You resist it", B(kCombat)),  // only at the start
    Kept(21, u"You resist the spell", B(kAllBoxes)),
    Eaten(7, u"Your Strength spell has expired.", B(kCombat)),
    Kept(7, u"Your Strength spell has expired", B(kCombat)),
    Kept(7, u"Your Strength spell has expired.", B(kCombat & ~kExpired)),
    Kept(21, u"Your Strength spell has expired.", B(kCombat)),
    Eaten(7, u"You resist it; your spell has expired.", B(kCombat), 0, 1),
    Eaten(5, u"Trader -T- selling armour", B(kCombat | kBots)),
    Kept(5, u"Trader -T- selling armour", B(kCombat)),
    Eaten(0, u"buff-b-ot", B(kBots)),
    Eaten(0, u"--B-", B(kBots)),
    Kept(0, u"-t", B(kBots)),
    Kept(0, u"- t -", B(kBots)),
    Kept(0, u"-x- -\u0163- -\u0154-", B(kBots)),  // letters that are not ASCII t or b
    Eaten(21, u"You evaded the -b- bot", B(kCombat | kBots), 1),
    Kept(7, u"", B(kAllBoxes)),
    // Units that share a byte with '-', '0' or 'x' must not pass for them.
    Kept(0, u"\u4e2dt\u012d \u2d2db\u2d2d -\u2d74-", B(kBots)),
    Kept(21, u"for \u3030 points of, for \u0130 points of", B(kCombat)),
    Kept(7, u"has e\u7878pired. has e\u0178pired.", B(kCombat)),
    Eaten(21, u"hit for 10 points of harm, then for 0 points of harm", B(kCombat), 0, 0, 1),
    Kept(21, u"0 points of", B(kCombat)),
    Kept(7, u"as expired. has expired", B(kCombat)),
    Kept(0, u"a - b -- c --t -b", B(kBots)),
    Eaten(0, u"a - b --t- c", B(kBots)),
    Eaten(kMax, u"You evaded -t-", B(kCombat | kBots)),
};

TEST_F(ChatFilter, RulesDecideVerdictAndCounters) {
    for (const auto& c : kChatCases) {
        SCOPED_TRACE(testing::Message()
                     << "colour " << c.colour << " \"" << ToUtf8(c.text) << "\" boxes " << c.boxes);
        plugin->SetCounters(0, 0, 0);
        SetBoxes(c.boxes);
        for (HostBool incoming : {HostBool(0), HostBool(-1)}) {
            plugin->SetCounters(0, 0, 0);
            EXPECT_EQ(host.Chat(c.text, c.colour, incoming), c.eat)
                << "eat flag arriving " << incoming;
            EXPECT_EQ(plugin->EvadeCount(), c.evades);
            EXPECT_EQ(plugin->ResistCount(), c.resists);
            EXPECT_EQ(plugin->ZeroCount(), c.zero);
        }
    }
    EXPECT_TRUE(LogReports().empty());
}

// Each rule has a case of its own in kChatCases: a line it eats that is kept once its box is
// turned off, so a rule added without its cases, or one whose text test never matches, fails.
TEST_F(ChatFilter, EveryRuleEatsALineOfTheCasesThatItsBoxAloneDecides) {
    for (const ChatRule& rule : kChatRules) {
        bool decided = false;
        for (const auto& c : kChatCases) {
            if (c.eat != kHostTrue || !RunsFor(rule, c.colour) || c.boxes[rule.box] != '1') {
                continue;
            }
            std::string off = c.boxes;
            off[rule.box] = '0';
            SetBoxes(off);
            plugin->SetCounters(0, 0, 0);
            decided = decided || host.Chat(c.text, c.colour) == kHostFalse;
        }
        EXPECT_TRUE(decided) << "no case of kChatCases is eaten by the rule reading "
                             << ToUtf8(kSwitches[rule.box].control) << " alone";
    }
}

TEST_F(ChatFilter, FindsMarksAnywhereInLongLinesFullOfNearMisses) {
    const std::u16string_view pattern = u"for 1 points -x- has e0pired-";
    auto filler = [&](size_t n) {
        std::u16string text;
        while (text.size() < n) text += pattern;
        return text.substr(0, n);
    };
    struct Mark {
        int32_t colour;
        std::u16string_view text;
        std::string boxes;
        int zero;
    };
    const Mark marks[] = {{21, u"for 0 points of", B(kZero), 1},
                          {7, u"has expired.", B(kExpired), 0},
                          {3, u"-T-", B(kBots), 0}};
    for (const auto& m : marks) {
        SetBoxes(m.boxes);
        for (size_t before : {0, 1, 7, 31, 33, 1000, 4095}) {
            for (size_t after : {0, 1, 17, 2000}) {
                SCOPED_TRACE(testing::Message()
                             << ToUtf8(m.text) << " after " << before << " before " << after);
                plugin->SetCounters(0, 0, 0);
                const std::u16string text = filler(before) + std::u16string(m.text) + filler(after);
                EXPECT_EQ(host.Chat(text, m.colour), -1);
                EXPECT_EQ(plugin->ZeroCount(), m.zero);
                EXPECT_EQ(host.Chat(filler(before + after + m.text.size()), m.colour), 0);
            }
        }
    }
}

TEST_F(ChatFilter, ReadsExactlyTheSwitchesTheRulesListForEveryColourAndBox) {
    // A switch that cannot be read reports the line: that shows which switches a line reads.
    // ChatSwitchReads, which the benchmarks' contract floors read, must list the same, for every
    // colour the rules name, the ones beside them and every box.
    int32_t lowest = std::numeric_limits<int32_t>::max(), highest = 0;
    for (const ChatRule& rule : kChatRules) {
        if (rule.any_colour) continue;
        lowest = std::min(lowest, rule.colour);
        highest = std::max(highest, rule.colour);
    }
    SetBoxes(B(kNoBoxes));
    for (int32_t colour = lowest - 1; colour <= highest + 1; ++colour) {
        const SwitchReads listed = ChatSwitchReads(colour);
        for (size_t box = 0; box < kSwitches.size(); ++box) {
            SCOPED_TRACE(testing::Message()
                         << "colour " << colour << " " << ToUtf8(kSwitches[box].control));
            ClearLog();
            host.faults().Heal();
            host.Fail(Operation::GetChecked, std::u16string(kSwitches[box].control));
            host.Chat(u"nothing to see", colour);
            EXPECT_EQ(LogReports().size(), Lists(listed, box) ? 1u : 0u);
        }
    }
}

TEST_F(ChatFilter, CounterOverflowIsReportedAndAbandonsTheLine) {
    SetBoxes(B(kCombat | kBots));
    host.Fail(Operation::GetChecked, u"chkBots");  // would report a second time if the bot rule ran
    plugin->SetCounters(kMax, 0, 0);
    EXPECT_EQ(host.Chat(u"You evaded the -b- bot", 21, -1), 0);
    EXPECT_EQ(plugin->EvadeCount(), kMax);

    host.faults().Heal();
    // An evade that fires before the zero-damage counter overflows keeps its verdict.
    plugin->SetCounters(5, 0, kMax);
    EXPECT_EQ(host.Chat(u"You evaded it for 0 points of harm", 21), -1);
    EXPECT_EQ(plugin->EvadeCount(), 6);
    EXPECT_EQ(plugin->ZeroCount(), kMax);

    plugin->SetCounters(0, kMax, 0);
    EXPECT_EQ(host.Chat(u"You resist", 7), 0);
    EXPECT_EQ(plugin->ResistCount(), kMax);

    const std::string report = "Error in ACHooks_ChatTextIntercept: Overflow. At line 0";
    EXPECT_EQ(LogReports(), (std::vector<std::string>{report, report, report}));
}

TEST_F(ChatFilter, UnboundCheckBoxesReportOnEveryLine) {
    Host h;
    h.Fail(Operation::LoadViewXml);
    clsMurl m(platform_);
    m.IPlugin2_Initialize(h.site());
    ClearLog();
    for (int32_t colour : {21, 7, 0}) EXPECT_EQ(h.Chat(u"You evaded -b-", colour, -1), 0);
    const std::string report =
        "Error in ACHooks_ChatTextIntercept: Object variable or With block variable not set. At "
        "line 0";
    EXPECT_EQ(LogReports(), (std::vector<std::string>{report, report, report}));
}

TEST_F(ChatFilter, HostFailureReadingASwitchIsReported) {
    host.Fail(Operation::GetChecked, u"chkZero");
    EXPECT_EQ(host.Chat(u"You evaded it -t-", 21), -1);
    EXPECT_EQ(plugin->EvadeCount(), 1);
    EXPECT_EQ(
        LogReports(),
        std::vector<std::string>{
            "Error in ACHooks_ChatTextIntercept: GetChecked failed (simulated fault). At line 0"});
}

TEST_F(ChatFilter, StatusTextIsEatenOnlyWhenItsSwitchIsOnAndNeverUneaten) {
    struct Case {
        char box;
        HostBool incoming, eat;
    };
    const Case cases[] = {{'1', 0, -1}, {'1', -1, -1}, {'0', 0, 0}, {'0', -1, -1}, {'2', 0, 0}};
    for (const auto& c : cases) {
        SCOPED_TRACE(testing::Message() << "box " << c.box << " incoming " << c.incoming);
        std::string boxes = B(kCombat);
        boxes[SwitchIndex(u"chkStatus")] = c.box;
        SetBoxes(boxes);
        EXPECT_EQ(host.Status(u"You feel dizzy", c.incoming), c.eat);
    }
}

TEST_F(ChatFilter, StatusFilterFailureGoesBackToTheHost) {
    host.Fail(Operation::GetChecked, u"chkStatus");
    EXPECT_THROW(host.Status(u"x"), Error);
    EXPECT_TRUE(LogReports().empty());
}

// Two pages, the second unreadable: a text placed against it ends where reading must stop.
class GuardedPage {
public:
    GuardedPage()
        : size_(static_cast<size_t>(sysconf(_SC_PAGESIZE))),
          pages_(static_cast<char*>(mmap(nullptr, 2 * size_, PROT_READ | PROT_WRITE,
                                         MAP_PRIVATE | MAP_ANONYMOUS, -1, 0))) {
        if (pages_ == MAP_FAILED || mprotect(pages_ + size_, size_, PROT_NONE) != 0) {
            throw std::runtime_error("cannot make a guarded page");
        }
    }
    ~GuardedPage() { munmap(pages_, 2 * size_); }
    GuardedPage(const GuardedPage&) = delete;
    GuardedPage& operator=(const GuardedPage&) = delete;

    std::u16string_view Place(std::u16string_view text) {
        char16_t* const at = reinterpret_cast<char16_t*>(pages_ + size_) - text.size();
        std::copy(text.begin(), text.end(), at);
        return {at, text.size()};
    }

private:
    size_t size_;
    char* pages_;
};

// The line search's every path this processor can take (the packed AVX-512BW and AVX2 blocks,
// SSE2) finds what the plain loop finds, with pairs across every block boundary, and reads
// nothing past a text's end. A path this processor lacks is reported skipped, untested.
class LineSearch : public testing::TestWithParam<utf16::SearchPath> {};

TEST_P(LineSearch, EveryPathFindsWhatThePlainLoopFinds) {
    const utf16::SearchPath path = GetParam();
    if (path > utf16::BestSearchPath()) {
        GTEST_SKIP() << "this processor has no " << utf16::SearchPathName(path)
                     << ": that path was not tested";
    }
    GuardedPage page;
    size_t failures = 0;
    search_check::CompareAroundBoundaries(
        path,
        [&](const std::string& message) {
            if (++failures <= 5) ADD_FAILURE() << message;
        },
        [&](std::u16string_view text) { return page.Place(text); });
    EXPECT_EQ(failures, 0u);

    // Forced, the path is the one named as taken for every pair of the filter: the benchmarks
    // that force paths report it.
    ASSERT_TRUE(utf16::ForceSearchPath(path));
    for (const auto& pairs : search_check::kFilterPairs) {
        EXPECT_STREQ(utf16::SearchPathName(utf16::PathTaken(pairs[0], pairs[1])),
                     utf16::SearchPathName(path));
    }
    utf16::ForceSearchPath(utf16::BestSearchPath());
}

INSTANTIATE_TEST_SUITE_P(Paths, LineSearch,
                         testing::ValuesIn(std::begin(utf16::kSearchPaths) + 1,
                                           std::end(utf16::kSearchPaths)),
                         [](const testing::TestParamInfo<utf16::SearchPath>& info) {
                             std::string name = utf16::SearchPathName(info.param);
                             std::erase(name, '-');
                             return name;
                         });

// The search takes the widest path that the processor reports, from the start, for each of the
// filter's pairs.
TEST(LineSearchPath, IsTheWidestThatTheProcessorReports) {
    const utf16::SearchPath reported = search_check::ReportedPath();
    EXPECT_STREQ(utf16::SearchPathName(utf16::BestSearchPath()), utf16::SearchPathName(reported));
    EXPECT_STREQ(utf16::SearchPathName(utf16::ActiveSearchPath()), utf16::SearchPathName(reported));
    for (const auto& pairs : search_check::kFilterPairs) {
        SCOPED_TRACE(search_check::Describe(pairs[0]) + " " + search_check::Describe(pairs[1]));
        EXPECT_STREQ(utf16::SearchPathName(utf16::PathTaken(pairs[0], pairs[1])),
                     utf16::SearchPathName(reported));
    }
    RecordProperty("widest_path", utf16::SearchPathName(reported));
}

// MURL_SEARCH_PATH, read at load, narrows the path by its name; it never widens it, and a name
// that is no path's leaves the widest.
TEST(LineSearchPath, IsNarrowedByItsNameAndNeverWidened) {
    using utf16::SearchPath;
    struct Case {
        SearchPath best;
        const char* name;
        SearchPath expected;
    };
    const Case cases[] = {
        {SearchPath::kAvx512bw, "AVX2", SearchPath::kAvx2},
        {SearchPath::kAvx512bw, "SSE2", SearchPath::kSse2},
        {SearchPath::kAvx2, "plain", SearchPath::kPlain},
        {SearchPath::kAvx512bw, "AVX-512BW", SearchPath::kAvx512bw},
        {SearchPath::kSse2, "AVX2", SearchPath::kSse2},
        {SearchPath::kAvx2, "avx2", SearchPath::kAvx2},
        {SearchPath::kAvx512bw, "", SearchPath::kAvx512bw},
        {SearchPath::kAvx512bw, nullptr, SearchPath::kAvx512bw},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(std::string(utf16::SearchPathName(c.best)) + " narrowed to " +
                     (c.name ? c.name : "(unset)"));
        EXPECT_STREQ(utf16::SearchPathName(utf16::detail::Narrowed(c.best, c.name)),
                     utf16::SearchPathName(c.expected));
    }
}

}  // namespace
}  // namespace murl::test

namespace murl::utf16 {
// A path by its name in the names of the tests.
inline void PrintTo(SearchPath path, std::ostream* out) {
    *out << SearchPathName(path);
}
}  // namespace murl::utf16
