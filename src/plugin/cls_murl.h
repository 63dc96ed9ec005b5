#pragma once
// clsMurl: the plug-in object the host creates. It eats the combat spam that the player has
// switched off on its panel, counts evades, resists and zero-damage hits per character, and
// keeps counts and switches in the settings store.

#include <array>
#include <cstdint>
#include <memory>
#include <string>
#include <string_view>

#include "host/host.h"
#include "host/host_ref.h"
#include "log/cls_log.h"
#include "platform/platform.h"
#include "plugin/switches.h"

namespace murl {

// The error log's name, in the folder of the plug-in's module.
inline constexpr std::u16string_view kErrorLogName = u"murl_err.log";

class clsMurl {
public:
    // Class_Initialize: creates the error log and builds the view definition. Fails only when
    // the error log cannot be created.
    explicit clsMurl(const Platform& platform);
    ~clsMurl();
    clsMurl(const clsMurl&) = delete;
    clsMurl& operator=(const clsMurl&) = delete;

    // IPlugin2, called by the host after creation and before release.
    void IPlugin2_Initialize(std::shared_ptr<ISite> Site);
    void IPlugin2_Terminate() noexcept;

    // Host events.
    void ACHooks_ChatTextIntercept(std::u16string_view bstrText, int32_t lColor, int32_t lTarget,
                                   HostBool& bEat);
    void ACHooks_ChatParserIntercept(std::u16string_view bstrText, HostBool& bEat);
    void ACHooks_StatusTextIntercept(std::u16string_view bstrText, HostBool& bEat);
    void cs_LoginComplete();
    // Change of the check box of switch `row` (chkEvades_Change and its siblings).
    void chk_Change(const SwitchRow& row, int32_t nID, HostBool bChecked);
    void cmdOut_Hit(int32_t nID);
    void cmdReset_Accepted(int32_t nID);

    // State, for hosts and tests to observe.
    const std::u16string& ViewDefinition() const noexcept { return view_definition_; }
    int32_t EvadeCount() const noexcept { return EvadeCount_; }
    int32_t ResistCount() const noexcept { return ResistCount_; }
    int32_t ZeroCount() const noexcept { return ZeroCount_; }
    const std::u16string& CharacterKey() const noexcept { return character_key_; }
    clsLog& ErrorLog() noexcept { return *error_log_; }

    // Test hooks: presetting counters (for example near their overflow).
    void SetCounters(int32_t evades, int32_t resists, int32_t zero) noexcept;

private:
    class Sinks;

    void LoadVariables();
    void SaveVariables();
    HostBool HandleChatCommand(std::u16string_view text);
    void PrintLine(std::u16string_view text);
    std::u16string VersionBanner();

    Platform platform_;
    std::unique_ptr<Sinks> sinks_;  // event sinks of the bound fields below; outlive them

    HostRef<ISite> site_;
    std::unique_ptr<clsLog> error_log_;
    std::u16string view_definition_;
    int32_t EvadeCount_ = 0;
    int32_t ResistCount_ = 0;
    int32_t ZeroCount_ = 0;
    std::u16string character_key_;

public:
    // Event-bound fields, in the order initialisation binds them.
    EventBound<IHooks> ACHooks;
    EventBound<ICharacterStats> cs;
    HostRef<IView> MainView;
    std::array<EventBound<ICheckBox>, kSwitches.size()> chk;  // one per switch row, in order
    EventBound<IPushButton> cmdReset, cmdOut;
};

}  // namespace murl
