// The machine on Windows: the platform's per-user settings store in the registry and the
// Win32 ports.

#include "platform/win32/windows_headers.h"

#include <fcntl.h>
#include <io.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <vector>

#include "machine.h"
#include "platform/win32/win32_platform.h"

namespace murl::tool {

namespace {

// Scenarios, transcripts and listings are byte streams, as on POSIX: no CR LF translation on
// the standard streams.
const bool kBinaryStreams = [] {
    _setmode(_fileno(stdin), _O_BINARY);
    _setmode(_fileno(stdout), _O_BINARY);
    _setmode(_fileno(stderr), _O_BINARY);
    return true;
}();

constexpr wchar_t kApplicationKey[] = L"Software\\VB and VBA Program Settings\\Murl";

std::u16string Utf16(const wchar_t* text, size_t length) {
    return std::u16string(reinterpret_cast<const char16_t*>(text), length);
}

// The string values of one key, as entries of `section`.
void ListValues(HKEY key, const std::u16string& section, std::vector<StoreEntry>& entries) {
    for (DWORD index = 0;; ++index) {
        wchar_t name[16384];
        DWORD name_length = 16384, type = 0, size = 0;
        LONG status = RegEnumValueW(key, index, name, &name_length, nullptr, &type, nullptr, &size);
        if (status != ERROR_SUCCESS) break;
        if (type != REG_SZ && type != REG_EXPAND_SZ) continue;
        std::vector<wchar_t> data(size / sizeof(wchar_t) + 1, L'\0');
        name_length = 16384;
        status = RegEnumValueW(key, index, name, &name_length, nullptr, &type,
                               reinterpret_cast<BYTE*>(data.data()), &size);
        if (status != ERROR_SUCCESS) continue;
        size_t length = size / sizeof(wchar_t);
        if (length > 0 && data[length - 1] == L'\0') --length;
        entries.push_back({section, Utf16(name, name_length), Utf16(data.data(), length)});
    }
}

class RegistryStore final : public Store {
public:
    SettingsStore& settings() override { return store_; }

    std::vector<StoreEntry> List() override {
        std::vector<StoreEntry> entries;
        HKEY application = nullptr;
        if (RegOpenKeyExW(HKEY_CURRENT_USER, kApplicationKey, 0, KEY_READ, &application) !=
            ERROR_SUCCESS) {
            return entries;
        }
        ListValues(application, u"", entries);
        for (DWORD index = 0;; ++index) {
            wchar_t name[256];
            DWORD length = 256;
            if (RegEnumKeyExW(application, index, name, &length, nullptr, nullptr, nullptr,
                              nullptr) != ERROR_SUCCESS) {
                break;
            }
            HKEY section = nullptr;
            if (RegOpenKeyExW(application, name, 0, KEY_READ, &section) != ERROR_SUCCESS) continue;
            ListValues(section, Utf16(name, length), entries);
            RegCloseKey(section);
        }
        RegCloseKey(application);
        std::sort(entries.begin(), entries.end(), [](const StoreEntry& a, const StoreEntry& b) {
            return a.section != b.section ? a.section < b.section : a.key < b.key;
        });
        return entries;
    }

    std::optional<std::u16string> Find(std::u16string_view section,
                                       std::u16string_view key) override {
        // Two different fallbacks tell an absent entry from any stored value.
        std::u16string value = store_.GetSetting(u"Murl", section, key, u"\x01");
        if (value == u"\x01" && store_.GetSetting(u"Murl", section, key, u"\x02") == u"\x02") {
            return std::nullopt;
        }
        return value;
    }

private:
    RegistrySettingsStore store_;
};

class Win32Ports final : public Ports {
public:
    explicit Win32Ports(std::u16string folder) : ports_(std::move(folder)) {}

    Platform MakePlatform(SettingsStore& settings, Clock& clock) override {
        return Platform{ports_.files, clock, ports_.message_box, ports_.app, settings, u'\\'};
    }
    Clock& SystemClock() override { return ports_.clock; }

private:
    Win32Platform ports_;
};

}  // namespace

std::unique_ptr<Store> OpenStore(const std::string& path, std::string& error) {
    if (!path.empty()) {
        error =
            "--store is not available on Windows: the settings live in the registry, under "
            "HKEY_CURRENT_USER\\Software\\VB and VBA Program Settings\\Murl";
        return nullptr;
    }
    return std::make_unique<RegistryStore>();
}

std::unique_ptr<Ports> MakePorts(const std::filesystem::path& module_folder) {
    const std::wstring folder = module_folder.wstring();
    return std::make_unique<Win32Ports>(std::u16string(folder.begin(), folder.end()));
}

std::filesystem::path DefaultModuleFolder() {
    const wchar_t* local = _wgetenv(L"LOCALAPPDATA");
    if (local && *local) return std::filesystem::path(local) / L"murl";
    return {};
}

}  // namespace murl::tool
