#pragma once
#include <optional>
#include <string>

#include "platform/app_info.h"
#include "platform/win32/windows_headers.h"

namespace murl {

namespace win32 {

// The full path of `module`; empty when the system cannot tell it, with its reason in `*reason`
// when given.
std::wstring ModulePath(HMODULE module, DWORD* reason = nullptr);

}  // namespace win32

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
