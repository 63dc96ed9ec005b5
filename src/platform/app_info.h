#pragma once
#include <cstdint>
#include <string>

namespace murl {

struct Version {
    int16_t major = 0, minor = 0, revision = 0;
};

// What the platform knows of the plug-in's own module.
class AppInfo {
public:
    virtual ~AppInfo() = default;
    virtual std::u16string ModuleFolder() = 0;  // folder holding the module, no trailing separator
    virtual std::u16string ModuleName() = 0;    // file name without extension ("murl")
    virtual Version GetVersion() = 0;
};

}  // namespace murl
