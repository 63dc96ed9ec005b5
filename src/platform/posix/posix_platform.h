#pragma once
// Every POSIX port but the settings store, ready to hand to the core as a Platform.

#include <string>

#include "platform/platform.h"
#include "platform/posix/posix_app_info.h"
#include "platform/posix/posix_clock.h"
#include "platform/posix/posix_file_system.h"
#include "platform/posix/posix_message_box.h"

namespace murl {

struct PosixPlatform {
    explicit PosixPlatform(std::u16string module_folder) : app(std::move(module_folder)) {}
    PosixPlatform(const PosixPlatform&) = delete;
    PosixPlatform& operator=(const PosixPlatform&) = delete;

    // A Platform over these ports and `settings`; valid while both live.
    Platform MakePlatform(SettingsStore& settings) {
        return Platform{files, clock, message_box, app, settings, u'/'};
    }

    PosixFileSystemFactory files;
    PosixClock clock;
    PosixMessageBox message_box;
    PosixAppInfo app;
};

}  // namespace murl
