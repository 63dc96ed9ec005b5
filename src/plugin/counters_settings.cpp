// Counters and switches in the settings store: the login sequence, loading and saving, and the
// check boxes' change handlers.

#include "host/text.h"
#include "plugin/cls_murl.h"
#include "plugin/conversions.h"
#include "plugin/guarded.h"
#include "plugin/stored_values.h"

namespace murl {

namespace {
constexpr std::u16string_view kApp = kSettingsApplication;
}  // namespace

std::u16string clsMurl::VersionBanner() {
    const Version v = platform_.app.GetVersion();
    std::u16string banner = u"Murl! version: ";
    banner += DecimalText(v.major);
    banner += u'.';
    banner += DecimalText(v.minor);
    banner += u'.';
    banner += DecimalText(v.revision);
    return banner;
}

void clsMurl::PrintLine(std::u16string_view text) {
    ACHooks->WriteChatText(text, 5, 1);
}

// Called by the character statistics when a character's login completes.
void clsMurl::cs_LoginComplete() {
    std::u16string key = cs->IdentityText2();
    key += cs->IdentityText1();
    // The previous character's counts since their last save would be lost when the key
    // changes, so they are saved under the old key first.
    if (!character_key_.empty()) SaveVariables();
    character_key_ = std::move(key);
    PrintLine(VersionBanner());
    LoadVariables();
}

void clsMurl::LoadVariables() {
    RunGuarded(error_log_, u"LoadVariables", [&](int&) {
        SettingsStore& store = platform_.settings;
        EvadeCount_ = NumberFromText(store.GetSetting(kApp, character_key_, u"Evades", u"0"));
        ResistCount_ = NumberFromText(store.GetSetting(kApp, character_key_, u"Resists", u"0"));
        ZeroCount_ = NumberFromText(store.GetSetting(kApp, character_key_, u"Zero", u"0"));

        for (size_t i = 0; i < kSwitches.size(); ++i) {
            const SwitchRow& row = kSwitches[i];
            chk[i]->SetChecked(
                BooleanFromText(store.GetSetting(kApp, kSwitchSection, row.key, row.initial)));
        }
    });
}

void clsMurl::SaveVariables() {
    RunGuarded(error_log_, u"SaveVariables", [&](int& line) {
        SettingsStore& store = platform_.settings;
        line = 20;
        store.SaveSetting(kApp, character_key_, u"Evades", DecimalText(EvadeCount_));
        line = 30;
        store.SaveSetting(kApp, character_key_, u"Resists", DecimalText(ResistCount_));
        line = 40;
        store.SaveSetting(kApp, character_key_, u"Zero", DecimalText(ZeroCount_));
    });
}

// Called by each check box when the player changes it: the switch is stored at once, from the
// state the event carries.
void clsMurl::chk_Change(const SwitchRow& row, int32_t, HostBool bChecked) {
    platform_.settings.SaveSetting(kApp, kSwitchSection, row.key, SwitchText(bChecked));
}

}  // namespace murl
