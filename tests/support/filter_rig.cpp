#include "filter_rig.h"

#include <stdexcept>

namespace murl::bench {

FilterRig::FilterRig()
    : parser_(sim::MakeXmlParser()),
      host_(*parser_),
      plugin_(std::make_unique<clsMurl>(fakes_.MakePlatform(store_))) {
    plugin_->IPlugin2_Initialize(host_.site());
    if (!host_.CheckBox(u"chkBots")) throw std::runtime_error("the plug-in built no panel");
}

FilterRig::~FilterRig() {
    plugin_->IPlugin2_Terminate();
}

void FilterRig::SetSwitches(HostBool state) {
    for (auto name : kCheckBoxNames) SetSwitch(name, state);
}

void FilterRig::SetSwitch(std::u16string_view name, HostBool state) {
    host_.CheckBox(name)->SetChecked(state);
}

SinkRig::SinkRig(Decision eats)
    : parser_(sim::MakeXmlParser()),
      host_(*parser_),
      sink_(eats),
      subscription_(host_.hooks().Advise(sink_)) {}

}  // namespace murl::bench
