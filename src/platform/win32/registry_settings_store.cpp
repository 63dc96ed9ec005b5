#include "platform/win32/registry_settings_store.h"

#include "platform/win32/windows_headers.h"

#include <string>
#include <vector>

#include "host/error.h"
#include "platform/win32/win32_text.h"

namespace murl {

namespace {

constexpr std::u16string_view kRoot = u"Software\\VB and VBA Program Settings\\";

std::wstring KeyPath(std::u16string_view application, std::u16string_view section) {
    std::u16string path(kRoot);
    path += application;
    if (!section.empty()) {
        path += u'\\';
        path += section;
    }
    return win32::Wide(path);
}

class Key {
public:
    Key() = default;
    Key(const Key&) = delete;
    Key& operator=(const Key&) = delete;
    ~Key() {
        if (key_) RegCloseKey(key_);
    }
    HKEY* out() noexcept { return &key_; }
    HKEY get() const noexcept { return key_; }

private:
    HKEY key_ = nullptr;
};

[[noreturn]] void ThrowRegistryError(LONG status) {
    if (status == ERROR_ACCESS_DENIED) throw Error(err::kPermissionDenied);
    if (status == ERROR_NOT_ENOUGH_MEMORY || status == ERROR_OUTOFMEMORY) {
        throw Error(err::kOutOfMemory);
    }
    throw Error(err::kInvalidCall);
}

}  // namespace

std::u16string RegistrySettingsStore::GetSetting(std::u16string_view application,
                                                 std::u16string_view section,
                                                 std::u16string_view key,
                                                 std::u16string_view fallback) {
    Key opened;
    if (RegOpenKeyExW(HKEY_CURRENT_USER, KeyPath(application, section).c_str(), 0, KEY_QUERY_VALUE,
                      opened.out()) != ERROR_SUCCESS) {
        return std::u16string(fallback);
    }
    const std::wstring name = win32::Wide(key);
    // The value may change between the size query and the read; ask again until it fits.
    for (;;) {
        DWORD type = 0, size = 0;
        LONG status = RegQueryValueExW(opened.get(), name.c_str(), nullptr, &type, nullptr, &size);
        if (status != ERROR_SUCCESS || (type != REG_SZ && type != REG_EXPAND_SZ)) {
            return std::u16string(fallback);
        }
        std::vector<wchar_t> data(size / sizeof(wchar_t) + 1, L'\0');
        DWORD got = size;
        status = RegQueryValueExW(opened.get(), name.c_str(), nullptr, &type,
                                  reinterpret_cast<BYTE*>(data.data()), &got);
        if (status == ERROR_MORE_DATA) continue;
        if (status != ERROR_SUCCESS) return std::u16string(fallback);
        size_t length = got / sizeof(wchar_t);
        if (length > 0 && data[length - 1] == L'\0') --length;
        return win32::Utf16(std::wstring_view(data.data(), length));
    }
}

void RegistrySettingsStore::SaveSetting(std::u16string_view application,
                                        std::u16string_view section, std::u16string_view key,
                                        std::u16string_view value) {
    Key created;
    LONG status =
        RegCreateKeyExW(HKEY_CURRENT_USER, KeyPath(application, section).c_str(), 0, nullptr,
                        REG_OPTION_NON_VOLATILE, KEY_SET_VALUE, nullptr, created.out(), nullptr);
    if (status != ERROR_SUCCESS) ThrowRegistryError(status);
    const std::wstring name = win32::Wide(key);
    const std::wstring data = win32::Wide(value);
    status = RegSetValueExW(created.get(), name.c_str(), 0, REG_SZ,
                            reinterpret_cast<const BYTE*>(data.c_str()),
                            static_cast<DWORD>((data.size() + 1) * sizeof(wchar_t)));
    if (status != ERROR_SUCCESS) ThrowRegistryError(status);
}

}  // namespace murl
