#pragma once
// The plug-in core linked into the simulator: a clsMurl constructed in-process.

#include <memory>

#include "platform/platform.h"
#include "sim/plugin_binding.h"

namespace murl {
class clsMurl;
}

namespace murl::sim {

class BuiltinBinding final : public PluginBinding {
public:
    // The ports in `platform` must outlive this binding.
    explicit BuiltinBinding(const Platform& platform);
    ~BuiltinBinding() override;

    void Create() override;
    void Destroy() noexcept override;
    bool Exists() const noexcept override { return plugin_ != nullptr; }
    std::u16string ModuleFolder() const override { return platform_.app.ModuleFolder(); }
    void Initialize(const std::shared_ptr<ISite>& site) override;
    void Terminate() override;

    // The object itself, for tests and tools that look inside; null when there is none.
    clsMurl* plugin() const noexcept { return plugin_.get(); }

private:
    Platform platform_;
    std::unique_ptr<clsMurl> plugin_;
};

}  // namespace murl::sim
