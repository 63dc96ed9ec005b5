#pragma once
// Module information with settable values. Each getter can be told to fail under its own name.

#include <string>

#include "platform/app_info.h"
#include "platform/fake/fail_plan.h"
#include "murl_version.h"

namespace murl {

enum class AppCall { ModuleFolder, ModuleName, GetVersion };

class FakeAppInfo : public AppInfo, public FailPlan<AppCall> {
public:
    FakeAppInfo(std::u16string module_folder, std::u16string module_name = u"murl",
                Version module_version = {MURL_VERSION_MAJOR, MURL_VERSION_MINOR,
                                          MURL_VERSION_REVISION})
        : folder(std::move(module_folder)), name(std::move(module_name)), version(module_version) {}

    std::u16string ModuleFolder() override {
        CountOrFail(AppCall::ModuleFolder);
        return folder;
    }
    std::u16string ModuleName() override {
        CountOrFail(AppCall::ModuleName);
        return name;
    }
    Version GetVersion() override {
        CountOrFail(AppCall::GetVersion);
        return version;
    }

    std::u16string folder;
    std::u16string name;
    Version version;
};

}  // namespace murl
