// Lifecycle of the plug-in object: construction, binding to the host, termination, and the
// sinks that route the bound host objects' events to the handlers.

#include "plugin/cls_murl.h"

#include <utility>

#include "plugin/guarded.h"
#include "plugin/view_definition.h"
#include "text/text.h"

namespace murl {

namespace {

class HooksSink final : public HooksEvents {
public:
    explicit HooksSink(clsMurl& m) : plugin_(m) {}
    void ChatTextIntercept(std::u16string_view bstrText, int32_t lColor, int32_t lTarget,
                           HostBool& bEat) override {
        plugin_.ACHooks_ChatTextIntercept(bstrText, lColor, lTarget, bEat);
    }
    void ChatParserIntercept(std::u16string_view bstrText, HostBool& bEat) override {
        plugin_.ACHooks_ChatParserIntercept(bstrText, bEat);
    }
    void StatusTextIntercept(std::u16string_view bstrText, HostBool& bEat) override {
        plugin_.ACHooks_StatusTextIntercept(bstrText, bEat);
    }

private:
    clsMurl& plugin_;
};

class StatsSink final : public CharacterStatsEvents {
public:
    explicit StatsSink(clsMurl& m) : plugin_(m) {}
    void LoginComplete() override { plugin_.cs_LoginComplete(); }

private:
    clsMurl& plugin_;
};

class CheckBoxSink final : public CheckBoxEvents {
public:
    CheckBoxSink(clsMurl& m, const SwitchRow& row) : plugin_(m), row_(row) {}
    void Change(int32_t nID, HostBool bChecked) override {
        plugin_.chk_Change(row_, nID, bChecked);
    }

private:
    clsMurl& plugin_;
    const SwitchRow& row_;
};

// One element per switch row, each made from the row's index.
template <class T, class Make, size_t... I>
std::array<T, sizeof...(I)> PerSwitch(Make make, std::index_sequence<I...>) {
    return {make(I)...};
}
template <class T, class Make>
std::array<T, kSwitches.size()> PerSwitch(Make make) {
    return PerSwitch<T>(make, std::make_index_sequence<kSwitches.size()>());
}

// A button's sink handles only the events the plug-in has a handler for.
class ButtonSink final : public PushButtonEvents {
public:
    using Handler = void (clsMurl::*)(int32_t);
    ButtonSink(clsMurl& m, Handler hit, Handler accepted)
        : plugin_(m), hit_(hit), accepted_(accepted) {}
    void Hit(int32_t nID) override {
        if (hit_) (plugin_.*hit_)(nID);
    }
    void Accepted(int32_t nID) override {
        if (accepted_) (plugin_.*accepted_)(nID);
    }

private:
    clsMurl& plugin_;
    Handler hit_;
    Handler accepted_;
};

}  // namespace

class clsMurl::Sinks {
public:
    explicit Sinks(clsMurl& m)
        : hooks(m),
          stats(m),
          chk(PerSwitch<CheckBoxSink>([&](size_t i) { return CheckBoxSink(m, kSwitches[i]); })),
          cmdReset(m, nullptr, &clsMurl::cmdReset_Accepted),
          cmdOut(m, &clsMurl::cmdOut_Hit, nullptr) {}

    HooksSink hooks;
    StatsSink stats;
    std::array<CheckBoxSink, kSwitches.size()> chk;
    ButtonSink cmdReset, cmdOut;
};

void WriteErrorReport(clsLog* log, std::u16string_view routine, std::u16string_view description,
                      int line) {
    if (!log) throw Error(err::kObjectNotSet);
    std::u16string report = u"Error in ";
    report += routine;
    report += u": ";
    report += description;
    report += u". At line ";
    report += DecimalText(line);
    log->Output(report, 0);
}

clsMurl::clsMurl(const Platform& platform)
    : platform_(platform),
      sinks_(std::make_unique<Sinks>(*this)),
      ACHooks(sinks_->hooks),
      cs(sinks_->stats),
      chk(PerSwitch<EventBound<ICheckBox>>(
          [&](size_t i) { return EventBound<ICheckBox>(sinks_->chk[i]); })),
      cmdReset(sinks_->cmdReset),
      cmdOut(sinks_->cmdOut) {
    // Class_Initialize. A failure before the log exists cannot be reported, so it leaves the
    // constructor.
    RunGuarded(error_log_, u"Class_Initialize", [&](int& line) {
        line = 20;
        error_log_ = std::make_unique<clsLog>(platform_);
        line = 30;
        error_log_->LogDateTime(kHostTrue);
        line = 40;
        error_log_->File(platform_.JoinPath(platform_.app.ModuleFolder(), kErrorLogName));
        line = 50;
        error_log_->Active(kHostTrue);
        for (size_t piece = 0; piece < kViewDefinitionPieces.size(); ++piece) {
            line = 60 + 10 * static_cast<int>(piece);
            if (piece == 0) {
                view_definition_ = kViewDefinitionPieces[0];
            } else {
                view_definition_ += kViewDefinitionPieces[piece];
            }
        }
    });
}

clsMurl::~clsMurl() = default;

void clsMurl::IPlugin2_Initialize(std::shared_ptr<ISite> Site) {
    HostRef<ISite> site;
    site.Set(std::move(Site));
    RunGuarded(error_log_, u"IPlugin2_Initialize", [&](int& line) {
        line = 20;
        site_.Set(site.get());
        line = 30;
        HostRef<IViewLoader> loader;
        loader.Set(TakeAs<IViewLoader>(site->GetViewLoader()));
        line = 40;
        ACHooks.Set(TakeAs<IHooks>(site->GetHooks()));
        line = 50;
        cs.Set(TakeAs<ICharacterStats>(site_->GetServiceObject(kCharacterStatsPath)));
        line = 60;
        MainView.Set(loader->LoadViewXml(view_definition_));

        for (size_t i = 0; i < kSwitches.size(); ++i) {
            line = BoxLabel(i);
            chk[i].Set(TakeAs<ICheckBox>(MainView->FindControl(kSwitches[i].control)));
        }
        line = kResetLabel;
        cmdReset.Set(TakeAs<IPushButton>(MainView->FindControl(u"cmdReset")));
        line = kOutLabel;
        cmdOut.Set(TakeAs<IPushButton>(MainView->FindControl(u"cmdOut")));
    });
}

void clsMurl::IPlugin2_Terminate() noexcept {
    // Each step runs whatever the previous one did; termination reports nothing of its own.
    try {
        SaveVariables();
    } catch (...) {
    }
    ACHooks.Clear();
    MainView.Clear();
    site_.Clear();
}

void clsMurl::SetCounters(int32_t evades, int32_t resists, int32_t zero) noexcept {
    EvadeCount_ = evades;
    ResistCount_ = resists;
    ZeroCount_ = zero;
}

}  // namespace murl
