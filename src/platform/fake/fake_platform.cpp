#include "platform/fake/fake_platform.h"

#include <type_traits>

namespace murl {

FakePlatform::FakePlatform(char16_t separator)
    : path_separator(separator), app(separator == u'/' ? u"/plugins/murl" : u"C:\\Plugins\\Murl") {
    files.AddFolder(app.folder);
}

Platform FakePlatform::MakePlatform(SettingsStore& settings) {
    return Platform{files, clock, message_box, app, settings, path_separator};
}

void FakePlatform::fail_at(Call operation, const Error& error) {
    std::visit(
        [&](auto call) {
            if constexpr (std::is_same_v<decltype(call), FileCall>) files.fail_at(call, error);
            if constexpr (std::is_same_v<decltype(call), ClockCall>) clock.fail_at(call, error);
            if constexpr (std::is_same_v<decltype(call), BoxCall>) message_box.fail_at(call, error);
            if constexpr (std::is_same_v<decltype(call), AppCall>) app.fail_at(call, error);
        },
        operation);
}

}  // namespace murl
