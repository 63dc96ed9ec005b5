// The chat and status filters. The chat filter runs for every line the game prints, so it
// works on the caller's text in place: no copy, no allocation, only the switch reads of its
// colour's rules, and one vectorised pass over the text for all the rules that search it.

#include <cstdint>
#include <cstring>
#include <limits>

#include "plugin/chat_rules.h"
#include "plugin/cls_murl.h"
#include "plugin/guarded.h"
#include "plugin/search/search.h"

namespace murl {

namespace {

constexpr const ChatRule& kEvadesRule = RuleReading(u"chkEvades");
constexpr const ChatRule& kZeroRule = RuleReading(u"chkZero");
constexpr const ChatRule& kResistsRule = RuleReading(u"chkResists");
constexpr const ChatRule& kExpiredRule = RuleReading(u"chkExpired");
constexpr const ChatRule& kBotsRule = RuleReading(u"chkBots");

// Each colour's two rules run in one branch of the filter; their rows must agree.
constexpr int32_t kColourCombat = kEvadesRule.colour;  // evades and zero-damage hits
constexpr int32_t kColourMagic = kResistsRule.colour;  // resists and spell expirations
static_assert(!kEvadesRule.any_colour && !kZeroRule.any_colour &&
              kZeroRule.colour == kColourCombat);
static_assert(!kResistsRule.any_colour && !kExpiredRule.any_colour &&
              kExpiredRule.colour == kColourMagic);
static_assert(kBotsRule.any_colour);

// Status text is no chat line: its switch is read by the status filter alone.
constexpr size_t kStatusBox = SwitchIndex(u"chkStatus");

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

constexpr const ChatLiteral& kZeroDamage = LiteralOf(kZeroRule);
constexpr const ChatLiteral& kExpired = LiteralOf(kExpiredRule);

// "-t-" or "-b-" in the lower-cased text. Only ASCII letters lower-case to 't' or 'b', so
// folding just those two letters is exact.

bool BotMarkAt(std::u16string_view text, size_t at) noexcept {
    if (!kBotHyphens.At(text, at)) return false;
    const char16_t mark = text[at + 1] | 0x20;  // 'T'/'B' -> 't'/'b'; no other unit maps there
    return mark == u't' || mark == u'b';
}

// The text tests of the rules that search a line, made in one pass over its text when the first
// of them is asked for: the colour's literal (if it has one) and the bot mark.
class LineSearch {
public:
    LineSearch(std::u16string_view text, const ChatLiteral* literal) noexcept
        : text_(text), literal_(literal) {}

    bool HasLiteral() noexcept { return Searched().literal_found_; }
    bool HasBotMark() noexcept { return Searched().bot_found_; }

private:
    LineSearch& Searched() noexcept {
        if (searched_) return *this;
        searched_ = true;
        bool want_literal = literal_ != nullptr;
        bool want_bot = true;
        const utf16::Pair& literal_pair = want_literal ? literal_->pair : kBotHyphens;
        for (size_t i = utf16::FindEither(text_, 0, kBotHyphens, literal_pair); i != utf16::npos;
             i = utf16::FindEither(text_, i + 1, want_bot ? kBotHyphens : literal_pair,
                                   want_literal ? literal_pair : kBotHyphens)) {
            if (want_bot && BotMarkAt(text_, i)) {
                bot_found_ = true;
                want_bot = false;
            }
            if (want_literal && literal_pair.At(text_, i) && HoldsAt(text_, i, literal_->text)) {
                literal_found_ = true;
                want_literal = false;
            }
            if (!want_bot && !want_literal) break;
        }
        return *this;
    }

    std::u16string_view text_;
    const ChatLiteral* literal_;
    bool searched_ = false;
    bool literal_found_ = false;
    bool bot_found_ = false;
};

void Increment(int32_t& counter) {
    if (counter == std::numeric_limits<int32_t>::max()) throw Error(err::kOverflow);
    ++counter;
}

}  // namespace

// Called by the hooks for every line about to be printed in the chat window.
void clsMurl::ACHooks_ChatTextIntercept(std::u16string_view bstrText, int32_t lColor,
                                        int32_t /*lTarget*/, HostBool& bEat) {
    RunGuarded(error_log_, kRoutine, [&](int&) {
        // A switch is read only through the row of the rule that reads it.
        const auto RuleOn = [this](const ChatRule& rule) { return IsOn(chk[rule.box]); };
        bEat = kHostFalse;
        LineSearch search(bstrText, lColor == kColourCombat  ? &kZeroDamage
                                    : lColor == kColourMagic ? &kExpired
                                                             : nullptr);
        if (lColor == kColourCombat) {
            if (RuleOn(kEvadesRule) && HoldsAt(bstrText, 0, kEvaded)) {
                Increment(EvadeCount_);
                bEat = kHostTrue;
            }
            if (RuleOn(kZeroRule) && search.HasLiteral()) {
                Increment(ZeroCount_);
                bEat = kHostTrue;
            }
        } else if (lColor == kColourMagic) {
            if (RuleOn(kResistsRule) && HoldsAt(bstrText, 0, kResist)) {
                Increment(ResistCount_);
                bEat = kHostTrue;
            }
            if (RuleOn(kExpiredRule) && search.HasLiteral()) bEat = kHostTrue;
        }
        if (RuleOn(kBotsRule) && search.HasBotMark()) bEat = kHostTrue;
    });
}

// Called by the hooks for every piece of floating status text.
void clsMurl::ACHooks_StatusTextIntercept(std::u16string_view /*bstrText*/, HostBool& bEat) {
    if (IsOn(chk[kStatusBox])) bEat = kHostTrue;
}

}  // namespace murl
