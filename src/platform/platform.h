#pragma once
// Everything of the platform that the core may use, handed to it at construction.
// The ports are owned elsewhere and outlive every object of the core that holds this.

#include <string>
#include <string_view>

#include "platform/app_info.h"
#include "platform/clock.h"
#include "platform/file_system.h"
#include "platform/message_box.h"
#include "platform/settings_store.h"

namespace murl {

struct Platform {
    FileSystemFactory& files;
    Clock& clock;
    MessageBox& message_box;
    AppInfo& app;
    SettingsStore& settings;
    char16_t path_separator;  // '/' on POSIX, '\\' on Windows

    // `folder` joined with `name` by the platform's separator.
    std::u16string JoinPath(std::u16string_view folder, std::u16string_view name) const {
        std::u16string path(folder);
        if (!path.empty() && path.back() != path_separator) path += path_separator;
        path += name;
        return path;
    }
};

}  // namespace murl
