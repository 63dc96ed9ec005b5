// The plug-in's three text handlers on arbitrary UTF-16 (lone surrogates, NULs, very long
// lines) with any colour, any switch states, counters at their limit and failing switch reads,
// each compared with a plain model of the rules; and the vectorised text search against its
// plain loop on every length around the vector boundaries. The header bytes choose the states:
//   colour choice, raw colour (4), switch states (2), flags, failing switch, length.

#include <algorithm>
#include <array>
#include <limits>
#include <string>

#include "filter_rig.h"
#include "fuzz_support.h"
#include "host/error.h"
#include "plugin/utf16_search.h"

namespace murl::fuzz {
namespace {

constexpr int32_t kMax = std::numeric_limits<int32_t>::max();
constexpr size_t kEvades = 0, kZero = 1, kResists = 2, kExpired = 3, kStatus = 4, kBots = 5;
constexpr size_t kNoFailure = 6;

struct State {
    int32_t colour;
    std::array<HostBool, 6> boxes;
    size_t failing_box;  // whose GetChecked fails; kNoFailure for none
    HostBool incoming;
    int32_t evades, resists, zero;
};

struct Verdict {
    HostBool eat = kHostFalse;
    int32_t evades, resists, zero;
    bool reported = false;
};

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
        if (on && text.substr(0, 11) == u"You evaded " && !count(v.evades)) return v;
        if (!read(kZero)) return v;
        if (on && text.find(u"for 0 points of") != text.npos && !count(v.zero)) return v;
    } else if (s.colour == 7) {
        if (!read(kResists)) return v;
        if (on && text.substr(0, 10) == u"You resist" && !count(v.resists)) return v;
        if (!read(kExpired)) return v;
        if (on && text.find(u"has expired.") != text.npos) v.eat = kHostTrue;
    }
    if (!read(kBots)) return v;
    if (on) {
        const auto lowered = AsciiLowered(text);
        if (lowered.find(u"-t-") != lowered.npos || lowered.find(u"-b-") != lowered.npos)
            v.eat = kHostTrue;
    }
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
    const unsigned high = in.Byte();
    const unsigned bits = high << 8 | in.Byte();
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
    s.failing_box = failing >= 0xC0 ? failing % 6 : kNoFailure;
    return s;
}

// Very long lines without very long inputs: the text repeated to over 64 Ki units.
void Lengthen(Input& in, std::u16string& text) {
    const uint8_t length = in.Byte();
    if (length < 0xF8 || text.empty()) return;
    const std::u16string unit = text;
    while (text.size() <= 0x10000) text += unit;
}

// Each vectorised search that takes the text gives the same first start as the plain loop, for
// every prefix of the text up to several vectors long, from every start in the first vectors, for
// the filter's pairs and for one made of the text's own units (so that it is found).
void CheckSearch(std::u16string_view text, const std::string& context) {
#if defined(MURL_HAVE_SIMD_SEARCH)
    using Find = bool (*)(std::u16string_view, size_t, utf16::Pair, utf16::Pair, size_t&);
    Find finds[2] = {};
    if (utf16::detail::HasSse2()) finds[0] = utf16::detail::FindSse2;
    if (utf16::detail::HasAvx2()) finds[1] = utf16::detail::FindAvx2;
    const size_t n = text.size();
    const utf16::Pair own{n ? text[n / 2] : u'a', n % 3, n ? text[n - 1] : u'b', n % 19};
    const utf16::Pair pairs[][2] = {{{u'-', 0, u'-', 2}, {u'0', 4, u'f', 14}},
                                    {{u'-', 0, u'-', 2}, {u'x', 5, u'.', 11}},
                                    {own, own},
                                    {{u'-', 0, u'-', 2}, own}};
    const auto check = [&](std::u16string_view prefix, size_t from) {
        for (const auto& [a, b] : pairs) {
            const size_t expected = utf16::detail::FindEitherPlain(prefix, from, a, b);
            for (const Find find : finds) {
                size_t found = 0;
                if (!find || !find(prefix, from, a, b, found)) continue;
                FUZZ_CHECK(found == expected, context + " length " + std::to_string(prefix.size()) +
                                                  " from " + std::to_string(from));
            }
            FUZZ_CHECK(utf16::FindEither(prefix, from, a, b) == expected, context);
        }
    };
    for (size_t length = 0; length <= std::min<size_t>(n, 80); ++length) {
        for (size_t from = 0; from <= std::min<size_t>(length + 1, 40); ++from) {
            check(text.substr(0, length), from);
        }
    }
    check(text, 0);
    check(text, n / 2);
#else
    (void)text;
    (void)context;
#endif
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
    static bench::FilterRig rig;  // one plug-in for the whole run, as in one game session
    const std::u16string log_path = rig.fakes().app.folder + u"\\murl_err.log";

    Input in(data, size);
    const State s = ReadState(in);
    std::u16string text = in.RestAsUtf16();
    Lengthen(in, text);
    const std::string context = Describe(s, text);
    CheckSearch(text, context);

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
    rig.host().hooks().RaiseChatText(text, s.colour, 0, eat);
    const Verdict expected = ChatModel(text, s);
    FUZZ_CHECK(eat == expected.eat, context);
    FUZZ_CHECK(rig.plugin().EvadeCount() == expected.evades, context);
    FUZZ_CHECK(rig.plugin().ResistCount() == expected.resists, context);
    FUZZ_CHECK(rig.plugin().ZeroCount() == expected.zero, context);
    const size_t log_after =
        rig.fakes().files.HasFile(log_path) ? rig.fakes().files.Contents(log_path).size() : 0;
    FUZZ_CHECK((log_after > log_before) == expected.reported, context);
    if (log_after > 0) rig.fakes().files.RemoveFile(log_path);
    rig.fakes().files.clear_calls();  // the fake keeps a record of every call; millions add up

    // Status text: eaten when its switch is on, never uneaten; a failed read goes to the host.
    HostBool status_eat = s.incoming;
    bool status_failed = false;
    try {
        rig.host().hooks().RaiseStatusText(text, status_eat);
    } catch (const Error&) {
        status_failed = true;
    }
    FUZZ_CHECK(status_failed == (s.failing_box == kStatus), context);
    const HostBool status_expected =
        !status_failed && s.boxes[kStatus] == kHostTrue ? kHostTrue : s.incoming;
    FUZZ_CHECK(status_eat == status_expected, context);

    // Typed line: the help command is answered with two lines and eaten; nothing else is.
    HostBool typed_eat = s.incoming;
    rig.host().hooks().RaiseChatParser(text, typed_eat);
    const bool help = IsHelpCommand(text);
    FUZZ_CHECK(typed_eat == (help ? kHostTrue : kHostFalse), context);
    const auto printed = rig.host().TakePrinted();
    FUZZ_CHECK(printed.size() == (help ? 2u : 0u), context);
    for (const auto& line : printed) FUZZ_CHECK(line.colour == 5 && line.target == 1, context);
    return 0;
}
