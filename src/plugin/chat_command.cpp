// The help command and the two statistics buttons.

#include <array>

#include "murl_version.h"
#include "plugin/cls_murl.h"
#include "text/text.h"

namespace murl {

namespace {
constexpr std::u16string_view kHelpCommands[] = {u"/murl help", u"@murl help"};
constexpr size_t kCommandLength = 10;

bool IsHelpCommand(std::u16string_view text) noexcept {
    const std::u16string_view head = text.substr(0, kCommandLength);
    std::array<char16_t, kCommandLength> lowered{};
    for (size_t i = 0; i < head.size(); ++i) lowered[i] = AsciiLower(head[i]);
    const std::u16string_view folded(lowered.data(), head.size());
    for (auto command : kHelpCommands) {
        if (folded == command) return true;
    }
    return false;
}
}  // namespace

HostBool clsMurl::HandleChatCommand(std::u16string_view text) {
    if (!IsHelpCommand(text)) return kHostFalse;
    PrintLine(VersionBanner());
    std::u16string home = u"See ";
    home += MURL_HOME_PAGE;
    home += u" for the latest version";
    PrintLine(home);
    return kHostTrue;
}

// Called by the hooks for every line the player types.
void clsMurl::ACHooks_ChatParserIntercept(std::u16string_view bstrText, HostBool& bEat) {
    bEat = HandleChatCommand(bstrText);
}

// Called when the player hits "Output Stats".
void clsMurl::cmdOut_Hit(int32_t) {
    PrintLine(u"Melee evades = " + DecimalText(EvadeCount_));
    PrintLine(u"Resists = " + DecimalText(ResistCount_));
    PrintLine(u"Zero damage hits = " + DecimalText(ZeroCount_));
    SaveVariables();
}

// Called when the player confirms "Reset Stats".
void clsMurl::cmdReset_Accepted(int32_t) {
    ZeroCount_ = 0;
    ResistCount_ = 0;
    EvadeCount_ = 0;
    SaveVariables();
}

}  // namespace murl
