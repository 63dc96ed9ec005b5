#pragma once
// How the simulator reaches the plug-in: the core linked in, or a component created through
// the platform's object runtime. The runner drives either through this interface; a failure
// that the plug-in hands back to the host arrives as an exception.

#include <memory>
#include <string>

#include "host/host.h"

namespace murl::sim {

class PluginBinding {
public:
    virtual ~PluginBinding() = default;

    // Creates a new plug-in object, releasing the previous one first if there is one.
    virtual void Create() = 0;
    // Releases the host's reference to the plug-in object; none of its routines runs.
    virtual void Destroy() noexcept = 0;
    virtual bool Exists() const noexcept = 0;
    // The folder of the plug-in's module, which holds its error log.
    virtual std::u16string ModuleFolder() const = 0;

    // IPlugin2. Both require an object.
    virtual void Initialize(const std::shared_ptr<ISite>& site) = 0;
    virtual void Terminate() = 0;
};

}  // namespace murl::sim
