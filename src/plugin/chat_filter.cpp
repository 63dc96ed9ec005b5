// The chat and status filters. The chat filter runs for every line the game prints, so it
// works on the caller's text in place: no copy, no allocation, at most three switch reads.

#include <limits>

#include "plugin/cls_murl.h"
#include "plugin/guarded.h"

namespace murl {

namespace {

constexpr int32_t kColourCombat = 21;  // evades and zero-damage hits
constexpr int32_t kColourMagic = 7;    // resists and spell expirations

bool IsOn(const EventBound<ICheckBox>& box) { return box->GetChecked() == kHostTrue; }

bool StartsWith(std::u16string_view text, std::u16string_view prefix) noexcept {
    return text.substr(0, prefix.size()) == prefix;
}

bool Contains(std::u16string_view text, std::u16string_view needle) noexcept {
    return text.find(needle) != std::u16string_view::npos;
}

// "-t-" or "-b-" in the lower-cased text. Only ASCII letters lower-case to 't' or 'b', so
// folding just those two letters is exact.
bool HasBotMark(std::u16string_view text) noexcept {
    for (size_t i = text.find(u'-'); i != std::u16string_view::npos && i + 2 < text.size();
         i = text.find(u'-', i + 1)) {
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
    RunGuarded(error_log_, u"ACHooks_ChatTextIntercept", [&](int&) {
        bEat = kHostFalse;
        if (lColor == kColourCombat) {
            if (IsOn(chkEvades) && StartsWith(bstrText, u"You evaded ")) {
                Increment(EvadeCount_);
                bEat = kHostTrue;
            }
            if (IsOn(chkZero) && Contains(bstrText, u"for 0 points of")) {
                Increment(ZeroCount_);
                bEat = kHostTrue;
            }
        } else if (lColor == kColourMagic) {
            if (IsOn(chkResists) && StartsWith(bstrText, u"You resist")) {
                Increment(ResistCount_);
                bEat = kHostTrue;
            }
            if (IsOn(chkExpired) && Contains(bstrText, u"has expired.")) bEat = kHostTrue;
        }
        if (IsOn(chkBots) && HasBotMark(bstrText)) bEat = kHostTrue;
    });
}

// Called by the hooks for every piece of floating status text.
void clsMurl::ACHooks_StatusTextIntercept(std::u16string_view /*bstrText*/, HostBool& bEat) {
    if (IsOn(chkStatus)) bEat = kHostTrue;
}

}  // namespace murl
