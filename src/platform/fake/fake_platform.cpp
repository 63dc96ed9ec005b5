#include "platform/fake/fake_platform.h"

namespace murl {

FakePlatform::FakePlatform(char16_t separator)
    : path_separator(separator), app(separator == u'/' ? u"/plugins/murl" : u"C:\\Plugins\\Murl") {
    files.AddFolder(app.folder);
}

Platform FakePlatform::MakePlatform(SettingsStore& settings) {
    return Platform{files, clock, message_box, app, settings, path_separator};
}

}  // namespace murl
