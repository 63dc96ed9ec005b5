// The plug-in's three text handlers on arbitrary UTF-16 (lone surrogates, NULs, very long
// lines) with any colour, any switch states, counters at their limit and failing switch reads,
// each compared with a plain model of the rules. The header bytes choose the states:
//   colour choice, raw colour (4), switch states (2 bits a switch, 2 bytes for up to eight),
//   flags, failing switch, length; the rest is the text.
// The text search under the rules is compared with its plain loop by utf16_search_fuzz.cpp.

#include <algorithm>
#include <array>
#include <limits>
#include <string>
#include <string_view>

#include "filter_rig.h"
#include "fuzz_support.h"
#include "host/error.h"
#include "plugin/chat_rules.h"
#include "plugin/switches.h"

namespace murl::fuzz {
namespace {

constexpr int32_t kMax = std::numeric_limits<int32_t>::max();
constexpr size_t kEvades = SwitchIndex(u"chkEvades"), kZero = SwitchIndex(u"chkZero"),
                 kResists = SwitchIndex(u"chkResists"), kExpired = SwitchIndex(u"chkExpired"),
                 kStatus = SwitchIndex(u"chkStatus"), kBots = SwitchIndex(u"chkBots");
// The switches whose rules ChatModel writes out; a rule added to the filter goes there too.
constexpr size_t kModelled[] = {kEvades, kZero, kResists, kExpired, kBots};
static_assert(std::ranges::all_of(kChatRules,
                                  [](const ChatRule& rule) {
                                      return std::ranges::find(kModelled, rule.box) !=
                                             std::end(kModelled);
                                  }),
              "a rule of kChatRules is missing from ChatModel");
constexpr size_t kNoFailure = kSwitches.size();
// The header's layout is fixed, so that a switch added to the table keeps the meaning of every
// seed: two bytes give the states of the first eight boxes, two bits each (bits no box used
// before stay unused), and the failing box is one of the six boxes the seeds were made with.
constexpr size_t kStateBytes = 2;
constexpr size_t kSeededBoxes = 6;
static_assert(kSwitches.size() >= kSeededBoxes && kSwitches.size() <= 4 * kStateBytes,
              "a ninth box needs header bytes of its own, after the ones the seeds use");

struct State {
    int32_t colour;
    std::array<HostBool, kSwitches.size()> boxes;
    size_t failing_box;  // whose GetChecked fails; kNoFailure for none
    HostBool incoming;
    int32_t evades, resists, zero;
    bool lengthen;
};

struct Verdict {
    HostBool eat = kHostFalse;
    int32_t evades, resists, zero;
    bool reported = false;
};

constexpr std::u16string_view kEvaded = u"You evaded ", kZeroDamage = u"for 0 points of",
                              kResist = u"You resist", kExpiry = u"has expired.";
constexpr size_t kBotMarkLength = 3;  // "-t-", "-b-"
constexpr size_t kLongestLiteral =
    std::max({kEvaded.size(), kZeroDamage.size(), kResist.size(), kExpiry.size(), kBotMarkLength});

// The model's scans of the text take no part in the coverage that steers the fuzzer: they tell
// nothing about the plug-in, and on long lines their traced comparisons took most of the time.
#if defined(__clang__)
#define MURL_UNTRACED __attribute__((no_sanitize("coverage")))
#else
#define MURL_UNTRACED
#endif

MURL_UNTRACED bool Contains(std::u16string_view text, std::u16string_view literal) {
    const char16_t* const units = text.data();
    const char16_t* const wanted = literal.data();
    for (size_t at = 0; at + literal.size() <= text.size(); ++at) {
        size_t same = 0;
        while (same < literal.size() && units[at + same] == wanted[same]) ++same;
        if (same == literal.size()) return true;
    }
    return false;
}

// "-t-" or "-b-" in the text lower-cased.
MURL_UNTRACED bool HasBotMark(std::u16string_view text) {
    const char16_t* const units = text.data();
    for (size_t at = 0; at + kBotMarkLength <= text.size(); ++at) {
        const char16_t mark = AsciiLower(units[at + 1]);
        if (units[at] == u'-' && units[at + 2] == u'-' && (mark == u't' || mark == u'b')) {
            return true;
        }
    }
    return false;
}

std::u16string AsciiLowered(std::u16string_view text) {
    std::u16string lowered(text);
    for (auto& c : lowered) c = AsciiLower(c);
    return lowered;
}

// The chat filter's rules as plainly as they can be written.
Verdict ChatModel(std::u16string_view text, const State& s) {
    Verdict v{kHostFalse, s.evades, s.resists, s.zero, false};
    bool on = false;
    auto read = [&](size_t box) {
        if (box == s.failing_box) return v.reported = true, false;
        on = s.boxes[box] == kHostTrue;
        return true;
    };
    auto count = [&](int32_t& counter) {
        if (counter == kMax) return v.reported = true, false;
        ++counter;
        v.eat = kHostTrue;
        return true;
    };
    if (s.colour == 21) {
        if (!read(kEvades)) return v;
        if (on && text.starts_with(kEvaded) && !count(v.evades)) return v;
        if (!read(kZero)) return v;
        if (on && Contains(text, kZeroDamage) && !count(v.zero)) return v;
    } else if (s.colour == 7) {
        if (!read(kResists)) return v;
        if (on && text.starts_with(kResist) && !count(v.resists)) return v;
        if (!read(kExpired)) return v;
        if (on && Contains(text, kExpiry)) v.eat = kHostTrue;
    }
    if (!read(kBots)) return v;
    if (on && HasBotMark(text)) v.eat = kHostTrue;
    return v;
}

bool IsHelpCommand(std::u16string_view text) {
    const auto head = AsciiLowered(text.substr(0, 10));
    return head == u"/murl help" || head == u"@murl help";
}

State ReadState(Input& in) {
    State s{};
    const uint8_t choice = in.Byte();
    const uint32_t raw = in.Word();
    s.colour = choice < 96 ? 21 : choice < 192 ? 7 : static_cast<int32_t>(raw);
    uint64_t bits = 0;
    for (size_t i = 0; i < kStateBytes; ++i) bits = bits << 8 | in.Byte();
    for (size_t i = 0; i < s.boxes.size(); ++i) {
        const HostBool states[] = {kHostFalse, kHostTrue, 1, static_cast<HostBool>(raw)};
        s.boxes[i] = states[bits >> (2 * i) & 3];
    }
    const uint8_t flags = in.Byte();
    s.incoming = flags & 1 ? kHostTrue : kHostFalse;
    s.evades = flags & 2 ? kMax : flags & 0x10 ? kMax - 1 : 0;
    s.resists = flags & 4 ? kMax : 7;
    s.zero = flags & 8 ? kMax : static_cast<int32_t>(raw >> 1);
    const uint8_t failing = in.Byte();
    s.failing_box = failing >= 0xC0 ? failing % kSeededBoxes : kNoFailure;
    s.lengthen = in.Byte() >= 0xF8;
    return s;
}

// Very long lines without very long inputs: the text repeated to over 64 Ki units. Such a line
// holds a literal of the rules wherever its first piece and the literal's length after it do,
// which is all of it that the model needs to read.
void Lengthen(std::u16string& text) {
    const size_t unit = text.size();
    if (unit == 0) return;
    const size_t length = (0x10000 / unit + 1) * unit;
    text.reserve(2 * (0x10000 + unit));  // the most that any piece needs
    while (text.size() < length) text.append(text);
    text.resize(length);
}

std::string Describe(const State& s, std::u16string_view text) {
    std::string d = "colour " + std::to_string(s.colour) + " boxes";
    for (auto b : s.boxes) d += ' ' + std::to_string(b);
    d += " failing " + std::to_string(s.failing_box) + " incoming " + std::to_string(s.incoming);
    return d + " text " + Show(text);
}

}  // namespace
}  // namespace murl::fuzz

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    using namespace murl;
    using namespace murl::fuzz;
    static testing_support::FilterRig rig;  // one plug-in for the whole run, as in one game session
    const std::u16string log_path = rig.fakes().app.folder + u"\\murl_err.log";

    Input in(data, size);
    const State s = ReadState(in);
    // Kept from run to run, so that a long line reuses the memory of the one before.
    static std::u16string text;
    const std::u16string rest = in.RestAsUtf16();
    text.assign(rest.begin(), rest.end());
    const size_t piece = text.size();
    if (s.lengthen) Lengthen(text);
    const std::u16string_view modelled =
        std::u16string_view(text).substr(0, piece + kLongestLiteral);
    const auto context = [&] { return Describe(s, text); };  // made only for a failure

    auto& faults = rig.host().faults();
    faults.Heal();
    for (size_t i = 0; i < s.boxes.size(); ++i) rig.SetSwitch(kCheckBoxNames[i], s.boxes[i]);
    if (s.failing_box != kNoFailure) {
        faults.Set(sim::Operation::GetChecked, sim::FaultKind::Fail,
                   std::u16string(kCheckBoxNames[s.failing_box]));
    }

    // Chat: verdict, counters and error report as the model has them.
    rig.plugin().SetCounters(s.evades, s.resists, s.zero);
    const size_t log_before =
        rig.fakes().files.HasFile(log_path) ? rig.fakes().files.Contents(log_path).size() : 0;
    HostBool eat = s.incoming;
    rig.host().hooks().subscribers().RaiseEvent(&HooksEvents::ChatTextIntercept, text, s.colour, 0,
                                                eat);
    const Verdict expected = ChatModel(modelled, s);
    FUZZ_CHECK(eat == expected.eat, context());
    FUZZ_CHECK(rig.plugin().EvadeCount() == expected.evades, context());
    FUZZ_CHECK(rig.plugin().ResistCount() == expected.resists, context());
    FUZZ_CHECK(rig.plugin().ZeroCount() == expected.zero, context());
    const size_t log_after =
        rig.fakes().files.HasFile(log_path) ? rig.fakes().files.Contents(log_path).size() : 0;
    FUZZ_CHECK((log_after > log_before) == expected.reported, context());
    if (log_after > 0) rig.fakes().files.RemoveFile(log_path);
    rig.fakes().files.clear_calls();  // the fake keeps a record of every call; millions add up

    // Status text: eaten when its switch is on, never uneaten; a failed read goes to the host.
    HostBool status_eat = s.incoming;
    bool status_failed = false;
    try {
        rig.host().hooks().subscribers().RaiseEvent(&HooksEvents::StatusTextIntercept, text,
                                                    status_eat);
    } catch (const Error&) {
        status_failed = true;
    }
    FUZZ_CHECK(status_failed == (s.failing_box == kStatus), context());
    const HostBool status_expected =
        !status_failed && s.boxes[kStatus] == kHostTrue ? kHostTrue : s.incoming;
    FUZZ_CHECK(status_eat == status_expected, context());

    // Typed line: the help command is answered with two lines and eaten; nothing else is.
    HostBool typed_eat = s.incoming;
    rig.host().hooks().subscribers().RaiseEvent(&HooksEvents::ChatParserIntercept, text, typed_eat);
    const bool help = IsHelpCommand(text);
    FUZZ_CHECK(typed_eat == (help ? kHostTrue : kHostFalse), context());
    const auto printed = rig.host().TakePrinted();
    FUZZ_CHECK(printed.size() == (help ? 2u : 0u), context());
    for (const auto& line : printed) FUZZ_CHECK(line.colour == 5 && line.target == 1, context());
    // Each run frees what it took, so that the fuzzer's leak check has nothing to look into.
    faults.Heal();
    return 0;
}
