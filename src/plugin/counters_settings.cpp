// Counters and switches in the settings store: the login sequence, loading and saving, and the
// check boxes' change handlers.

#include <exception>
#include <utility>

#include "host/error.h"
#include "plugin/cls_murl.h"
#include "plugin/conversions.h"
#include "plugin/guarded.h"
#include "plugin/stored_values.h"
#include "text/text.h"

namespace murl {

std::u16string clsMurl::VersionBanner() {
    const Version v = platform_.app.GetVersion();
    return u"Murl! version: " + ReleaseText(v);
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

// Each stored value loads on its own, a number as that number: one that does not convert, or
// that is of a type Murl cannot read, is reported and the others still load; a counter that does
// not convert starts from 0, a switch that does not convert leaves its box as it is. A store or a
// box that fails stops the load. A report that cannot be written is passed on once every value has
// had its turn, so the log's failure costs no value.
void clsMurl::LoadVariables() {
    std::exception_ptr unwritten_report;
    const auto report_bad_value = [&](const Error& e) {
        try {
            WriteErrorReport(error_log_.get(), u"LoadVariables", e.description(), 0);
        } catch (...) {
            if (!unwritten_report) unwritten_report = std::current_exception();
        }
    };
    RunGuarded(error_log_, u"LoadVariables", [&](int&) {
        SettingsStore& store = platform_.settings;
        const std::pair<std::u16string_view, int32_t&> counters[] = {
            {kEvadesKey, EvadeCount_}, {kResistsKey, ResistCount_}, {kZeroKey, ZeroCount_}};
        for (const auto& [key, count] : counters) {
            const auto stored = store.ReadSetting(kSettingsApplication, character_key_, key);
            try {
                count = stored ? CounterFromStored(*stored) : 0;
            } catch (const Error& e) {
                count = 0;
                report_bad_value(e);
            }
        }

        for (size_t i = 0; i < kSwitches.size(); ++i) {
            const SwitchRow& row = kSwitches[i];
            const auto stored = store.ReadSetting(kSettingsApplication, kSwitchSection, row.key);
            HostBool state;
            try {
                state = stored ? SwitchFromStored(*stored) : BooleanFromText(row.initial);
            } catch (const Error& e) {
                report_bad_value(e);
                continue;
            }
            chk[i]->SetChecked(state);
        }
    });
    if (unwritten_report) std::rethrow_exception(unwritten_report);
}

void clsMurl::SaveVariables() {
    RunGuarded(error_log_, u"SaveVariables", [&](int& line) {
        SettingsStore& store = platform_.settings;
        line = 20;
        store.SaveSetting(kSettingsApplication, character_key_, kEvadesKey,
                          DecimalText(EvadeCount_));
        line = 30;
        store.SaveSetting(kSettingsApplication, character_key_, kResistsKey,
                          DecimalText(ResistCount_));
        line = 40;
        store.SaveSetting(kSettingsApplication, character_key_, kZeroKey, DecimalText(ZeroCount_));
    });
}

// Called by each check box when the player changes it: the switch is stored at once, from the
// state the event carries.
void clsMurl::chk_Change(const SwitchRow& row, int32_t, HostBool bChecked) {
    platform_.settings.SaveSetting(kSettingsApplication, kSwitchSection, row.key,
                                   SwitchText(bChecked));
}

}  // namespace murl
