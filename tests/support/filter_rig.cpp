#include "filter_rig.h"

#include <stdexcept>
#include <string>

#include "plugin/view_definition.h"

namespace murl::testing_support {

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

SinkRig::SinkRig(Decision eats) : sink_(eats), subscription_(host_.hooks().Advise(sink_)) {}

ContractFloorRig::ContractFloorRig(Decision eats) : sink_(eats, boxes_) {
    std::u16string definition;
    for (const auto piece : kViewDefinitionPieces) definition += piece;
    const auto view = host_.loader().LoadViewXml(definition);
    for (size_t i = 0; i < kSwitches.size(); ++i) {
        const auto box = host_.CheckBox(kSwitches[i].control);
        if (!view || !box) throw std::runtime_error("the panel has no check box for a switch");
        box->SetChecked(kHostTrue);
        boxes_[i] = box;
    }
    subscription_ = host_.hooks().Advise(sink_);
}

}  // namespace murl::testing_support
