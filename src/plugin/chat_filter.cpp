// The chat and status filters. The chat filter runs for every line the game prints, so it
// works on the caller's text in place: no copy, no allocation, at most three switch reads, and
// scans that use the library's byte search instead of stepping one unit at a time.

#include <cstdint>
#include <cstring>
#include <limits>

#include "plugin/cls_murl.h"
#include "plugin/guarded.h"

namespace murl {

namespace {

constexpr int32_t kColourCombat = 21;  // evades and zero-damage hits
constexpr int32_t kColourMagic = 7;    // resists and spell expirations

constexpr size_t kEvadesBox = SwitchIndex(u"chkEvades");
constexpr size_t kZeroBox = SwitchIndex(u"chkZero");
constexpr size_t kResistsBox = SwitchIndex(u"chkResists");
constexpr size_t kExpiredBox = SwitchIndex(u"chkExpired");
constexpr size_t kStatusBox = SwitchIndex(u"chkStatus");
constexpr size_t kBotsBox = SwitchIndex(u"chkBots");

constexpr std::u16string_view kRoutine = u"ACHooks_ChatTextIntercept";
constexpr std::u16string_view kEvaded = u"You evaded ";
constexpr std::u16string_view kResist = u"You resist";

bool IsOn(const EventBound<ICheckBox>& box) {
    return box->GetChecked() == kHostTrue;
}

// Whether `text` holds `literal` at `at`. Equal bytes are equal units, and a byte comparison
// of a known length compiles to a few loads.
bool HoldsAt(std::u16string_view text, size_t at, std::u16string_view literal) noexcept {
    return at <= text.size() && text.size() - at >= literal.size() &&
           std::memcmp(text.data() + at, literal.data(), literal.size() * sizeof(char16_t)) == 0;
}

// The first `unit` at or after `from`, or npos. A vectorised byte search (glibc's memchr) is
// far faster than a loop over code units; a byte hit is only a candidate until its whole unit
// is compared. The Windows C runtime's memchr steps one byte at a time, so there the plain loop
// over units is the faster of the two.
size_t FindUnit(std::u16string_view text, char16_t unit, size_t from) noexcept {
#if defined(_WIN32)
    return text.find(unit, from);
#else
    const char* const bytes = reinterpret_cast<const char*>(text.data());
    const size_t size = text.size() * sizeof(char16_t);
    const int low_byte = unit & 0xFF;
    for (size_t at = from * sizeof(char16_t); at < size;) {
        const void* hit = std::memchr(bytes + at, low_byte, size - at);
        if (!hit) break;
        const auto offset = static_cast<size_t>(static_cast<const char*>(hit) - bytes);
        if (text[offset / sizeof(char16_t)] == unit) return offset / sizeof(char16_t);
        at = offset + 1;
    }
    return std::u16string_view::npos;
#endif
}

// A literal searched for through one of its rarer units (the anchor): the byte search finds
// each place the anchor occurs, and the whole literal is compared around it.
class Needle {
public:
    constexpr Needle(std::u16string_view text, size_t anchor) : text_(text), anchor_(anchor) {}

    bool FoundIn(std::u16string_view text) const noexcept {
        for (size_t i = FindUnit(text, text_[anchor_], anchor_); i != std::u16string_view::npos;
             i = FindUnit(text, text_[anchor_], i + 1)) {
            if (HoldsAt(text, i - anchor_, text_)) return true;
        }
        return false;
    }

private:
    std::u16string_view text_;
    size_t anchor_;
};

// Digits are rare in chat and 'x' is rare in English.
constexpr Needle kZeroDamage(u"for 0 points of", 4);
constexpr Needle kExpired(u"has expired.", 5);

// "-t-" or "-b-" in the lower-cased text. Only ASCII letters lower-case to 't' or 'b', so
// folding just those two letters is exact.
bool HasBotMark(std::u16string_view text) noexcept {
    for (size_t i = FindUnit(text, u'-', 0); i != std::u16string_view::npos && i + 2 < text.size();
         i = FindUnit(text, u'-', i + 1)) {
        const char16_t mark = text[i + 1] | 0x20;  // 'T'/'B' -> 't'/'b'; no other unit maps there
        if ((mark == u't' || mark == u'b') && text[i + 2] == u'-') return true;
    }
    return false;
}

void Increment(int32_t& counter) {
    if (counter == std::numeric_limits<int32_t>::max()) throw Error(err::kOverflow);
    ++counter;
}

}  // namespace

// Called by the hooks for every line about to be printed in the chat window.
void clsMurl::ACHooks_ChatTextIntercept(std::u16string_view bstrText, int32_t lColor,
                                        int32_t /*lTarget*/, HostBool& bEat) {
    RunGuarded(error_log_, kRoutine, [&](int&) {
        bEat = kHostFalse;
        if (lColor == kColourCombat) {
            if (IsOn(chk[kEvadesBox]) && HoldsAt(bstrText, 0, kEvaded)) {
                Increment(EvadeCount_);
                bEat = kHostTrue;
            }
            if (IsOn(chk[kZeroBox]) && kZeroDamage.FoundIn(bstrText)) {
                Increment(ZeroCount_);
                bEat = kHostTrue;
            }
        } else if (lColor == kColourMagic) {
            if (IsOn(chk[kResistsBox]) && HoldsAt(bstrText, 0, kResist)) {
                Increment(ResistCount_);
                bEat = kHostTrue;
            }
            if (IsOn(chk[kExpiredBox]) && kExpired.FoundIn(bstrText)) bEat = kHostTrue;
        }
        if (IsOn(chk[kBotsBox]) && HasBotMark(bstrText)) bEat = kHostTrue;
    });
}

// Called by the hooks for every piece of floating status text.
void clsMurl::ACHooks_StatusTextIntercept(std::u16string_view /*bstrText*/, HostBool& bEat) {
    if (IsOn(chk[kStatusBox])) bEat = kHostTrue;
}

}  // namespace murl
