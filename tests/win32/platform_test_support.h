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
