#pragma once
// The plug-in as a host runs it: a clsMurl on the fake platform, initialised with the simulated
// host's site, chat lines raised through the hooks' subscription path.

#include <memory>
#include <string_view>

#include "host/host.h"
#include "platform/fake/fake_platform.h"
#include "platform/fake/fake_settings_store.h"
#include "plugin/cls_murl.h"
#include "sim/sim_host.h"
#include "sim/xml_parser.h"

namespace murl::bench {

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
        host_.hooks().RaiseChatText(text, colour, 0, eat);
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

}  // namespace murl::bench
