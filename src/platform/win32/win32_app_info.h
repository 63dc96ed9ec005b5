#pragma once
#include <optional>
#include <string>

#include "platform/app_info.h"

namespace murl {

// The module that holds this code (murl.dll, or the program it is linked into): its folder and
// name from its own path, its version from its own version resource.
class Win32AppInfo : public AppInfo {
public:
    // `folder` stands in for the module's folder when given.
    explicit Win32AppInfo(std::optional<std::u16string> folder = std::nullopt) noexcept;
    std::u16string ModuleFolder() override;
    std::u16string ModuleName() override;
    Version GetVersion() override;

private:
    std::optional<std::u16string> folder_;
};

}  // namespace murl
