#pragma once
// The plug-in reached through COM (Windows only): murl.dll's clsMurl, created by its
// programmatic identifier "murl.clsMurl" after registration, or straight from the
// DllGetClassObject of a named DLL, and driven through IPlugin2. The simulated host's objects
// are handed to it as COM host objects with connection points; a failure the plug-in hands
// back (an HRESULT, or DISP_E_EXCEPTION from an event) arrives here as the core's Error.

#include <memory>
#include <string>

#include "sim/plugin_binding.h"

namespace murl::sim {

class ComBinding final : public PluginBinding {
public:
    // `dll` empty: created through the registration. Throws when COM cannot be started or the
    // DLL cannot be loaded.
    explicit ComBinding(const std::u16string& dll);
    ~ComBinding() override;

    void Create() override;
    void Destroy() noexcept override;
    bool Exists() const noexcept override;
    // The folder of the module that serves the class.
    std::u16string ModuleFolder() const override;
    void Initialize(const std::shared_ptr<ISite>& site) override;
    void Terminate() override;

private:
    struct State;
    std::unique_ptr<State> state_;
};

}  // namespace murl::sim
