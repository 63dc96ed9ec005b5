#pragma once
// What the Win32 port tests share: fresh folders, files read and written as another program
// would, failures caught, and the Win32 system calls with their stand-ins.

#include "platform/win32/windows_headers.h"

#include <algorithm>
#include <climits>
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
#include "host/error.h"
#include "text/text.h"
#include "platform/file_system.h"
#include "platform/win32/system_calls.h"

inline constexpr wchar_t kVbRoot[] = L"Software\\VB and VBA Program Settings";

inline std::wstring Wide(std::u16string_view text) {
    return std::wstring(text.begin(), text.end());
}

inline std::string Narrow(std::u16string_view text) {
    return std::string(text.begin(), text.end());
}

// Removes `folder` ("\\?\" form) and all it holds, read-only files included.
inline void RemoveTree(const std::wstring& folder) {
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
inline std::u16string TempFolder(const char* name) {
    wchar_t temp[MAX_PATH];
    GetTempPathW(MAX_PATH, temp);
    std::wstring folder = std::wstring(temp) + L"murl-platform-" +
                          std::to_wstring(GetCurrentProcessId()) + L"-" +
                          std::wstring(name, name + strlen(name));
    RemoveTree(L"\\\\?\\" + folder);
    CreateDirectoryW(folder.c_str(), nullptr);
    return std::u16string(folder.begin(), folder.end());
}

inline std::string FileBytes(const std::u16string& path) {
    std::ifstream in(std::filesystem::path(Wide(path)), std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

// Creates the empty file `name` in `folder` through `fs`; returns its path.
inline std::u16string NewFile(murl::FileSystem& fs, const std::u16string& folder,
                              const char16_t* name) {
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
inline std::u16string NestedFolder(std::u16string folder, size_t length) {
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
inline std::vector<std::wstring> Listing(const std::u16string& folder) {
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
inline std::vector<std::wstring> CopyLeftovers(const std::u16string& folder) {
    std::vector<std::wstring> left;
    for (const std::wstring& name : Listing(folder)) {
        if (name.rfind(L"~murl", 0) == 0) left.push_back(name);
    }
    return left;
}

inline std::u16string LongPath(const std::u16string& path) {
    return u"\\\\?\\" + path;
}

// Gives the file at `path` these bytes, through the API as another program would.
inline void Replace(const std::u16string& path, const std::string& bytes) {
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

// The log and trace tests' client processes: this program started again as a client of a
// file named in its environment, and the names of the objects they meet on.
inline constexpr wchar_t kClientVariable[] = L"MURL_APPENDING_CLIENT";  // the log's path
inline constexpr int kClientEntries = 2000;

inline std::string ClientEntry(DWORD client, int n) {
    return "client " + std::to_string(client) + " entry " + std::to_string(n);
}

// The log named in the client's environment.
inline std::u16string ClientLog() {
    wchar_t path[MAX_PATH];
    if (GetEnvironmentVariableW(kClientVariable, path, MAX_PATH) == 0) return u"";
    const std::wstring wide(path);
    return std::u16string(wide.begin(), wide.end());
}

// The archiving client archives beside the log until this file exists.
inline std::u16string StopFile(const std::u16string& log) {
    return log + u".stop";
}

inline std::u16string ArchiveFolder(const std::u16string& log) {
    return log.substr(0, log.rfind(u'\\')) + u"\\archives";
}

// The name of a synchronisation object of the clients on `log`.
inline std::wstring ClientObject(const std::u16string& log, const wchar_t* what) {
    std::wstring name = L"murl-test-" + Wide(log) + L"-" + what;
    std::replace(name.begin(), name.end(), L'\\', L'_');
    return name;
}

// Counts the appending client's entries, for the archiving client to wait on.
inline HANDLE EntriesWritten(const std::u16string& log) {
    return CreateSemaphoreW(nullptr, 0, LONG_MAX, ClientObject(log, L"entries").c_str());
}

// Set by the archiving client once its first copy holds the log's lock.
inline HANDLE CopyStarted(const std::u16string& log) {
    return CreateEventW(nullptr, TRUE, FALSE, ClientObject(log, L"copy").c_str());
}

// How long the archiving client's first copy holds the log's lock: as long as a log of several
// gigabytes takes on a fast disk, and longer than any stream waits for a stream.
inline constexpr DWORD kLongCopy = 3000;

inline constexpr char kFiller[] = "filler";

// Starts this program as the client `kind` on the log `log_path`.
inline PROCESS_INFORMATION StartClient(const wchar_t* kind, const std::u16string& log_path) {
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
inline bool Finished(PROCESS_INFORMATION& client) {
    WaitForSingleObject(client.hProcess, INFINITE);
    DWORD code = 1;
    GetExitCodeProcess(client.hProcess, &code);
    CloseHandle(client.hThread);
    CloseHandle(client.hProcess);
    return CHECK_EQ(code, 0u);
}
