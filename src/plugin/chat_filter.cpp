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

[[gnu::always_inline]] inline bool IsOn(const EventBound<ICheckBox>& box) {
    return box->GetChecked() == kHostTrue;
}

// Whether `text` holds `literal` at `at`. Equal bytes are equal units, and a byte comparison
// of a known length compiles to a few loads.
bool HoldsAt(std::u16string_view text, size_t at, std::u16string_view literal) noexcept {
    return at <= text.size() && text.size() - at >= literal.size() &&
           std::memcmp(text.data() + at, literal.data(), literal.size() * sizeof(char16_t)) == 0;
}

// "-t-" or "-b-" in the lower-cased text. Only ASCII letters lower-case to 't' or 'b', so
// folding just those two letters is exact.
bool BotMarkAt(std::u16string_view text, size_t at) noexcept {
    if (!kBotHyphens.At(text, at)) return false;
    const char16_t mark = text[at + 1] | 0x20;  // 'T'/'B' -> 't'/'b'; no other unit maps there
    return mark == u't' || mark == u'b';
}

// The index in kChatLiterals of the text that `rule` looks for.
consteval size_t LiteralIndex(const ChatRule& rule) {
    return static_cast<size_t>(&LiteralOf(rule) - kChatLiterals.data());
}
constexpr size_t kNoLiteral = kChatLiterals.size();

// The text tests of the rules that search a line of one colour, made in one pass over its text
// when the first of them is asked for: the colour's literal (kChatLiterals[kLiteral], none for
// kNoLiteral) and the bot mark. Its pairs are constants: which path each search takes and what
// it compares with are decided when compiling, not per line.
template <size_t kLiteral>
class LineSearch {
public:
    explicit LineSearch(std::u16string_view text) noexcept : text_(text) {}

    bool HasLiteral() noexcept { return Searched().literal_found_; }
    bool HasBotMark() noexcept { return Searched().bot_found_; }

private:
    static constexpr bool kWithLiteral = kLiteral != kNoLiteral;
    static constexpr utf16::Pair kPair = kWithLiteral ? kChatLiterals[kLiteral].pair : kBotHyphens;

    // The next start from `from` of what is still looked for.
    size_t Next(size_t from) const noexcept {
        if (!kWithLiteral || literal_found_)
            return utf16::FindEither<kBotHyphens, kBotHyphens>(text_, from);
        if (bot_found_) return utf16::FindEither<kPair, kPair>(text_, from);
        return utf16::FindEither<kBotHyphens, kPair>(text_, from);
    }

    LineSearch& Searched() noexcept {
        if (searched_) return *this;
        searched_ = true;
        for (size_t i = Next(0); i != utf16::npos; i = Next(i + 1)) {
            if (!bot_found_ && BotMarkAt(text_, i)) bot_found_ = true;
            if constexpr (kWithLiteral) {
                if (!literal_found_ && kPair.At(text_, i) &&
                    HoldsAt(text_, i, kChatLiterals[kLiteral].text)) {
                    literal_found_ = true;
                }
            }
            if (bot_found_ && (literal_found_ || !kWithLiteral)) break;
        }
        return *this;
    }

    std::u16string_view text_;
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
        const auto BotRule = [&](auto& search) {
            if (RuleOn(kBotsRule) && search.HasBotMark()) bEat = kHostTrue;
        };
        bEat = kHostFalse;
        if (lColor == kColourCombat) {
            LineSearch<LiteralIndex(kZeroRule)> search(bstrText);
            if (RuleOn(kEvadesRule) && HoldsAt(bstrText, 0, kEvaded)) {
                Increment(EvadeCount_);
                bEat = kHostTrue;
            }
            if (RuleOn(kZeroRule) && search.HasLiteral()) {
                Increment(ZeroCount_);
                bEat = kHostTrue;
            }
            BotRule(search);
        } else if (lColor == kColourMagic) {
            LineSearch<LiteralIndex(kExpiredRule)> search(bstrText);
            if (RuleOn(kResistsRule) && HoldsAt(bstrText, 0, kResist)) {
                Increment(ResistCount_);
                bEat = kHostTrue;
            }
            if (RuleOn(kExpiredRule) && search.HasLiteral()) bEat = kHostTrue;
            BotRule(search);
        } else {
            LineSearch<kNoLiteral> search(bstrText);
            BotRule(search);
        }
    });
}

// Called by the hooks for every piece of floating status text.
void clsMurl::ACHooks_StatusTextIntercept(std::u16string_view /*bstrText*/, HostBool& bEat) {
    if (IsOn(chk[kStatusBox])) bEat = kHostTrue;
}

}  // namespace murl
