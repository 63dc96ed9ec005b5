#pragma once
#include <cstdint>
#include <string>

#include "text/text.h"

namespace murl {

struct Version {
    int16_t major = 0, minor = 0, revision = 0;
};

// The release as players see it: file version 1.0.0.15 is release 1.0.15.
inline std::u16string ReleaseText(const Version& v) {
    return DecimalText(v.major) + u'.' + DecimalText(v.minor) + u'.' + DecimalText(v.revision);
}

// What the platform knows of the plug-in's own module.
class AppInfo {
public:
    virtual ~AppInfo() = default;
    virtual std::u16string ModuleFolder() = 0;  // folder holding the module, no trailing separator
    virtual std::u16string ModuleName() = 0;    // file name without extension ("murl")
    virtual Version GetVersion() = 0;
};

}  // namespace murl
