#pragma once
// A plug-in object on the fake platform and the simulated host, with helpers to raise the host's
// events and to read what the plug-in did.

#include <gtest/gtest.h>

#include <cstdint>
#include <memory>
#include <source_location>
#include <string>
#include <vector>

#include "text/text.h"
#include "platform/fake/fake_platform.h"
#include "platform/fake/fake_settings_store.h"
#include "plugin/cls_murl.h"
#include "plugin/switches.h"
#include "sim/sim_host.h"
#include "sim/xml_parser.h"
#include "text/text.h"

namespace murl::test {

using sim::FaultKind;
using sim::Operation;

// A set of the switch table's rows, one bit each, so that a case names the boxes it needs and a
// new row changes no case that does not name it.
using BoxSet = uint64_t;
static_assert(kSwitches.size() < 64);
consteval BoxSet Box(std::u16string_view control) {
    return BoxSet{1} << SwitchIndex(control);
}
// The version banner: the release as the setup program's name gives it (1.0.15 for the
// project version 1.0.0.15).
inline const std::string kBanner = "Murl! version: " MURL_RELEASE_VERSION;

inline constexpr BoxSet kNoBoxes = 0;
inline constexpr BoxSet kAllBoxes = (BoxSet{1} << kSwitches.size()) - 1;
// The boxes that are on while the store holds nothing.
inline constexpr BoxSet kInitialBoxes = [] {
    BoxSet on = 0;
    for (size_t i = 0; i < kSwitches.size(); ++i) {
        if (kSwitches[i].initial == u"True") on |= BoxSet{1} << i;
    }
    return on;
}();

// The boxes' states in the form Host::SetBoxes takes, a character a row: '1' for the boxes in
// `on`, '2' (the non-Boolean 1) for those in `two`, '0' for the rest.
inline std::string BoxStates(BoxSet on, BoxSet two = 0) {
    std::string states;
    for (size_t i = 0; i < kSwitches.size(); ++i) {
        const BoxSet bit = BoxSet{1} << i;
        states += (two & bit) ? '2' : (on & bit) ? '1' : '0';
    }
    return states;
}

// The simulated host with shorthand for raising its events.
class Host {
public:
    Host() : parser_(sim::MakeXmlParser()), host_(*parser_) {}

    std::shared_ptr<ISite> site() { return host_.site(); }
    // The simulated host itself, which raises any event (`hooks().subscribers().RaiseEvent`).
    sim::SimHost& simulated() { return host_; }
    sim::Faults& faults() { return host_.faults(); }
    void Fail(Operation op, std::u16string target = {}) {
        faults().Set(op, FaultKind::Fail, std::move(target));
    }

    // Each returns the eat flag as the host holds it after the event.
    HostBool Chat(std::u16string_view text, int32_t colour, HostBool eat = 0) {
        host_.hooks().subscribers().RaiseEvent(&HooksEvents::ChatTextIntercept, text, colour, 0,
                                               eat);
        return eat;
    }
    HostBool Status(std::u16string_view text, HostBool eat = 0) {
        host_.hooks().subscribers().RaiseEvent(&HooksEvents::StatusTextIntercept, text, eat);
        return eat;
    }
    HostBool Type(std::u16string_view text, HostBool eat = 0) {
        host_.hooks().subscribers().RaiseEvent(&HooksEvents::ChatParserIntercept, text, eat);
        return eat;
    }
    // Whether the chat event reached a subscriber.
    bool ChatHeard() {
        HostBool eat = 0;
        return host_.hooks().subscribers().RaiseEvent(&HooksEvents::ChatTextIntercept, u"x", 0, 0,
                                                      eat);
    }
    bool Login(std::u16string id1, std::u16string id2) {
        host_.stats().SetIdentityText1(std::move(id1));
        host_.stats().SetIdentityText2(std::move(id2));
        return host_.stats().subscribers().RaiseEvent(&CharacterStatsEvents::LoginComplete);
    }
    bool Hit(std::u16string_view button) { return host_.PushButton(button)->Hit(); }
    bool Accept(std::u16string_view button) { return host_.PushButton(button)->Accept(); }
    bool Click(std::u16string_view box, HostBool state) {
        return host_.CheckBox(box)->Click(state);
    }

    // Sets the boxes from the host's side without raising Change, a character a row of the
    // switch table: '1' is -1, '0' is 0 and '2' the non-Boolean 1. A string of another length
    // is refused.
    void SetBoxes(std::string_view states,
                  std::source_location where = std::source_location::current()) {
        if (states.size() != kCheckBoxNames.size()) {
            ADD_FAILURE_AT(where.file_name(), static_cast<int>(where.line()))
                << "SetBoxes(\"" << states << "\"): " << states.size() << " states for "
                << kCheckBoxNames.size() << " boxes";
            return;
        }
        for (size_t i = 0; i < kCheckBoxNames.size(); ++i) {
            host_.CheckBox(kCheckBoxNames[i])
                ->SetChecked(states[i] == '1'   ? -1
                             : states[i] == '2' ? 1
                                                : 0);
        }
    }
    // The boxes' states in the same form ('?' for any other value).
    std::string BoxStates() const {
        std::string states;
        for (const auto& name : kCheckBoxNames) {
            const HostBool s = host_.CheckBox(name)->state();
            states += s == -1 ? '1' : s == 0 ? '0' : '?';
        }
        return states;
    }

    // The texts printed since the last call; every line must use colour 5 and target 1.
    std::vector<std::string> Printed() {
        std::vector<std::string> texts;
        for (const auto& p : host_.TakePrinted()) {
            EXPECT_EQ(p.colour, 5);
            EXPECT_EQ(p.target, 1);
            texts.push_back(ToUtf8(p.text));
        }
        return texts;
    }

    sim::SimHost& sim() { return host_; }

private:
    std::unique_ptr<sim::XmlParser> parser_;
    sim::SimHost host_;
};

class PluginTest : public testing::Test {
protected:
    static constexpr std::u16string_view kLogPath = u"C:\\Plugins\\Murl\\murl_err.log";

    PluginTest()
        : platform_(fakes.MakePlatform(store)), plugin(std::make_unique<clsMurl>(platform_)) {}

    void Init() { plugin->IPlugin2_Initialize(host.site()); }

    // The error log's entries without their date-time stamp.
    std::vector<std::string> LogReports() const {
        std::vector<std::string> reports;
        if (!fakes.files.HasFile(kLogPath)) return reports;
        const std::string& bytes = fakes.files.Contents(kLogPath);
        size_t start = 0;
        while (start < bytes.size()) {
            const size_t end = bytes.find("\r\n", start);
            std::string line = bytes.substr(start, end - start);
            const size_t tab = line.find('\t');
            reports.push_back(tab == std::string::npos ? line : line.substr(tab + 1));
            if (end == std::string::npos) break;
            start = end + 2;
        }
        return reports;
    }
    void ClearLog() {
        if (fakes.files.HasFile(kLogPath)) fakes.files.RemoveFile(kLogPath);
    }

    std::string Setting(std::u16string_view section, std::u16string_view key) const {
        auto value = store.Find(u"Murl", section, key);
        return value ? ToUtf8(*value) : "<absent>";
    }

    FakePlatform fakes;
    FakeSettingsStore store;
    Platform platform_;
    Host host;
    std::unique_ptr<clsMurl> plugin;
};

}  // namespace murl::test
