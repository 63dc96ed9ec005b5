#pragma once
// The plug-in as a host runs it: a clsMurl on the fake platform, initialised with the simulated
// host's site, chat lines raised through the hooks' subscription path.

#include <array>
#include <memory>
#include <string_view>

#include "host/host.h"
#include "platform/fake/fake_platform.h"
#include "platform/fake/fake_settings_store.h"
#include "plugin/chat_rules.h"
#include "plugin/cls_murl.h"
#include "sim/sim_host.h"
#include "sim/xml_parser.h"

namespace murl::testing_support {

class FilterRig {
public:
    FilterRig();
    ~FilterRig();
    FilterRig(const FilterRig&) = delete;
    FilterRig& operator=(const FilterRig&) = delete;

    // Sets check boxes on the host's side (no Change event).
    void SetSwitches(HostBool state);
    void SetSwitch(std::u16string_view name, HostBool state);

    // Raises ChatTextIntercept with the eat flag false; returns the flag as the host holds it
    // after.
    HostBool Chat(std::u16string_view text, int32_t colour) {
        HostBool eat = kHostFalse;
        host_.hooks().subscribers().RaiseEvent(&HooksEvents::ChatTextIntercept, text, colour, 0,
                                               eat);
        return eat;
    }

    clsMurl& plugin() noexcept { return *plugin_; }
    sim::SimHost& host() noexcept { return host_; }
    FakePlatform& fakes() noexcept { return fakes_; }

private:
    FakePlatform fakes_;
    FakeSettingsStore store_;
    std::unique_ptr<sim::XmlParser> parser_;
    sim::SimHost host_;
    std::unique_ptr<clsMurl> plugin_;
};

// A simulated host whose hooks carry a sink in the plug-in's place: lines reach it as they reach
// the plug-in in FilterRig, so both pay the same for the event.
class SinkHostRig {
public:
    using Decision = bool (*)(std::u16string_view text);
    SinkHostRig(const SinkHostRig&) = delete;
    SinkHostRig& operator=(const SinkHostRig&) = delete;

    HostBool Chat(std::u16string_view text, int32_t colour) {
        HostBool eat = kHostFalse;
        host_.hooks().subscribers().RaiseEvent(&HooksEvents::ChatTextIntercept, text, colour, 0,
                                               eat);
        return eat;
    }

protected:
    SinkHostRig() : parser_(sim::MakeXmlParser()), host_(*parser_) {}
    ~SinkHostRig() = default;

    // Hears only chat text; the other events pass untouched.
    class ChatSink : public HooksEvents {
    public:
        void ChatParserIntercept(std::u16string_view, HostBool&) override {}
        void StatusTextIntercept(std::u16string_view, HostBool&) override {}
    };

    std::unique_ptr<sim::XmlParser> parser_;
    sim::SimHost host_;
};

// The sink eats a line when `eats(text)` says so.
class SinkRig : public SinkHostRig {
public:
    explicit SinkRig(Decision eats);

private:
    class Sink final : public ChatSink {
    public:
        explicit Sink(Decision eats) : eats_(eats) {}
        void ChatTextIntercept(std::u16string_view text, int32_t, int32_t, HostBool& eat) override {
            eat = eats_(text) ? kHostTrue : kHostFalse;
        }

    private:
        Decision eats_;
    };

    Sink sink_;
    std::unique_ptr<Subscription> subscription_;
};

// The least any correct plug-in does per chat line: a sink in the plug-in's place on the same
// hooks that reads, through the simulated host's check boxes of the plug-in's panel, every switch
// the line's colour makes the rules read, makes one pass over the text with `eats`, and sets the
// eat flag. Every box starts checked.
class ContractFloorRig : public SinkHostRig {
public:
    explicit ContractFloorRig(Decision eats);

private:
    using Boxes = std::array<std::shared_ptr<ICheckBox>, kSwitches.size()>;

    class Sink final : public ChatSink {
    public:
        Sink(Decision eats, const Boxes& boxes) : eats_(eats), boxes_(boxes) {}
        void ChatTextIntercept(std::u16string_view text, int32_t colour, int32_t,
                               HostBool& eat) override {
            const SwitchReads reads = ChatSwitchReads(colour);
            bool any_on = false;
            for (size_t i = 0; i < reads.count; ++i) {
                any_on |= boxes_[reads.box[i]]->GetChecked() == kHostTrue;
            }
            eat = any_on && eats_(text) ? kHostTrue : kHostFalse;
        }

    private:
        Decision eats_;
        const Boxes& boxes_;
    };

    Boxes boxes_;
    Sink sink_;
    std::unique_ptr<Subscription> subscription_;
};

}  // namespace murl::testing_support
