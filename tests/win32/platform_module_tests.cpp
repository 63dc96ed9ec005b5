// The module information port, from the module itself.

#include "platform_test_support.h"

#include "murl_version.h"
#include "platform/win32/win32_platform.h"

TEST_CASE(module_information_from_the_module_itself) {
    murl::Win32AppInfo app;
    wchar_t path[MAX_PATH];
    const DWORD got = GetModuleFileNameW(nullptr, path, MAX_PATH);
    std::wstring folder(path, got);
    folder.resize(folder.find_last_of(L'\\'));
    CHECK_EQ(Wide(app.ModuleFolder()), folder);
    CHECK_EQ(Narrow(app.ModuleName()), std::string("platform_tests"));
    // This program has no version resource: the project's numbers.
    const murl::Version v = app.GetVersion();
    CHECK_EQ(v.major, MURL_VERSION_MAJOR);
    CHECK_EQ(v.minor, MURL_VERSION_MINOR);
    CHECK_EQ(v.revision, MURL_VERSION_REVISION);
    murl::Win32AppInfo given(u"C:\\elsewhere");
    CHECK_EQ(Narrow(given.ModuleFolder()), std::string("C:\\elsewhere"));
}
