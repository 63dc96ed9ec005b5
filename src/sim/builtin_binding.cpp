#include "sim/builtin_binding.h"

#include "plugin/cls_murl.h"

namespace murl::sim {

BuiltinBinding::BuiltinBinding(const Platform& platform) : platform_(platform) {}

BuiltinBinding::~BuiltinBinding() = default;

void BuiltinBinding::Create() {
    plugin_.reset();
    plugin_ = std::make_unique<clsMurl>(platform_);
}

void BuiltinBinding::Destroy() noexcept {
    plugin_.reset();
}

void BuiltinBinding::Initialize(const std::shared_ptr<ISite>& site) {
    if (plugin_) plugin_->IPlugin2_Initialize(site);
}

void BuiltinBinding::Terminate() {
    if (plugin_) plugin_->IPlugin2_Terminate();
}

}  // namespace murl::sim
