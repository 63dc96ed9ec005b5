// The Win32 ports against the real API: registry settings, files, module information.

#include "platform/win32/windows_headers.h"

#include <algorithm>
#include <climits>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <functional>
#include <iterator>
#include <map>
#include <string>
#include <utility>
#include <vector>

#include "check.h"
#include "file_system_cases.h"
#include "host/error.h"
#include "host/text.h"
#include "log/cls_log.h"
#include "murl_version.h"
#include "platform/win32/append_lock.h"
#include "platform/win32/system_calls.h"
#include "platform/win32/trace_file.h"
#include "platform/win32/win32_platform.h"

namespace {

constexpr wchar_t kVbRoot[] = L"Software\\VB and VBA Program Settings";

std::wstring Wide(std::u16string_view text) {
    return std::wstring(text.begin(), text.end());
}

std::string Narrow(std::u16string_view text) {
    return std::string(text.begin(), text.end());
}

// Removes `folder` ("\\?\" form) and all it holds, read-only files included.
void RemoveTree(const std::wstring& folder) {
    WIN32_FIND_DATAW found;
    HANDLE search = FindFirstFileW((folder + L"\\*").c_str(), &found);
    if (search != INVALID_HANDLE_VALUE) {
        do {
            const std::wstring name = found.cFileName;
            if (name == L"." || name == L"..") continue;
            const std::wstring path = folder + L"\\" + name;
            if (found.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) {
                RemoveTree(path);
            } else {
                SetFileAttributesW(path.c_str(), FILE_ATTRIBUTE_NORMAL);
                DeleteFileW(path.c_str());
            }
        } while (FindNextFileW(search, &found));
        FindClose(search);
    }
    RemoveDirectoryW(folder.c_str());
}

// A fresh folder for one case. Wine reuses process ids, so what an earlier run left goes.
std::u16string TempFolder(const char* name) {
    wchar_t temp[MAX_PATH];
    GetTempPathW(MAX_PATH, temp);
    std::wstring folder = std::wstring(temp) + L"murl-platform-" +
                          std::to_wstring(GetCurrentProcessId()) + L"-" +
                          std::wstring(name, name + strlen(name));
    RemoveTree(L"\\\\?\\" + folder);
    CreateDirectoryW(folder.c_str(), nullptr);
    return std::u16string(folder.begin(), folder.end());
}

std::string FileBytes(const std::u16string& path) {
    std::ifstream in(std::filesystem::path(Wide(path)), std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

// Creates the empty file `name` in `folder` through `fs`; returns its path.
std::u16string NewFile(murl::FileSystem& fs, const std::u16string& folder, const char16_t* name) {
    const std::u16string path = folder + u"\\" + name;
    fs.CreateTextFile(path, true);
    return path;
}

// The error `action` fails with; number 0 when it does not.
template <class Action>
murl::Error FailureOf(Action&& action) {
    try {
        action();
    } catch (const murl::Error& e) {
        return e;
    }
    return murl::Error(0, u"");
}

template <class Action>
int32_t ErrorOf(Action&& action) {
    return FailureOf(action).number();
}

// `base` made `length` characters long with nested folders, each created; folders of any
// length are made through the "\\?\" form.
std::u16string NestedFolder(std::u16string folder, size_t length) {
    while (folder.size() < length) {
        size_t part = std::min<size_t>(length - folder.size(), 120);
        if (length - folder.size() - part == 1) --part;  // leave room for "\x"
        folder += u'\\';
        folder.append(part - 1, static_cast<char16_t>(u'a' + folder.size() % 26));
        CreateDirectoryW((L"\\\\?\\" + Wide(folder)).c_str(), nullptr);
    }
    return folder;
}

// What a folder holds, by name.
std::vector<std::wstring> Listing(const std::u16string& folder) {
    std::vector<std::wstring> names;
    WIN32_FIND_DATAW found;
    HANDLE search = FindFirstFileW((L"\\\\?\\" + Wide(folder) + L"\\*").c_str(), &found);
    if (search == INVALID_HANDLE_VALUE) return names;
    do {
        const std::wstring name = found.cFileName;
        if (name != L"." && name != L"..") names.push_back(name);
    } while (FindNextFileW(search, &found));
    FindClose(search);
    return names;
}

// `path` held open by another program, with its access and sharing, while this lives.
class Held {
public:
    Held(const std::u16string& path, DWORD access, DWORD share)
        : handle_(
              CreateFileW(Wide(path).c_str(), access, share, nullptr, OPEN_EXISTING, 0, nullptr)) {
        CHECK(handle_ != INVALID_HANDLE_VALUE);
    }
    ~Held() {
        if (handle_ != INVALID_HANDLE_VALUE) CloseHandle(handle_);
    }
    Held(const Held&) = delete;
    Held& operator=(const Held&) = delete;

private:
    HANDLE handle_;
};

// The temporary files of a copy left in `folder`.
std::vector<std::wstring> CopyLeftovers(const std::u16string& folder) {
    std::vector<std::wstring> left;
    for (const std::wstring& name : Listing(folder)) {
        if (name.rfind(L"~murl", 0) == 0) left.push_back(name);
    }
    return left;
}

std::u16string LongPath(const std::u16string& path) {
    return u"\\\\?\\" + path;
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
    const auto fs = murl::Win32FileSystemFactory().Create();
    const std::u16string folder = TempFolder("text");
    const std::u16string file = folder + u"\\log.txt";
    CHECK(!fs->FileExists(file));
    fs->CreateTextFile(file, true);
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
    const auto fs = murl::Win32FileSystemFactory().Create();
    const std::u16string folder = TempFolder("errors");
    const std::u16string source = NewFile(*fs, folder, u"source.txt");
    const std::u16string locked = NewFile(*fs, folder, u"locked.txt");
    const std::u16string in_use = NewFile(*fs, folder, u"in-use.txt");
    fs->OpenTextFile(source, murl::kForAppending)->WriteLine(u"new");
    fs->OpenTextFile(in_use, murl::kForAppending)->WriteLine(u"old");
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
        {"create over a read-only file", [&] { fs->CreateTextFile(locked, true); }, 70},
        {"copy over a read-only file", [&] { fs->CopyFile(source, locked, true); }, 70},
        {"copy over without overwrite", [&] { fs->CopyFile(source, locked, false); }, 58},
        {"create over without overwrite", [&] { fs->CreateTextFile(in_use, false); }, 58},
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
        // Copies that fail half-way: reading the source, or replacing the target.
        {"copy from a file held without sharing",
         [&] {
             Held held(source, GENERIC_READ, 0);
             fs->CopyFile(source, folder + u"\\z.txt", true);
         },
         70},
        {"copy over a file held with read sharing",
         [&] {
             Held held(in_use, GENERIC_READ, FILE_SHARE_READ);
             fs->CopyFile(source, in_use, true);
         },
         70},
    };
    for (const Row& row : rows) {
        TRACE(row.name);
        CHECK_EQ(ErrorOf(row.action), row.number);
        CHECK_EQ(CopyLeftovers(folder).size(), size_t{0});
    }
    // The refused files are as they were.
    CHECK_EQ(FileBytes(locked), std::string());
    CHECK_EQ(FileBytes(in_use), std::string("old\r\n"));
    CHECK(!fs->FileExists(folder + u"\\z.txt"));
    fs->GetFile(locked)->SetAttributes(0);
    CHECK_EQ(ErrorOf([&] { fs->CopyFile(source, locked, true); }), 0);
}

namespace {

// Gives the file at `path` these bytes, through the API as another program would.
void Replace(const std::u16string& path, const std::string& bytes) {
    HANDLE file = CreateFileW(Wide(path).c_str(), GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE,
                              nullptr, OPEN_ALWAYS, 0, nullptr);
    REQUIRE(file != INVALID_HANDLE_VALUE);
    DWORD written = 0;
    CHECK(WriteFile(file, bytes.data(), static_cast<DWORD>(bytes.size()), &written, nullptr));
    CHECK(SetEndOfFile(file));
    CloseHandle(file);
}

using murl::win32::system_calls;
using StandIns = murl::StandIns<murl::win32::SystemCalls>;

}  // namespace

// The refusals that every port gives, the fake included, with either separator.
TEST_CASE(files_refuse_as_every_port_does) {
    const auto fs = murl::Win32FileSystemFactory().Create();
    const std::u16string folder = TempFolder("shared");
    for (const murl::file_cases::LaidOutFile& file : murl::file_cases::kFiles) {
        const std::u16string path = folder + u"\\" + murl::ToUtf16(file.name);
        Replace(path, file.bytes);
        if (file.read_only) SetFileAttributesW(Wide(path).c_str(), FILE_ATTRIBUTE_READONLY);
    }
    CreateDirectoryW(Wide(folder + u"\\" + murl::ToUtf16(murl::file_cases::kFolder)).c_str(),
                     nullptr);
    const std::vector<std::wstring> before = Listing(folder);
    for (const char separator : {'\\', '/'}) {
        const murl::file_cases::Namer p = [&](std::string name) {
            std::replace(name.begin(), name.end(), '/', separator);
            return folder + u"\\" + murl::ToUtf16(name);
        };
        for (const murl::file_cases::Refusal& refusal : murl::file_cases::Refusals()) {
            TRACE(std::string(refusal.name) + ", separator " + separator);
            CHECK_EQ(ErrorOf([&] { refusal.call(*fs, p); }), refusal.number);
        }
    }
    CHECK(Listing(folder) == before);
    for (const murl::file_cases::LaidOutFile& file : murl::file_cases::kFiles) {
        TRACE(file.name);
        CHECK_EQ(FileBytes(folder + u"\\" + murl::ToUtf16(file.name)), std::string(file.bytes));
    }
}

namespace {

// The shared cut-back cases on disk: writes fail through the port's table of calls.
class Win32CutBackRig : public murl::file_cases::CutBackRig {
public:
    explicit Win32CutBackRig(std::u16string path) : path_(std::move(path)) {}

    void LimitAppends(size_t bytes) override {
        room = bytes;
        stand_ins_->WriteFile = LimitedWrite;
    }
    void Replace(const std::string& bytes) override { ::Replace(path_, bytes); }

private:
    static BOOL WINAPI LimitedWrite(HANDLE file, LPCVOID bytes, DWORD size, LPDWORD written,
                                    LPOVERLAPPED at) {
        if (room == 0) {
            SetLastError(ERROR_DISK_FULL);
            return FALSE;
        }
        const DWORD fits = static_cast<DWORD>(std::min<size_t>(size, room));
        const BOOL done = system_calls.real().WriteFile(file, bytes, fits, written, at);
        if (done) room -= *written;
        return done;
    }

    static inline size_t room = 0;
    std::u16string path_;
    StandIns stand_ins_{system_calls};
};

}  // namespace

TEST_CASE(files_cut_back_as_every_port_does) {
    const auto fs = murl::Win32FileSystemFactory().Create();
    const std::u16string path = TempFolder("cut-back") + u"\\log.txt";
    for (const murl::file_cases::CutBack& c : murl::file_cases::CutBacks()) {
        TRACE(c.name);
        Replace(path, murl::file_cases::kBeforeCutBack);
        auto stream = fs->OpenTextFile(path, murl::kForAppending);
        {
            Win32CutBackRig rig(path);
            CHECK_EQ(murl::file_cases::RunCutBack(c, *stream, rig), murl::err::kDiskFull);
        }
        stream->Close();
        CHECK_EQ(FileBytes(path), c.after);
    }
}

namespace {

std::wstring raced_path;

// Another game client creates the log, and writes its entry, between this client's look for
// the log and its creation of it.
HANDLE WINAPI OtherClientCreatesFirst(LPCWSTR path, DWORD access, DWORD share,
                                      LPSECURITY_ATTRIBUTES security, DWORD disposition,
                                      DWORD flags, HANDLE model) {
    if (disposition != OPEN_EXISTING && path == raced_path) {
        HANDLE other = system_calls.real().CreateFileW(path, FILE_APPEND_DATA,
                                                       FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                                                       OPEN_ALWAYS, 0, nullptr);
        constexpr char kOthers[] = "other client\r\n";
        DWORD written = 0;
        WriteFile(other, kOthers, sizeof kOthers - 1, &written, nullptr);
        CloseHandle(other);
    }
    return system_calls.real().CreateFileW(path, access, share, security, disposition, flags,
                                           model);
}

}  // namespace

// Creating the log never empties a log that another client has just created.
TEST_CASE(files_created_meanwhile_by_another_client_are_kept) {
    const std::u16string log_path = TempFolder("raced") + u"\\murl_err.log";
    raced_path = Wide(log_path);
    StandIns stand_ins(system_calls);
    stand_ins->CreateFileW = OtherClientCreatesFirst;
    murl::Win32Platform ports;
    murl::clsLog log(ports.MakePlatform());
    log.File(log_path);
    log.Output(u"this client", 0);
    CHECK_EQ(FileBytes(log_path), std::string("other client\r\nthis client\r\n"));
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

TEST_CASE(files_name_what_is_not_a_file) {
    const auto fs = murl::Win32FileSystemFactory().Create();
    const std::u16string folder = TempFolder("kinds");
    const std::u16string file = folder + u"\\file.txt";
    fs->CreateTextFile(file, true);
    struct Row {
        const char* name;
        std::function<void()> action;
        std::u16string description;
    } rows[] = {
        {"create over a folder", [&] { fs->CreateTextFile(folder, true); },
         u"Path/File access error: \"" + folder + u"\" is a folder"},
        {"append to a folder", [&] { fs->OpenTextFile(folder, murl::kForAppending); },
         u"Path/File access error: \"" + folder + u"\" is a folder"},
        {"copy onto a folder", [&] { fs->CopyFile(file, folder, true); },
         u"Path/File access error: \"" + folder + u"\" is a folder"},
        {"create the device NUL", [&] { fs->CreateTextFile(u"\\\\.\\NUL", true); },
         u"Path/File access error: \"\\\\.\\NUL\" is a device"},
        {"append to NUL in a folder",
         [&] { fs->OpenTextFile(folder + u"\\NUL", murl::kForAppending); },
         u"Path/File access error: \"" + folder + u"\\NUL\" is a device"},
        {"create CON", [&] { fs->CreateTextFile(u"CON", true); },
         u"Path/File access error: \"CON\" is a device"},
        {"create a file in a device",
         [&] { fs->CreateTextFile(u"\\\\.\\NUL\\murl_err.log", true); },
         u"Path/File access error: \"\\\\.\\NUL\" is a device"},
        {"copy into a device", [&] { fs->CopyFile(file, u"\\\\.\\NUL\\a.log", true); },
         u"Path/File access error: \"\\\\.\\NUL\" is a device"},
    };
    for (const Row& row : rows) {
        TRACE(row.name);
        const murl::Error e = FailureOf(row.action);
        CHECK_EQ(e.number(), 75);
        CHECK_EQ(e.description(), row.description);
    }
    CHECK(!fs->FileExists(folder + u"\\NUL"));
    CHECK(!fs->FileExists(u"\\\\.\\NUL"));
    CHECK(!fs->FolderExists(u"\\\\.\\NUL"));

    // The log as a folder or a device fails with that description and switches itself off.
    murl::Win32Platform ports;
    const murl::Platform platform = ports.MakePlatform();
    for (const std::u16string& path : {folder, folder + u"\\nul.txt"}) {
        TRACE(Narrow(path));
        murl::clsLog log(platform);
        log.File(path);
        const murl::Error e = FailureOf([&] { log.Output(u"entry", 0); });
        CHECK_EQ(e.number(), murl::err::kLogOutput);
        CHECK(e.description().find(u"\" is a ") != std::u16string::npos);
        CHECK_EQ(log.Active(), murl::kHostFalse);
    }
}

// The archive is made, read-only, beside nothing else, whatever the length of its folder.
TEST_CASE(archive_lands_read_only_in_folders_of_any_length) {
    murl::Win32Platform ports;
    const murl::Platform platform = ports.MakePlatform();
    const std::u16string base = TempFolder("archive");
    const std::u16string log_path = base + u"\\murl_err.log";
    struct Target {
        std::string name;
        std::u16string folder;
    };
    std::vector<Target> targets;
    for (size_t length = 240; length <= 300; ++length) {
        targets.push_back(
            {std::to_string(length) + " characters",
             NestedFolder(TempFolder(("archive-" + std::to_string(length)).c_str()), length)});
    }
    targets.push_back({"folder of 1100", NestedFolder(TempFolder("archive-1100"), 1100)});
    targets.push_back(
        {"folder of 1100 as \\\\?\\", LongPath(NestedFolder(TempFolder("archive-long"), 1100))});
    for (const Target& target : targets) {
        TRACE(target.name);
        REQUIRE(ports.files.Create()->FolderExists(target.folder));
        const std::u16string archive = target.folder + u"\\a.log";
        murl::clsLog log(platform);
        log.File(log_path);
        log.SeverityLevel(1);  // a failed step leaves its entry
        ports.files.Create()->CreateTextFile(log_path, true);
        log.Output(u"entry", 0);
        log.ArchiveLog(archive);
        CHECK_EQ(FileBytes(log_path), Narrow(archive) + " archived.\r\n");
        const std::u16string seen = archive.rfind(u"\\\\?\\", 0) == 0 ? archive : LongPath(archive);
        CHECK_EQ(FileBytes(seen), std::string("entry\r\n"));
        const DWORD attributes = GetFileAttributesW(Wide(seen).c_str());
        CHECK(attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_READONLY));
        CHECK_EQ(Listing(seen.substr(4, seen.size() - 10)).size(), size_t{1});
    }
}

// Every section is listed, however long its name and however deep its key.
TEST_CASE(settings_list_every_section) {
    murl::RegistrySettingsStore store;
    const std::wstring application = std::wstring(kVbRoot) + L"\\MurlPlatformList";
    RegDeleteTreeW(HKEY_CURRENT_USER, application.c_str());
    const std::u16string long_name(256, u'L');  // Wine's longest key name; Windows stops at 255
    const std::u16string long_value_name(16383, u'v');
    using Entry = murl::RegistrySettingsStore::Entry;
    const std::vector<Entry> saved = {
        {u"", u"Top", u"0"},
        {u"Settings", u"Bots", u"True"},
        {u"a\\b", u"Evades", u"1"},
        {u"a\\b\\c", u"Zero", u"2"},
        {long_name, u"Resists", u"3"},
        {u"z", long_value_name, u"4"},
        {u"\u0416\u00e9", u"\U0001F600", std::u16string(70000, u'x')},
    };
    for (const Entry& e : saved)
        store.SaveSetting(u"MurlPlatformList", e.section, e.key, e.value.text);
    std::vector<Entry> expected = saved;
    std::sort(expected.begin(), expected.end(), [](const Entry& a, const Entry& b) {
        return a.section != b.section ? a.section < b.section : a.key < b.key;
    });
    const std::vector<Entry> listed = store.List(u"MurlPlatformList");
    CHECK_EQ(listed.size(), expected.size());
    for (size_t i = 0; i < std::min(listed.size(), expected.size()); ++i) {
        TRACE(Narrow(expected[i].section.substr(0, 20)) + " / " +
              Narrow(expected[i].key.substr(0, 20)));
        CHECK_EQ(listed[i].section, expected[i].section);
        CHECK_EQ(listed[i].key, expected[i].key);
        CHECK(listed[i].value == expected[i].value);
    }
    CHECK(store.List(u"MurlPlatformNone").empty());
    RegDeleteTreeW(HKEY_CURRENT_USER, application.c_str());
}

// A value of any registry type that a player or a tool stored reads as what it is, in a read
// and in the listing alike; only text reads as text.
TEST_CASE(settings_read_every_registry_type) {
    murl::RegistrySettingsStore store;
    const std::wstring section = std::wstring(kVbRoot) + L"\\MurlPlatformTypes\\Char";
    RegDeleteTreeW(HKEY_CURRENT_USER, (std::wstring(kVbRoot) + L"\\MurlPlatformTypes").c_str());
    using murl::SettingValue;
    const wchar_t text[] = L"12";
    const wchar_t multi[] = L"12\0\0";
    const DWORD dword = 12, big_endian = 0x0C000000;
    const uint64_t qword = 0x100000000ULL;
    const BYTE binary[] = {1, 2};
    const struct Row {
        const char* name;
        DWORD type;
        const void* data;
        DWORD size;
        SettingValue expected;
    } rows[] = {
        {"REG_SZ", REG_SZ, text, sizeof text, u"12"},
        {"REG_EXPAND_SZ", REG_EXPAND_SZ, text, sizeof text,
         SettingValue::Text(u"12", u"REG_EXPAND_SZ")},
        {"REG_DWORD", REG_DWORD, &dword, sizeof dword, SettingValue::Unsigned(12, u"REG_DWORD")},
        {"REG_DWORD_BIG_ENDIAN", REG_DWORD_BIG_ENDIAN, &big_endian, sizeof big_endian,
         SettingValue::Unsigned(12, u"REG_DWORD_BIG_ENDIAN")},
        {"REG_QWORD", REG_QWORD, &qword, sizeof qword,
         SettingValue::Unsigned(0x100000000ULL, u"REG_QWORD")},
        {"REG_DWORD of 2 bytes", REG_DWORD, &dword, 2,
         SettingValue::Unreadable(u"REG_DWORD of 2 bytes")},
        {"REG_BINARY", REG_BINARY, binary, sizeof binary, SettingValue::Unreadable(u"REG_BINARY")},
        {"REG_MULTI_SZ", REG_MULTI_SZ, multi, sizeof multi,
         SettingValue::Unreadable(u"REG_MULTI_SZ")},
        {"REG_NONE", REG_NONE, binary, 0, SettingValue::Unreadable(u"REG_NONE")},
    };
    for (const Row& row : rows) {
        TRACE(row.name);
        CHECK_EQ(RegSetKeyValueW(HKEY_CURRENT_USER, section.c_str(), L"Evades", row.type, row.data,
                                 row.size),
                 ERROR_SUCCESS);
        CHECK(store.ReadSetting(u"MurlPlatformTypes", u"Char", u"Evades") == row.expected);
        const auto listed = store.List(u"MurlPlatformTypes");
        CHECK(listed.size() == 1 && listed[0].value == row.expected);
        bool mismatch = false;
        try {
            store.GetSetting(u"MurlPlatformTypes", u"Char", u"Evades", u"absent");
        } catch (const murl::Error& e) {
            mismatch = e.number() == murl::err::kTypeMismatch;
        }
        CHECK_EQ(mismatch, row.expected.kind != SettingValue::Kind::kText);
    }
    store.SaveNumber(u"MurlPlatformTypes", u"Char", u"Evades", 0xFFFFFFFFULL);
    CHECK(store.ReadSetting(u"MurlPlatformTypes", u"Char", u"Evades") ==
          SettingValue::Unsigned(0xFFFFFFFFULL, u"REG_DWORD"));
    store.SaveNumber(u"MurlPlatformTypes", u"Char", u"Evades", 0x100000000ULL);
    CHECK(store.ReadSetting(u"MurlPlatformTypes", u"Char", u"Evades") ==
          SettingValue::Unsigned(0x100000000ULL, u"REG_QWORD"));
    RegDeleteTreeW(HKEY_CURRENT_USER, (std::wstring(kVbRoot) + L"\\MurlPlatformTypes").c_str());
}

// A name the registry cannot hold keeps error 5 and says why.
TEST_CASE(settings_refuse_names_too_long_for_the_registry) {
    murl::RegistrySettingsStore store;
    struct Row {
        const char* name;
        std::u16string section, key, description;
    } rows[] = {
        {"section of 300", std::u16string(300, u's'), u"Evades",
         u"Invalid procedure call or argument: the settings store refused the section name as too "
         u"long"},
        {"nested part of 300", u"a\\" + std::u16string(300, u's'), u"Evades",
         u"Invalid procedure call or argument: the settings store refused the section name as too "
         u"long"},
        {"key of 16384", u"Settings", std::u16string(16384, u'k'),
         u"Invalid procedure call or argument: the settings store refused the key name as too "
         u"long"},
    };
    for (const Row& row : rows) {
        TRACE(row.name);
        const murl::Error e =
            FailureOf([&] { store.SaveSetting(u"MurlPlatformTest", row.section, row.key, u"1"); });
        CHECK_EQ(e.number(), murl::err::kInvalidCall);
        CHECK_EQ(e.description(), row.description);
    }
    RegDeleteTreeW(HKEY_CURRENT_USER, (std::wstring(kVbRoot) + L"\\MurlPlatformTest").c_str());
}

// Run by tests/win32/full_disk.sh with MURL_FULL_DRIVE naming a small drive that it fills:
// an entry that does not fit leaves no part of itself, and the next one starts a line.
MANUAL_CASE(full_disk_keeps_log_entries_whole) {
    const char* drive = std::getenv("MURL_FULL_DRIVE");
    REQUIRE(drive != nullptr);
    const std::u16string root = std::u16string(drive, drive + std::strlen(drive)) + u"\\";
    const std::wstring filler = Wide(root) + L"filler";
    murl::Win32Platform ports;
    const murl::Platform platform = ports.MakePlatform();
    for (int32_t blank_lines : {0, 2}) {
        TRACE("blank lines " + std::to_string(blank_lines));
        const std::u16string log_path = root + u"murl_err.log";
        DeleteFileW(Wide(log_path).c_str());
        DeleteFileW(filler.c_str());
        murl::clsLog log(platform);
        log.File(log_path);
        log.BlankLines(blank_lines);
        std::string expected;
        auto entry = [&](int n) {
            return u"entry " + murl::DecimalText(n) + u" " + std::u16string(300, u'x');
        };
        auto written = [&](int n) {
            std::string line;
            for (int32_t i = 0; i < blank_lines; ++i) line += "\r\n";
            return line + Narrow(entry(n)) + "\r\n";
        };
        log.Output(entry(0), 0);
        expected += written(0);

        // Fill every free block of the drive.
        HANDLE fill =
            CreateFileW(filler.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr);
        REQUIRE(fill != INVALID_HANDLE_VALUE);
        const std::string block(4096, 'f');
        DWORD done = 0;
        while (WriteFile(fill, block.data(), static_cast<DWORD>(block.size()), &done, nullptr) &&
               done > 0) {
        }
        CloseHandle(fill);

        murl::Error failure(0, u"");
        int n = 1;
        for (; n < 100 && failure.number() == 0; ++n) {
            failure = FailureOf([&] { log.Output(entry(n), 0); });
            if (failure.number() == 0) expected += written(n);
        }
        CHECK_EQ(failure.number(), murl::err::kLogOutput);
        CHECK_EQ(Narrow(failure.description()), std::string("Disk full"));
        CHECK(n > 2);  // some entries went into the log's last block first
        CHECK_EQ(FileBytes(log_path), expected);

        DeleteFileW(filler.c_str());
        log.Active(murl::kHostTrue);
        log.Output(entry(n), 0);
        expected += written(n);
        CHECK_EQ(FileBytes(log_path), expected);
    }
}

TEST_CASE(files_are_the_same_however_spelt) {
    const auto fs = murl::Win32FileSystemFactory().Create();
    const std::u16string folder = TempFolder("same");
    const std::u16string log = NewFile(*fs, folder, u"murl_err.log");
    const std::u16string other = NewFile(*fs, folder, u"other.log");
    const std::u16string link = folder + u"\\link.log";
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

// A stream holds the file's lock from opening to closing: another stream on the file waits a
// while and gives up with 70, and gets it once the first is closed.
TEST_CASE(files_wait_for_another_stream_then_give_up) {
    const auto fs = murl::Win32FileSystemFactory().Create();
    const std::u16string file = TempFolder("lock") + u"\\log.txt";
    fs->CreateTextFile(file, true);
    auto first = fs->OpenTextFile(file, murl::kForAppending);
    first->WriteLine(u"first");
    const ULONGLONG start = GetTickCount64();
    CHECK_EQ(ErrorOf([&] { fs->OpenTextFile(file, murl::kForAppending); }), 70);
    CHECK(GetTickCount64() - start >= 900);
    CHECK_EQ(FileBytes(file), std::string("first\r\n"));  // the lock keeps no reader out
    first->Close();
    auto second = fs->OpenTextFile(file, murl::kForAppending);
    second->WriteLine(u"second");
    second.reset();
    CHECK_EQ(FileBytes(file), std::string("first\r\nsecond\r\n"));
}

// Runs `work` on a thread of its own while it lives; Done() tells whether it has returned.
class Worker {
public:
    explicit Worker(std::function<void()> work) : work_(std::move(work)) {
        thread_ = CreateThread(nullptr, 0, Run, this, 0, nullptr);
        REQUIRE(thread_ != nullptr);
    }
    ~Worker() {
        WaitForSingleObject(thread_, INFINITE);
        CloseHandle(thread_);
    }
    Worker(const Worker&) = delete;
    Worker& operator=(const Worker&) = delete;
    bool Done() const { return WaitForSingleObject(thread_, 0) == WAIT_OBJECT_0; }

private:
    static DWORD WINAPI Run(void* self) {
        static_cast<Worker*>(self)->work_();
        return 0;
    }
    std::function<void()> work_;
    HANDLE thread_ = nullptr;
};

namespace {

// Locks of the byte that marks a held lock fail as on a file system without locks.
BOOL WINAPI MarksUnsupported(HANDLE file, DWORD flags, DWORD reserved, DWORD low, DWORD high,
                             LPOVERLAPPED at) {
    if (at->Offset == 1) {
        SetLastError(ERROR_NOT_SUPPORTED);
        return FALSE;
    }
    return system_calls.real().LockFileEx(file, flags, reserved, low, high, at);
}

}  // namespace

// While a component holds a file's lock, another component's stream or lock on the file waits
// as long as it lives, also past a stream's wait, and the holder copies the file and empties
// it; once it lets go, the waiter gets in. Where the lock cannot be marked, it is given up on
// as a stream's is, and taking it fails no more than that.
TEST_CASE(files_keep_streams_waiting_while_a_held_lock_copies_and_empties) {
    murl::Win32FileSystemFactory factory;
    const std::u16string folder = TempFolder("held");
    const std::u16string copy = folder + u"\\copy.txt";
    const struct {
        const char* name;
        decltype(&::LockFileEx) lock_call;
        bool waited_for;
    } marks[] = {
        {"marked", nullptr, true},
        {"no mark", MarksUnsupported, false},
    };
    const struct {
        const char* name;
        void (*take)(murl::FileSystem&, const std::u16string& path);
        std::string writes;
    } waiters[] = {
        {"a stream",
         [](murl::FileSystem& fs, const std::u16string& path) {
             fs.OpenTextFile(path, murl::kForAppending)->WriteLine(u"after");
         },
         "after\r\n"},
        {"a held lock", [](murl::FileSystem& fs, const std::u16string& path) { fs.LockFile(path); },
         ""},
    };
    for (const auto& mark : marks) {
        for (const auto& waiter : waiters) {
            TRACE(std::string(mark.name) + ", " + waiter.name);
            StandIns stand_ins(system_calls);
            if (mark.lock_call) stand_ins->LockFileEx = mark.lock_call;
            const auto holder = factory.Create();
            const std::u16string file = NewFile(*holder, folder, u"log.txt");
            holder->OpenTextFile(file, murl::kForAppending)->WriteLine(u"first");
            auto lock = holder->LockFile(file);
            int32_t failure = 0;
            if (!mark.waited_for) {
                {
                    Worker other(
                        [&] { failure = ErrorOf([&] { waiter.take(*factory.Create(), file); }); });
                }  // it gives up by itself
                CHECK_EQ(failure, murl::err::kPermissionDenied);
                lock.reset();
                CHECK_EQ(FileBytes(file), std::string("first\r\n"));
                continue;
            }
            {
                Worker other(
                    [&] { failure = ErrorOf([&] { waiter.take(*factory.Create(), file); }); });
                Sleep(2000);  // twice a stream's wait
                CHECK(!other.Done());
                CHECK_EQ(ErrorOf([&] { holder->CopyFile(file, copy, true); }), 0);
                CHECK_EQ(ErrorOf([&] { holder->CreateTextFile(file, true); }), 0);
                lock.reset();
            }
            CHECK_EQ(failure, 0);
            CHECK_EQ(FileBytes(copy), std::string("first\r\n"));
            CHECK_EQ(FileBytes(file), waiter.writes);
        }
    }
    CHECK_EQ(ErrorOf([&] { factory.Create()->LockFile(folder + u"\\none.txt"); }), 53);
}

namespace {

constexpr wchar_t kClientVariable[] = L"MURL_APPENDING_CLIENT";  // the log's path
constexpr int kClientEntries = 2000;

std::string ClientEntry(DWORD client, int n) {
    return "client " + std::to_string(client) + " entry " + std::to_string(n);
}

// The log named in the client's environment.
std::u16string ClientLog() {
    wchar_t path[MAX_PATH];
    if (GetEnvironmentVariableW(kClientVariable, path, MAX_PATH) == 0) return u"";
    const std::wstring wide(path);
    return std::u16string(wide.begin(), wide.end());
}

// The archiving client archives beside the log until this file exists.
std::u16string StopFile(const std::u16string& log) {
    return log + u".stop";
}

std::u16string ArchiveFolder(const std::u16string& log) {
    return log.substr(0, log.rfind(u'\\')) + u"\\archives";
}

// The name of a synchronisation object of the clients on `log`.
std::wstring ClientObject(const std::u16string& log, const wchar_t* what) {
    std::wstring name = L"murl-test-" + Wide(log) + L"-" + what;
    std::replace(name.begin(), name.end(), L'\\', L'_');
    return name;
}

// Counts the appending client's entries, for the archiving client to wait on.
HANDLE EntriesWritten(const std::u16string& log) {
    return CreateSemaphoreW(nullptr, 0, LONG_MAX, ClientObject(log, L"entries").c_str());
}

// Set by the archiving client once its first copy holds the log's lock.
HANDLE CopyStarted(const std::u16string& log) {
    return CreateEventW(nullptr, TRUE, FALSE, ClientObject(log, L"copy").c_str());
}

// How long the archiving client's first copy holds the log's lock: as long as a log of several
// gigabytes takes on a fast disk, and longer than any stream waits for a stream.
constexpr DWORD kLongCopy = 3000;

constexpr char kFiller[] = "filler";

// Starts this program as the client `kind` on the log `log_path`.
PROCESS_INFORMATION StartClient(const wchar_t* kind, const std::u16string& log_path) {
    SetEnvironmentVariableW(kClientVariable, Wide(log_path).c_str());
    wchar_t self[MAX_PATH];
    GetModuleFileNameW(nullptr, self, MAX_PATH);
    std::wstring command = L"\"" + std::wstring(self) + L"\" " + kind;
    STARTUPINFOW startup{};
    startup.cb = sizeof startup;
    PROCESS_INFORMATION client{};
    CHECK(CreateProcessW(nullptr, command.data(), nullptr, nullptr, FALSE, 0, nullptr, nullptr,
                         &startup, &client));
    SetEnvironmentVariableW(kClientVariable, nullptr);
    return client;
}

// Waits for a client; true when it passed.
bool Finished(PROCESS_INFORMATION& client) {
    WaitForSingleObject(client.hProcess, INFINITE);
    DWORD code = 1;
    GetExitCodeProcess(client.hProcess, &code);
    CloseHandle(client.hThread);
    CloseHandle(client.hProcess);
    return CHECK_EQ(code, 0u);
}

// Counts each client's entries in `text` and checks that each comes in its order; the
// archiving client's notices pass. False at the first line that is neither.
bool CountEntries(const std::string& text, std::map<std::string, int>& next,
                  int* fillers = nullptr) {
    if (!CHECK(text.find('\0') == std::string::npos)) return false;
    for (size_t at = 0, end; at < text.size(); at = end + 2) {
        end = text.find("\r\n", at);
        if (!CHECK(end != std::string::npos)) return false;
        const std::string line = text.substr(at, end - at);
        if (line.size() > 14 && line.compare(line.size() - 14, 14, ".log archived.") == 0) {
            continue;
        }
        if (fillers != nullptr && line == kFiller) {
            ++*fillers;
            continue;
        }
        TRACE(line);
        const size_t number = line.rfind(' ') + 1;
        auto client = next.find(line.substr(0, number) + "0");
        if (!CHECK(client != next.end() && line.substr(number) == std::to_string(client->second))) {
            return false;
        }
        ++client->second;
    }
    return true;
}

}  // namespace

// One of the clients below: writes its entries to the log named in its environment, counting
// them for an archiving client. Beside one, it starts once the first archive holds the log, and
// its first entry waits for that archive, longer than a stream would wait for a stream.
MANUAL_CASE(appending_client) {
    const std::u16string path = ClientLog();
    REQUIRE(!path.empty());
    murl::Win32Platform ports;
    murl::clsLog log(ports.MakePlatform());
    log.File(path);
    const HANDLE written = EntriesWritten(path);
    const HANDLE copying = OpenEventW(SYNCHRONIZE, FALSE, ClientObject(path, L"copy").c_str());
    if (copying != nullptr) CHECK_EQ(WaitForSingleObject(copying, INFINITE), WAIT_OBJECT_0);
    const ULONGLONG start = GetTickCount64();
    for (int n = 0; n < kClientEntries; ++n) {
        log.Output(murl::ToUtf16(ClientEntry(GetCurrentProcessId(), n)), 0);
        if (n == 0 && copying != nullptr) CHECK(GetTickCount64() - start >= kLongCopy - 1000);
        ReleaseSemaphore(written, 1, nullptr);
    }
    if (copying != nullptr) CloseHandle(copying);
    CloseHandle(written);
}

namespace {

// The first copy, made while the archive holds the log's lock, takes kLongCopy.
BOOL WINAPI SlowFirstCopy(LPCWSTR from, LPCWSTR to, BOOL fail_if_exists) {
    static bool copied = false;
    if (!std::exchange(copied, true)) {
        const HANDLE copying = CopyStarted(ClientLog());
        SetEvent(copying);
        CloseHandle(copying);
        Sleep(kLongCopy);
    }
    return system_calls.real().CopyFileW(from, to, fail_if_exists);
}

}  // namespace

// Archives the log named in its environment into numbered archives, first at once, then
// whenever the appending client has written since its last round, until told to stop.
MANUAL_CASE(archiving_client) {
    const std::u16string path = ClientLog();
    REQUIRE(!path.empty());
    StandIns stand_ins(system_calls);
    stand_ins->CopyFileW = SlowFirstCopy;
    murl::Win32Platform ports;
    murl::clsLog log(ports.MakePlatform());
    log.File(path);
    const HANDLE written = EntriesWritten(path);
    int rounds = 0;
    do {
        log.ArchiveLog(ArchiveFolder(path) + u"\\" + murl::DecimalText(rounds++) + u".log");
        CHECK_EQ(WaitForSingleObject(written, INFINITE), WAIT_OBJECT_0);
        while (WaitForSingleObject(written, 0) == WAIT_OBJECT_0) {
        }
    } while (GetFileAttributesW(Wide(StopFile(path)).c_str()) == INVALID_FILE_ATTRIBUTES);
    CloseHandle(written);
    CHECK(rounds > 2);
}

// Game clients started side by side append to one log: every entry of each arrives whole and
// in its order.
TEST_CASE(files_keep_every_entry_of_clients_side_by_side) {
    const std::u16string log_path = TempFolder("clients") + u"\\murl_err.log";
    std::vector<PROCESS_INFORMATION> clients;
    for (int i = 0; i < 2; ++i) clients.push_back(StartClient(L"appending_client", log_path));
    std::map<std::string, int> next;  // each client's next entry, by its first part
    for (PROCESS_INFORMATION& client : clients) {
        next[ClientEntry(client.dwProcessId, 0)] = 0;
        Finished(client);
    }
    CountEntries(FileBytes(log_path), next);
    for (const auto& [client, entries] : next) CHECK_EQ(entries, kClientEntries);
}

// One game client archives the log again and again while another appends to it: each entry
// lands whole, in its order, in the log or in one archive. The log starts large, and its first
// archive holds it longer than a stream waits: the appending client's first entry waits it out.
TEST_CASE(files_keep_every_entry_of_a_client_while_another_archives) {
    const std::u16string log_path = TempFolder("archiving") + u"\\murl_err.log";
    CreateDirectoryW(Wide(ArchiveFolder(log_path)).c_str(), nullptr);
    constexpr int kFillers = 1 << 20;
    {
        std::string filler;
        for (int i = 0; i < kFillers; ++i) filler += std::string(kFiller) + "\r\n";
        std::ofstream(std::filesystem::path(Wide(log_path)), std::ios::binary) << filler;
    }
    const HANDLE written = EntriesWritten(log_path);
    const HANDLE copying = CopyStarted(log_path);
    PROCESS_INFORMATION archiving = StartClient(L"archiving_client", log_path);
    PROCESS_INFORMATION appending = StartClient(L"appending_client", log_path);
    std::map<std::string, int> next = {{ClientEntry(appending.dwProcessId, 0), 0}};
    Finished(appending);
    std::ofstream(std::filesystem::path(Wide(StopFile(log_path))));
    ReleaseSemaphore(written, 1, nullptr);  // wakes the archiving client to see it
    Finished(archiving);
    CloseHandle(copying);
    CloseHandle(written);

    // The archives in the order they were made (a round that failed made none), then the log.
    std::vector<int> rounds;
    for (const std::wstring& name : Listing(ArchiveFolder(log_path))) {
        if (name.size() > 4 && name.compare(name.size() - 4, 4, L".log") == 0) {
            rounds.push_back(std::stoi(name));
        }
    }
    std::sort(rounds.begin(), rounds.end());
    std::vector<std::u16string> files;
    for (const int n : rounds) {
        files.push_back(ArchiveFolder(log_path) + u"\\" + murl::DecimalText(n) + u".log");
    }
    CHECK(files.size() > 2);
    files.push_back(log_path);
    int fillers = 0;
    for (const std::u16string& file : files) {
        TRACE(Narrow(file));
        if (!CountEntries(FileBytes(file), next, &fillers)) break;
    }
    for (const auto& [client, entries] : next) CHECK_EQ(entries, kClientEntries);
    CHECK_EQ(fillers, kFillers);
}

namespace {

namespace trace = murl::win32::trace;

// LOCALAPPDATA points at a fresh folder of its own while this lives.
class LocalData {
public:
    LocalData() : folder_(Wide(TempFolder("local-data"))) {
        wchar_t before[MAX_PATH] = {};
        GetEnvironmentVariableW(L"LOCALAPPDATA", before, MAX_PATH);
        before_ = before;
        SetEnvironmentVariableW(L"LOCALAPPDATA", folder_.c_str());
    }
    ~LocalData() {
        SetEnvironmentVariableW(L"LOCALAPPDATA", before_.empty() ? nullptr : before_.c_str());
    }
    LocalData(const LocalData&) = delete;
    LocalData& operator=(const LocalData&) = delete;

    std::u16string Path(const wchar_t* name = nullptr) const {
        const std::wstring path =
            folder_ + L"\\" + trace::kFolder + (name ? L"\\" : L"") + (name ? name : L"");
        return std::u16string(path.begin(), path.end());
    }

private:
    std::wstring folder_, before_;
};

const LocalData* local_data = nullptr;

// What the system says of a handle, with the trace folder or file made a link (a junction, a
// symbolic link: both are reparse points) when `links` says so.
enum Linked { kNoLink, kFolderLinked, kFileLinked };
Linked links = kNoLink;
BOOL WINAPI LinkedInformation(HANDLE handle, LPBY_HANDLE_FILE_INFORMATION info) {
    const BOOL done = system_calls.real().GetFileInformationByHandle(handle, info);
    const bool folder = (info->dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) != 0;
    if (done && folder == (links == kFolderLinked)) {
        info->dwFileAttributes |= FILE_ATTRIBUTE_REPARSE_POINT;
    }
    return done;
}

BOOL WINAPI SizeUnread(HANDLE, PLARGE_INTEGER) {
    SetLastError(ERROR_ACCESS_DENIED);
    return FALSE;
}

// A viewer holds the full file open without delete sharing: it cannot be moved.
BOOL WINAPI RenameRefused(HANDLE, FILE_INFO_BY_HANDLE_CLASS, LPVOID, DWORD) {
    SetLastError(ERROR_SHARING_VIOLATION);
    return FALSE;
}

// Another game client finds the file full at the same moment and moves it aside first, then
// writes its line to a new file, right after this client read the size.
bool other_client_rotated = false;
BOOL WINAPI OtherClientRotatesMeanwhile(HANDLE file, PLARGE_INTEGER size) {
    const murl::win32::SystemCalls& real = system_calls.real();
    const BOOL done = real.GetFileSizeEx(file, size);
    if (done && size->QuadPart + 8 > trace::kFileCap && !other_client_rotated) {
        other_client_rotated = true;
        CHECK(real.MoveFileExW(Wide(local_data->Path(trace::kFileName)).c_str(),
                               Wide(local_data->Path(trace::kOlderFileName)).c_str(),
                               MOVEFILE_REPLACE_EXISTING));
        Replace(local_data->Path(trace::kFileName), "other client\r\n");
    }
    return done;
}

}  // namespace

// The trace file keeps its cap whatever the system does, loses no older file to another
// client, and follows no link; every fault is played through the call table.
TEST_CASE(trace_file_keeps_its_cap_and_follows_no_link) {
    const LocalData local;
    local_data = &local;
    const std::string full(trace::kFileCap - 3, 'x');
    const std::string line = "a line\r\n";
    const std::string note =
        "murl trace: 1 line was left out before this one: the trace file was full and could not "
        "be moved aside (was it open in another program?)\r\n";
    const std::string at_cap(trace::kFileCap - line.size(), 'x');
    const std::string past_cap(at_cap.size() + 1, 'x');
    const std::u16string file = local.Path(trace::kFileName);
    const std::u16string older = local.Path(trace::kOlderFileName);
    struct Row {
        const char* name;
        std::function<void(murl::win32::SystemCalls&)> fault;
        trace::Refusal refusal;
        std::string file_after, older_after;
    } rows[] = {
        {"room left", [&](auto&) { Replace(file, "before\r\n"); }, trace::Refusal::kNone,
         "before\r\n" + line, "older\r\n"},
        {"full: replaces the older file", [](auto&) {}, trace::Refusal::kNone, line, full},
        {"filled by the line exactly", [&](auto&) { Replace(file, at_cap); }, trace::Refusal::kNone,
         at_cap + line, "older\r\n"},
        {"passed by the line by one byte", [&](auto&) { Replace(file, past_cap); },
         trace::Refusal::kNone, line, past_cap},
        {"full, and the move refused",
         [](auto& calls) { calls.SetFileInformationByHandle = RenameRefused; },
         trace::Refusal::kFull, full, "older\r\n"},
        {"full, and its size unread", [](auto& calls) { calls.GetFileSizeEx = SizeUnread; },
         trace::Refusal::kSizeUnread, full, "older\r\n"},
        {"full, moved by another client meanwhile",
         [](auto& calls) {
             other_client_rotated = false;
             calls.GetFileSizeEx = OtherClientRotatesMeanwhile;
         },
         trace::Refusal::kNone, "other client\r\n" + line, full},
        {"a link for the file",
         [](auto& calls) {
             links = kFileLinked;
             calls.GetFileInformationByHandle = LinkedInformation;
         },
         trace::Refusal::kLink, full, "older\r\n"},
        {"a junction for the folder",
         [](auto& calls) {
             links = kFolderLinked;
             calls.GetFileInformationByHandle = LinkedInformation;
         },
         trace::Refusal::kLink, full, "older\r\n"},
        {"a second name for the file",
         [&](auto&) {
             const std::u16string elsewhere = local.Path() + u"-elsewhere.txt";
             Replace(elsewhere, full);
             DeleteFileW(Wide(file).c_str());
             CHECK(CreateHardLinkW(Wide(file).c_str(), Wide(elsewhere).c_str(), nullptr));
         },
         trace::Refusal::kLink, full, "older\r\n"},
        {"a file for the folder",
         [&](auto&) {
             RemoveTree(L"\\\\?\\" + Wide(local.Path()));
             Replace(local.Path(), "not a folder");
         },
         trace::Refusal::kNotFolder, "", ""},
    };
    for (const Row& row : rows) {
        TRACE(row.name);
        RemoveTree(L"\\\\?\\" + Wide(local.Path()));
        DeleteFileW(Wide(local.Path()).c_str());
        CreateDirectoryW(Wide(local.Path()).c_str(), nullptr);
        Replace(file, full);
        Replace(older, "older\r\n");
        trace::File trace_file;
        {
            StandIns stand_ins(system_calls);
            row.fault(*stand_ins);
            CHECK_EQ(static_cast<int>(trace_file.Append(line.data(), DWORD(line.size()))),
                     static_cast<int>(row.refusal));
            trace_file.Close();
        }
        CHECK_EQ(FileBytes(file), row.file_after);
        CHECK_EQ(FileBytes(older), row.older_after);
        if (row.refusal == trace::Refusal::kFull) {
            // The next line that can be written says that lines were left out, once.
            CHECK_EQ(static_cast<int>(trace_file.Append(line.data(), DWORD(line.size()))), 0);
            CHECK_EQ(static_cast<int>(trace_file.Append(line.data(), DWORD(line.size()))), 0);
            trace_file.Close();
            CHECK_EQ(FileBytes(file), note + line + line);
            CHECK_EQ(FileBytes(older), full);
        }
    }
    // Two clients: one moves the full file aside and begins a new one, and the older file is
    // then taken away (the player moves it, to send it). The other's next line goes into the new
    // file, whether it would have fitted into the old one or not, and never moves the new file
    // aside.
    const std::string long_line = std::string(200, 'a') + "\r\n";
    for (const std::string& next : {line, long_line}) {
        TRACE("the other client's next line of " + std::to_string(next.size()) + " bytes");
        RemoveTree(L"\\\\?\\" + Wide(local.Path()));
        DeleteFileW(Wide(local.Path()).c_str());
        CreateDirectoryW(Wide(local.Path()).c_str(), nullptr);
        Replace(file, std::string(trace::kFileCap - 100, 'x'));
        trace::File one, other;
        CHECK_EQ(static_cast<int>(other.Append(line.data(), DWORD(line.size()))), 0);
        CHECK_EQ(static_cast<int>(one.Append(long_line.data(), DWORD(long_line.size()))), 0);
        const std::u16string sent = local.Path() + u"-sent.log";
        DeleteFileW(Wide(sent).c_str());
        CHECK(MoveFileW(Wide(older).c_str(), Wide(sent).c_str()));
        CHECK_EQ(static_cast<int>(other.Append(next.data(), DWORD(next.size()))), 0);
        one.Close();
        other.Close();
        CHECK_EQ(FileBytes(file), long_line + next);
        CHECK_EQ(GetFileAttributesW(Wide(older).c_str()), INVALID_FILE_ATTRIBUTES);
    }

    // A line that cannot have its turn, another client holding the file, stays out, and the
    // next line follows a note that counts it.
    {
        RemoveTree(L"\\\\?\\" + Wide(local.Path()));
        CreateDirectoryW(Wide(local.Path()).c_str(), nullptr);
        Replace(file, "");
        trace::File trace_file;
        const HANDLE other = CreateFileW(Wide(file).c_str(), GENERIC_READ,
                                         FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                                         nullptr, OPEN_EXISTING, 0, nullptr);
        CHECK(murl::win32::append_lock::TryTake(other) == murl::win32::append_lock::Try::kTaken);
        CHECK_EQ(static_cast<int>(trace_file.Append(line.data(), DWORD(line.size()))),
                 static_cast<int>(trace::Refusal::kBusy));
        CHECK_EQ(FileBytes(file), std::string());
        CloseHandle(other);
        CHECK_EQ(static_cast<int>(trace_file.Append(line.data(), DWORD(line.size()))), 0);
        trace_file.Close();
        CHECK_EQ(FileBytes(file),
                 "murl trace: 1 line was left out before this one: another game client kept the "
                 "trace file busy for more than 0.1 s\r\n" +
                     line);
    }

    // A reader that does not let the file be renamed still reads it while a client appends.
    RemoveTree(L"\\\\?\\" + Wide(local.Path()));
    DeleteFileW(Wide(local.Path()).c_str());
    trace::File trace_file;
    CHECK_EQ(static_cast<int>(trace_file.Append(line.data(), DWORD(line.size()))), 0);
    { const Held reader(file, GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE); }
    trace_file.Close();

    // Clearing deletes both files and then the folder, never through a junction.
    struct Clearing {
        const char* name;
        Linked linked;
        trace::Refusal refusal;
        bool left;
    } clearings[] = {
        {"clear", kNoLink, trace::Refusal::kNone, false},
        {"clear through a junction", kFolderLinked, trace::Refusal::kLink, true},
    };
    for (const Clearing& c : clearings) {
        TRACE(c.name);
        CreateDirectoryW(Wide(local.Path()).c_str(), nullptr);
        Replace(file, line);
        Replace(older, line);
        StandIns stand_ins(system_calls);
        links = c.linked;
        stand_ins->GetFileInformationByHandle = LinkedInformation;
        DWORD error = 0;
        CHECK_EQ(static_cast<int>(trace::Clear(error)), static_cast<int>(c.refusal));
        CHECK_EQ(FileBytes(file), c.left ? line : std::string());
        CHECK_EQ(FileBytes(older), c.left ? line : std::string());
        CHECK_EQ(GetFileAttributesW(Wide(local.Path()).c_str()) != INVALID_FILE_ATTRIBUTES, c.left);
    }
    local_data = nullptr;
}

namespace {

// Of each client: enough to cut lines without a lock, and to fill one file and not two.
constexpr int kTraceLines = 20000;

constexpr int kTraceRound = 20;  // lines of each client between two meetings

// Counts the tracing clients that arrived at the end of a round.
HANDLE Arrivals(const std::u16string& file) {
    return CreateSemaphoreW(nullptr, 0, LONG_MAX, ClientObject(file, L"arrived").c_str());
}

// Lets the client `client` begin its next round.
HANDLE RoundsBegun(const std::u16string& file, DWORD client) {
    const std::wstring name = L"round-" + std::to_wstring(client);
    return CreateSemaphoreW(nullptr, 0, LONG_MAX, ClientObject(file, name.c_str()).c_str());
}

std::string TraceLine(DWORD client, int n) {
    return ClientEntry(client, n) + "\r\n";
}

// What the trace files held that they should not.
struct TraceFaults {
    int cut = 0;        // lines that are not whole: written over, or cut by another's
    int unordered = 0;  // lines after a gap that no note counts
};

// The lines of a trace file, counted into each client's next line: each client's lines come in
// their order, and a gap is only what a note right before its next line counts as left out.
void CountTraceLines(const std::string& text, std::map<DWORD, int>& next, size_t& fillers,
                     TraceFaults& faults) {
    int left_out = 0;
    for (size_t at = 0, end; at < text.size(); at = end + 1) {
        end = text.find('\n', at);
        if (end == std::string::npos) end = text.size() - 1;
        const std::string line = text.substr(at, end + 1 - at);
        unsigned long client = 0;
        int n = 0;
        if (line == std::string(kFiller) + "\r\n") {
            ++fillers;
        } else if (std::sscanf(line.c_str(), "murl trace: %d", &left_out) == 1) {
        } else if (std::sscanf(line.c_str(), "client %lu entry %d", &client, &n) == 2 &&
                   line == TraceLine(client, n) && next.count(client)) {
            if (next[client] + left_out != n) ++faults.unordered;
            next[client] = n + 1;
            left_out = 0;
        } else {
            ++faults.cut;
        }
    }
}

}  // namespace

// One of the clients below: traces its lines into the trace file of the local application
// data in its environment, in rounds that begin when every client has arrived.
MANUAL_CASE(tracing_client) {
    const std::u16string path = ClientLog();
    REQUIRE(!path.empty());
    const HANDLE arrived = Arrivals(path), go = RoundsBegun(path, GetCurrentProcessId());
    trace::File trace_file;
    for (int n = 0; n < kTraceLines; ++n) {
        if (n % kTraceRound == 0) {
            ReleaseSemaphore(arrived, 1, nullptr);
            CHECK_EQ(WaitForSingleObject(go, INFINITE), WAIT_OBJECT_0);
        }
        const std::string line = TraceLine(GetCurrentProcessId(), n);
        // A line that cannot wait for its turn is counted in a note.
        const trace::Refusal refusal = trace_file.Append(line.data(), DWORD(line.size()));
        if (refusal != trace::Refusal::kBusy && !CHECK_EQ(static_cast<int>(refusal), 0)) break;
    }
    trace_file.Close();
    CloseHandle(arrived);
    CloseHandle(go);
}

// Game clients side by side trace into one file, and on when it fills up and is moved aside:
// every line arrives whole and in its order, and neither file passes the cap.
TEST_CASE(trace_file_keeps_every_line_of_clients_side_by_side) {
    const LocalData local;
    const std::u16string file = local.Path(trace::kFileName);
    // The file fills up early on.
    constexpr size_t kFillers = (trace::kFileCap - 100'000) / (sizeof kFiller + 1);
    CreateDirectoryW(Wide(local.Path()).c_str(), nullptr);
    std::string fill;
    for (size_t i = 0; i < kFillers; ++i) fill += std::string(kFiller) + "\r\n";
    Replace(file, fill);
    const HANDLE arrived = Arrivals(file);
    std::vector<PROCESS_INFORMATION> clients;
    std::vector<HANDLE> rounds;
    for (int i = 0; i < 2; ++i) {
        clients.push_back(StartClient(L"tracing_client", file));
        rounds.push_back(RoundsBegun(file, clients.back().dwProcessId));
    }
    // Each round begins for all clients at once, so that they trace side by side.
    const HANDLE waits[] = {arrived, clients[0].hProcess, clients[1].hProcess};
    for (int round = 0; round < kTraceLines / kTraceRound; ++round) {
        for (size_t client = 0; client < clients.size(); ++client) {
            REQUIRE(WaitForMultipleObjects(3, waits, FALSE, INFINITE) == WAIT_OBJECT_0);
        }
        for (const HANDLE go : rounds) ReleaseSemaphore(go, 1, nullptr);
    }
    std::map<DWORD, int> next;  // each client's next line
    for (PROCESS_INFORMATION& client : clients) {
        next[client.dwProcessId] = 0;
        Finished(client);
    }
    CloseHandle(arrived);
    for (const HANDLE go : rounds) CloseHandle(go);
    size_t fillers = 0;
    TraceFaults faults;
    for (const std::u16string& name : {local.Path(trace::kOlderFileName), file}) {
        const std::string text = FileBytes(name);
        CHECK(!text.empty());
        CHECK(text.size() <= trace::kFileCap);
        CountTraceLines(text, next, fillers, faults);
    }
    CHECK_EQ(faults.cut, 0);
    CHECK_EQ(faults.unordered, 0);
    for (const auto& [client, lines] : next) CHECK_EQ(lines, kTraceLines);
    CHECK_EQ(fillers, kFillers);
}
