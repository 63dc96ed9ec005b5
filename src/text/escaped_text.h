#pragma once
// The pieces every writer of escaped UTF-16 text shares (JSON, the trace, the readable texts of
// the simulator and the doctor, the scenario parser's messages): the named escapes and the one
// walk over a table of them, the walk over a text that decides, unit by unit, what needs an
// escape, and the sinks that append to a string. The walks write to a sink, any callable taking
// one code point, so a writer into a fixed buffer allocates nothing.

#include <span>
#include <string>
#include <string_view>

#include "text/code_points.h"
#include "text/digits.h"

namespace murl {

// An escape that stands for one character: a backslash and `letter`.
struct NamedEscape {
    char letter;
    char16_t unit;
};

// The escapes of a quoted scenario TEXT that stand for one character each (\uXXXX aside): those
// of the quotes first, then those of the controls.
inline constexpr NamedEscape kNamedEscapes[] = {
    {'"', u'"'}, {'\\', u'\\'}, {'t', u'\t'}, {'n', u'\n'}, {'r', u'\r'},
};
inline constexpr std::span<const NamedEscape> kQuoteEscapes = std::span(kNamedEscapes).first(2);
inline constexpr std::span<const NamedEscape> kControlEscapes = std::span(kNamedEscapes).subspan(2);

// Puts the escape that `escapes` names for `unit`, a backslash and its letter, to `sink`; says
// whether there is one.
template <class Sink>
constexpr bool PutNamedEscape(Sink&& sink, std::span<const NamedEscape> escapes, char16_t unit) {
    for (const auto& named : escapes) {
        if (named.unit != unit) continue;
        sink('\\');
        sink(named.letter);
        return true;
    }
    return false;
}

// Walks `text`: a surrogate pair goes to `sink` as its code point, a lone surrogate to
// `lone(unit)`, and any other unit to `escape(unit)`, which says whether it wrote an escape; when
// it did not, the unit goes to `sink` as it is.
template <class Sink, class Escape, class Lone>
constexpr void PutEscaped(Sink&& sink, std::u16string_view text, Escape&& escape, Lone&& lone) {
    ForEachCodePoint(text, [&](char32_t cp, bool is_lone) {
        if (is_lone) {
            lone(static_cast<char16_t>(cp));
        } else if (cp >= 0x10000 || !escape(static_cast<char16_t>(cp))) {
            sink(cp);
        }
    });
}

// The sink that appends code points to a string as UTF-8.
struct Utf8Sink {
    std::string& out;
    void operator()(char32_t cp) const {
        PutUtf8([this](char byte) { out += byte; }, cp);
    }
};

inline void AppendUtf8(std::string& out, char32_t cp) {
    Utf8Sink{out}(cp);
}

inline void AppendHex(std::string& out, uint64_t value, int digits,
                      HexCase letters = HexCase::kUpper) {
    PutHex(Utf8Sink{out}, value, digits, letters);
}

inline void AppendHex4(std::string& out, char16_t unit) {
    PutHex4(Utf8Sink{out}, unit);
}

inline void AppendDecimal(std::string& out, int64_t value) {
    PutDecimal(Utf8Sink{out}, value);
}

// PutEscaped as UTF-8 appended to `out`, with `escape(unit, out)` and `lone(unit, out)`.
template <class Escape, class Lone>
void AppendEscaped(std::string& out, std::u16string_view text, Escape&& escape, Lone&& lone) {
    out.reserve(out.size() + text.size() + 2);
    PutEscaped(
        Utf8Sink{out}, text, [&](char16_t unit) { return escape(unit, out); },
        [&](char16_t unit) { lone(unit, out); });
}

}  // namespace murl
