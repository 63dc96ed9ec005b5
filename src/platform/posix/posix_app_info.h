#pragma once
#include <string>

#include "platform/app_info.h"

namespace murl {

// The module's folder is given by whoever loads the core; its name is "murl" and its version
// the project's.
class PosixAppInfo : public AppInfo {
public:
    explicit PosixAppInfo(std::u16string module_folder, std::u16string module_name = u"murl");
    std::u16string ModuleFolder() override { return folder_; }
    std::u16string ModuleName() override { return name_; }
    Version GetVersion() override;

private:
    std::u16string folder_;
    std::u16string name_;
};

}  // namespace murl
