#pragma once
// Every fake port but the settings store, ready to hand to the core as a Platform.
// The module folder exists in the fake file system from the start.

#include "platform/fake/fake_app_info.h"
#include "platform/fake/fake_clock.h"
#include "platform/fake/fake_file_system.h"
#include "platform/fake/fake_message_box.h"
#include <variant>

#include "platform/platform.h"

namespace murl {

struct FakePlatform {
    // '\\' gives the module folder "C:\Plugins\Murl", '/' gives "/plugins/murl".
    explicit FakePlatform(char16_t separator = u'\\');
    FakePlatform(const FakePlatform&) = delete;
    FakePlatform& operator=(const FakePlatform&) = delete;

    // A Platform over these fakes; valid as long as this object lives.
    Platform MakePlatform(SettingsStore& settings);

    // The next call of `operation` on the fake that has it throws `error`, once.
    using Call = std::variant<FileCall, ClockCall, BoxCall, AppCall>;
    void fail_at(Call operation, const Error& error);

    char16_t path_separator;
    FakeFileSystem files;
    FakeClock clock;
    FakeMessageBox message_box;
    FakeAppInfo app;
};

}  // namespace murl
