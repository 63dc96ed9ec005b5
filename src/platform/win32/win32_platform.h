#pragma once
// Every Win32 port, ready to hand to the core as a Platform.

#include <optional>
#include <string>

#include "platform/platform.h"
#include "platform/win32/registry_settings_store.h"
#include "platform/win32/win32_app_info.h"
#include "platform/win32/win32_clock.h"
#include "platform/win32/win32_file_system.h"
#include "platform/win32/win32_message_box.h"

namespace murl {

struct Win32Platform {
    explicit Win32Platform(std::optional<std::u16string> module_folder = std::nullopt) noexcept
        : app(std::move(module_folder)) {}
    Win32Platform(const Win32Platform&) = delete;
    Win32Platform& operator=(const Win32Platform&) = delete;

    Platform MakePlatform() { return Platform{files, clock, message_box, app, settings, u'\\'}; }

    Win32FileSystemFactory files;
    Win32Clock clock;
    Win32MessageBox message_box;
    Win32AppInfo app;
    RegistrySettingsStore settings;
};

}  // namespace murl
