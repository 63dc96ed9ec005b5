#include "platform/win32/windows_headers.h"

#include "platform/win32/win32_app_info.h"

#include <cstring>
#include <string>

#include "host/error.h"
#include "murl_version.h"
#include "platform/win32/win32_text.h"

namespace murl {

namespace {

HMODULE ThisModule() {
    HMODULE module = nullptr;
    if (!GetModuleHandleExW(
            GET_MODULE_HANDLE_EX_FLAG_FROM_ADDRESS | GET_MODULE_HANDLE_EX_FLAG_UNCHANGED_REFCOUNT,
            reinterpret_cast<LPCWSTR>(&ThisModule), &module)) {
        throw Error(err::kInvalidCall);
    }
    return module;
}

// The full path of the module this code is linked into (murl.dll, or the program for tests).
std::u16string OwnModulePath() {
    const std::wstring path = win32::ModulePath(ThisModule());
    if (path.empty()) throw Error(err::kInvalidCall);
    return win32::Utf16(path);
}

size_t LastSeparator(const std::u16string& path) {
    return path.find_last_of(u"\\/");
}

}  // namespace

std::wstring win32::ModulePath(HMODULE module, DWORD* reason) {
    std::wstring path(MAX_PATH, L'\0');
    for (;;) {
        const DWORD got = GetModuleFileNameW(module, path.data(), static_cast<DWORD>(path.size()));
        if (got == 0) {
            if (reason) *reason = GetLastError();
            return {};
        }
        if (got < path.size()) {
            path.resize(got);
            return path;
        }
        path.resize(path.size() * 2);
    }
}

Win32AppInfo::Win32AppInfo(std::optional<std::u16string> folder) noexcept
    : folder_(std::move(folder)) {}

std::u16string Win32AppInfo::ModuleFolder() {
    if (folder_) return *folder_;
    std::u16string path = OwnModulePath();
    const size_t cut = LastSeparator(path);
    return cut == std::u16string::npos ? std::u16string() : path.substr(0, cut);
}

std::u16string Win32AppInfo::ModuleName() {
    std::u16string path = OwnModulePath();
    const size_t cut = LastSeparator(path);
    std::u16string name = cut == std::u16string::npos ? path : path.substr(cut + 1);
    const size_t dot = name.find_last_of(u'.');
    if (dot != std::u16string::npos) name.resize(dot);
    return name;
}

// The fixed file version of the module's version resource: major, minor and the fourth part.
// A module without one (a test program) reports the project's version.
Version Win32AppInfo::GetVersion() {
    HMODULE module = ThisModule();
    HRSRC found = FindResourceW(module, MAKEINTRESOURCEW(1), MAKEINTRESOURCEW(16) /*RT_VERSION*/);
    HGLOBAL loaded = found ? LoadResource(module, found) : nullptr;
    const auto* bytes = loaded ? static_cast<const unsigned char*>(LockResource(loaded)) : nullptr;
    const DWORD size = found ? SizeofResource(module, found) : 0;
    constexpr DWORD kSignature = 0xFEEF04BD;
    for (DWORD at = 0; bytes && at + sizeof(VS_FIXEDFILEINFO) <= size; at += 4) {
        VS_FIXEDFILEINFO info;
        std::memcpy(&info, bytes + at, sizeof info);
        if (info.dwSignature != kSignature) continue;
        return {static_cast<int16_t>(HIWORD(info.dwFileVersionMS)),
                static_cast<int16_t>(LOWORD(info.dwFileVersionMS)),
                static_cast<int16_t>(LOWORD(info.dwFileVersionLS))};
    }
    return {MURL_VERSION_MAJOR, MURL_VERSION_MINOR, MURL_VERSION_REVISION};
}

}  // namespace murl
