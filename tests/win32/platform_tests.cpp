// The Win32 ports against the real API: registry settings, files, module information.

#include <filesystem>
#include <fstream>
#include <functional>
#include <cstring>
#include <iterator>
#include <string>

#include "check.h"
#include "host/error.h"
#include "murl_version.h"
#include "platform/win32/win32_platform.h"
#include "platform/win32/windows_headers.h"

namespace {

constexpr wchar_t kVbRoot[] = L"Software\\VB and VBA Program Settings";

std::wstring Wide(std::u16string_view text) {
    return std::wstring(text.begin(), text.end());
}

std::string Narrow(std::u16string_view text) {
    return std::string(text.begin(), text.end());
}

// A fresh folder for one case.
std::u16string TempFolder(const char* name) {
    wchar_t temp[MAX_PATH];
    GetTempPathW(MAX_PATH, temp);
    std::wstring folder = std::wstring(temp) + L"murl-platform-" +
                          std::to_wstring(GetCurrentProcessId()) + L"-" +
                          std::wstring(name, name + strlen(name));
    CreateDirectoryW(folder.c_str(), nullptr);
    return std::u16string(folder.begin(), folder.end());
}

std::string FileBytes(const std::u16string& path) {
    std::ifstream in(std::filesystem::path(Wide(path)), std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

// The error number `action` fails with, or 0.
template <class Action>
int32_t ErrorOf(Action&& action) {
    try {
        action();
    } catch (const murl::Error& e) {
        return e.number();
    }
    return 0;
}

}  // namespace

TEST_CASE(settings_live_where_getsetting_keeps_them) {
    murl::RegistrySettingsStore store;
    RegDeleteTreeW(HKEY_CURRENT_USER, (std::wstring(kVbRoot) + L"\\MurlPlatformTest").c_str());
    struct Row {
        const char* name;
        std::u16string section, key, value;
        const wchar_t* key_path;
    } rows[] = {
        {"plain", u"Settings", u"Evades", u"-1", L"\\MurlPlatformTest\\Settings"},
        {"empty section", u"", u"Evades", u"12", L"\\MurlPlatformTest"},
        {"character key", u"Alice-Server", u"ResistCount", u"2147483647",
         L"\\MurlPlatformTest\\Alice-Server"},
        {"empty value", u"Settings", u"Blank", u"", L"\\MurlPlatformTest\\Settings"},
        {"non-Latin text", u"\u0416\u00e9", u"\u20ac", u"\u4e2d\u6587",
         L"\\MurlPlatformTest\\\u0416\u00e9"},
    };
    for (const Row& row : rows) {
        TRACE(row.name);
        CHECK_EQ(store.GetSetting(u"MurlPlatformTest", row.section, row.key, u"fallback"),
                 std::u16string(u"fallback"));
        store.SaveSetting(u"MurlPlatformTest", row.section, row.key, row.value);
        CHECK_EQ(store.GetSetting(u"MurlPlatformTest", row.section, row.key, u"fallback"),
                 row.value);
        wchar_t data[256] = {};
        DWORD size = sizeof data;
        const std::wstring key = std::wstring(kVbRoot) + row.key_path;
        CHECK_EQ(RegGetValueW(HKEY_CURRENT_USER, key.c_str(), Wide(row.key).c_str(), RRF_RT_REG_SZ,
                              nullptr, data, &size),
                 ERROR_SUCCESS);
        CHECK_EQ(std::wstring(data), Wide(row.value));
    }
    // A value another program wrote through the same functions reads as it is.
    const std::wstring other = std::wstring(kVbRoot) + L"\\MurlPlatformTest\\Other";
    const wchar_t written[] = L"written elsewhere";
    CHECK_EQ(
        RegSetKeyValueW(HKEY_CURRENT_USER, other.c_str(), L"Key", REG_SZ, written, sizeof written),
        ERROR_SUCCESS);
    CHECK_EQ(store.GetSetting(u"MurlPlatformTest", u"Other", u"Key", u""),
             std::u16string(u"written elsewhere"));
    store.SaveSetting(u"MurlPlatformTest", u"Other", u"Key", u"replaced");
    CHECK_EQ(store.GetSetting(u"MurlPlatformTest", u"Other", u"Key", u""),
             std::u16string(u"replaced"));
    RegDeleteTreeW(HKEY_CURRENT_USER, (std::wstring(kVbRoot) + L"\\MurlPlatformTest").c_str());
}

TEST_CASE(files_write_windows_1252_lines) {
    murl::Win32FileSystemFactory factory;
    auto fs = factory.Create();
    const std::u16string folder = TempFolder("text");
    const std::u16string file = folder + u"\\log.txt";
    CHECK(!fs->FileExists(file));
    fs->CreateTextFile(file);
    CHECK(fs->FileExists(file));
    CHECK(fs->FolderExists(folder));
    CHECK(!fs->FolderExists(file));
    auto stream = fs->OpenTextFile(file, murl::kForAppending);
    stream->WriteBlankLines(2);
    stream->WriteLine(u"caf\u00e9 \u20ac \u4e2d");
    stream->Close();
    stream = fs->OpenTextFile(file, murl::kForAppending);
    stream->WriteLine(u"second");
    stream.reset();
    CHECK_EQ(FileBytes(file), std::string("\r\n\r\ncaf\xE9 \x80 ?\r\nsecond\r\n"));
}

TEST_CASE(files_refuse_with_the_platforms_numbers) {
    murl::Win32FileSystemFactory factory;
    auto fs = factory.Create();
    const std::u16string folder = TempFolder("errors");
    const std::u16string source = folder + u"\\source.txt";
    const std::u16string locked = folder + u"\\locked.txt";
    fs->CreateTextFile(source);
    fs->CreateTextFile(locked);
    fs->GetFile(locked)->SetAttributes(murl::kAttrReadOnly | murl::kAttrArchive);
    const DWORD attributes = GetFileAttributesW(Wide(locked).c_str());
    CHECK((attributes & FILE_ATTRIBUTE_READONLY) != 0);
    CHECK((attributes & FILE_ATTRIBUTE_ARCHIVE) != 0);

    struct Row {
        const char* name;
        std::function<void()> action;
        int32_t number;
    } rows[] = {
        {"append to a read-only file", [&] { fs->OpenTextFile(locked, murl::kForAppending); }, 70},
        {"create over a read-only file", [&] { fs->CreateTextFile(locked); }, 70},
        {"copy over a read-only file", [&] { fs->CopyFile(source, locked, true); }, 70},
        {"copy over without overwrite", [&] { fs->CopyFile(source, locked, false); }, 58},
        {"append to a missing file",
         [&] { fs->OpenTextFile(folder + u"\\none.txt", murl::kForAppending); }, 53},
        {"append in a missing folder",
         [&] { fs->OpenTextFile(folder + u"\\none\\x.txt", murl::kForAppending); }, 76},
        {"copy from a missing file",
         [&] { fs->CopyFile(folder + u"\\none.txt", folder + u"\\y.txt", true); }, 53},
        {"copy into a missing folder",
         [&] { fs->CopyFile(source, folder + u"\\none\\y.txt", true); }, 76},
        {"attributes of a missing file", [&] { fs->GetFile(folder + u"\\none.txt"); }, 53},
        {"create an existing folder", [&] { fs->CreateFolder(folder); }, 58},
        {"copy onto itself, plain", [&] { fs->CopyFile(source, folder + u"\\copy.txt", true); }, 0},
    };
    for (const Row& row : rows) {
        TRACE(row.name);
        CHECK_EQ(ErrorOf(row.action), row.number);
    }
    // The refused file is as it was.
    CHECK_EQ(FileBytes(locked), std::string());
    fs->GetFile(locked)->SetAttributes(0);
    CHECK_EQ(ErrorOf([&] { fs->CopyFile(source, locked, true); }), 0);
}

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

TEST_CASE(files_are_the_same_however_spelt) {
    murl::Win32FileSystemFactory factory;
    auto fs = factory.Create();
    const std::u16string folder = TempFolder("same");
    const std::u16string log = folder + u"\\murl_err.log";
    const std::u16string other = folder + u"\\other.log";
    const std::u16string link = folder + u"\\link.log";
    fs->CreateTextFile(log);
    fs->CreateTextFile(other);
    DeleteFileW(Wide(link).c_str());
    CHECK(CreateHardLinkW(Wide(link).c_str(), Wide(log).c_str(), nullptr));
    struct Row {
        const char* name;
        std::u16string path;
        bool same;
    } rows[] = {
        {"the same path", log, true},
        {"through a dot folder", folder + u"\\.\\murl_err.log", true},
        {"in other letter case", folder + u"\\MURL_ERR.LOG", true},
        {"a hard link", link, true},
        {"another file", other, false},
        {"a missing file", folder + u"\\none.log", false},
        {"the folder", folder, false},
    };
    for (const Row& row : rows) {
        TRACE(row.name);
        CHECK_EQ(fs->SameFile(log, row.path), row.same);
        CHECK_EQ(fs->SameFile(row.path, log), row.same);
    }
}
