#include "platform/win32/windows_headers.h"

#include "platform/win32/registry_settings_store.h"

#include <algorithm>
#include <string>
#include <vector>

#include "host/error.h"
#include "platform/win32/win32_holders.h"
#include "platform/win32/win32_text.h"
#include "text/text.h"

namespace murl {

namespace {

using win32::RegistryKey;

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

// The registry's limits on one key's name and on a value's name. Wine allows one character
// more for a key; both refuse with ERROR_INVALID_PARAMETER.
constexpr size_t kLongestKeyName = 255;
constexpr size_t kLongestValueName = 16383;

size_t LongestPart(std::u16string_view path) {
    size_t longest = 0;
    for (size_t start = 0; start <= path.size();) {
        const size_t end = std::min(path.find(u'\\', start), path.size());
        longest = std::max(longest, end - start);
        start = end + 1;
    }
    return longest;
}

// A name the registry cannot hold keeps the platform's number and says why.
Error TooLong(std::u16string_view what) {
    return Error(err::kInvalidCall, std::u16string(StandardDescription(err::kInvalidCall)) +
                                        u": the settings store refused the " +
                                        std::u16string(what) + u" name as too long");
}

[[noreturn]] void ThrowRegistryError(LONG status) {
    if (status == ERROR_ACCESS_DENIED) throw Error(err::kPermissionDenied);
    if (status == ERROR_NOT_ENOUGH_MEMORY || status == ERROR_OUTOFMEMORY) {
        throw Error(err::kOutOfMemory);
    }
    throw Error(err::kInvalidCall);
}

}  // namespace

SettingValue RegistryValue(unsigned long type, const unsigned char* data, size_t size) {
    const auto text = [&] {
        std::u16string value(size / sizeof(char16_t), u'\0');
        std::copy_n(data, value.size() * sizeof(char16_t), reinterpret_cast<BYTE*>(value.data()));
        if (!value.empty() && value.back() == u'\0') value.pop_back();
        return value;
    };
    // A number of `bytes` bytes; of any other size, a value Murl cannot read.
    const auto number = [&](std::u16string name, size_t bytes, bool big_endian) {
        if (size != bytes) {
            return SettingValue::Unreadable(name + u" of " +
                                            DecimalText(static_cast<int64_t>(size)) + u" bytes");
        }
        uint64_t value = 0;
        for (size_t i = 0; i < bytes; ++i) {
            value |= uint64_t{data[big_endian ? bytes - 1 - i : i]} << (8 * i);
        }
        return SettingValue::Unsigned(value, std::move(name));
    };
    switch (type) {
        case REG_SZ:
            return text();
        case REG_EXPAND_SZ:
            return SettingValue::Text(text(), u"REG_EXPAND_SZ");
        case REG_DWORD:
            return number(u"REG_DWORD", 4, false);
        case REG_DWORD_BIG_ENDIAN:
            return number(u"REG_DWORD_BIG_ENDIAN", 4, true);
        case REG_QWORD:
            return number(u"REG_QWORD", 8, false);
        case REG_NONE:
            return SettingValue::Unreadable(u"REG_NONE");
        case REG_BINARY:
            return SettingValue::Unreadable(u"REG_BINARY");
        case REG_MULTI_SZ:
            return SettingValue::Unreadable(u"REG_MULTI_SZ");
        case REG_LINK:
            return SettingValue::Unreadable(u"REG_LINK");
        default:
            return SettingValue::Unreadable(u"registry type " + DecimalText(type));
    }
}

std::optional<SettingValue> RegistrySettingsStore::ReadSetting(std::u16string_view application,
                                                               std::u16string_view section,
                                                               std::u16string_view key) {
    RegistryKey opened;
    if (RegOpenKeyExW(HKEY_CURRENT_USER, KeyPath(application, section).c_str(), 0, KEY_QUERY_VALUE,
                      PutOut(opened)) != ERROR_SUCCESS) {
        return std::nullopt;
    }
    const std::wstring name = win32::Wide(key);
    // The value may change between the size query and the read; ask again until it fits.
    for (;;) {
        DWORD type = 0, size = 0;
        LONG status = RegQueryValueExW(opened.get(), name.c_str(), nullptr, &type, nullptr, &size);
        if (status == ERROR_FILE_NOT_FOUND) return std::nullopt;
        if (status != ERROR_SUCCESS) ThrowRegistryError(status);
        std::vector<BYTE> data(size + sizeof(wchar_t));
        DWORD got = size;
        status = RegQueryValueExW(opened.get(), name.c_str(), nullptr, &type, data.data(), &got);
        if (status == ERROR_MORE_DATA) continue;
        if (status == ERROR_FILE_NOT_FOUND) return std::nullopt;
        if (status != ERROR_SUCCESS) ThrowRegistryError(status);
        return RegistryValue(type, data.data(), got);
    }
}

void RegistrySettingsStore::SaveSetting(std::u16string_view application,
                                        std::u16string_view section, std::u16string_view key,
                                        std::u16string_view value) {
    const std::wstring data = win32::Wide(value);
    Save(application, section, key, REG_SZ, data.c_str(), (data.size() + 1) * sizeof(wchar_t));
}

void RegistrySettingsStore::SaveNumber(std::u16string_view application, std::u16string_view section,
                                       std::u16string_view key, uint64_t value) {
    if (value <= 0xFFFFFFFF) {
        const auto dword = static_cast<DWORD>(value);
        Save(application, section, key, REG_DWORD, &dword, sizeof dword);
    } else {
        Save(application, section, key, REG_QWORD, &value, sizeof value);
    }
}

void RegistrySettingsStore::Save(std::u16string_view application, std::u16string_view section,
                                 std::u16string_view key, unsigned long type, const void* data,
                                 size_t bytes) {
    RegistryKey created;
    LONG status =
        RegCreateKeyExW(HKEY_CURRENT_USER, KeyPath(application, section).c_str(), 0, nullptr,
                        REG_OPTION_NON_VOLATILE, KEY_SET_VALUE, nullptr, PutOut(created), nullptr);
    if (status == ERROR_INVALID_PARAMETER && LongestPart(section) > kLongestKeyName) {
        throw TooLong(u"section");
    }
    if (status != ERROR_SUCCESS) ThrowRegistryError(status);
    const std::wstring name = win32::Wide(key);
    status = RegSetValueExW(created.get(), name.c_str(), 0, type, static_cast<const BYTE*>(data),
                            static_cast<DWORD>(bytes));
    if (status == ERROR_INVALID_PARAMETER && key.size() > kLongestValueName) throw TooLong(u"key");
    if (status != ERROR_SUCCESS) ThrowRegistryError(status);
}

namespace {

using Entry = RegistrySettingsStore::Entry;

// What `key` says of its longest names and data, for sizing buffers.
struct KeySizes {
    DWORD longest_subkey = 0, longest_name = 0, largest_data = 0;
};

KeySizes SizesOf(HKEY key) {
    KeySizes sizes;
    const LONG status =
        RegQueryInfoKeyW(key, nullptr, nullptr, nullptr, nullptr, &sizes.longest_subkey, nullptr,
                         nullptr, &sizes.longest_name, &sizes.largest_data, nullptr, nullptr);
    if (status != ERROR_SUCCESS) ThrowRegistryError(status);
    return sizes;
}

// The values of `key` as entries of `section`. The buffers grow when a name or a value
// changed since the key was sized.
void ListValues(HKEY key, const KeySizes& sizes, const std::u16string& section,
                std::vector<Entry>& entries) {
    std::vector<wchar_t> name(sizes.longest_name + 1);
    std::vector<BYTE> data(sizes.largest_data + sizeof(wchar_t));
    for (DWORD index = 0;;) {
        DWORD name_length = static_cast<DWORD>(name.size());
        DWORD type = 0;
        DWORD size = static_cast<DWORD>(data.size());
        const LONG status = RegEnumValueW(key, index, name.data(), &name_length, nullptr, &type,
                                          data.data(), &size);
        if (status == ERROR_NO_MORE_ITEMS) break;
        if (status == ERROR_MORE_DATA) {
            name.resize(name.size() * 2);
            data.resize(std::max<size_t>(data.size() * 2, size + sizeof(wchar_t)));
            continue;
        }
        if (status != ERROR_SUCCESS) ThrowRegistryError(status);
        ++index;
        entries.push_back({section, win32::Utf16(std::wstring_view(name.data(), name_length)),
                           RegistryValue(type, data.data(), size)});
    }
}

// Calls `visit` with the name of each key nested in `key`.
template <class Visit>
void ForEachSubkey(HKEY key, const KeySizes& sizes, Visit&& visit) {
    std::vector<wchar_t> subkey(sizes.longest_subkey + 1);
    for (DWORD index = 0;;) {
        DWORD length = static_cast<DWORD>(subkey.size());
        const LONG status =
            RegEnumKeyExW(key, index, subkey.data(), &length, nullptr, nullptr, nullptr, nullptr);
        if (status == ERROR_NO_MORE_ITEMS) break;
        if (status == ERROR_MORE_DATA) {
            subkey.resize(subkey.size() * 2);
            continue;
        }
        if (status != ERROR_SUCCESS) ThrowRegistryError(status);
        ++index;
        visit(std::wstring_view(subkey.data(), length));
    }
}

// The values of `key` as entries of `section`, then those of its nested keys, whose
// sections are their full paths below the application's key.
void ListKey(HKEY key, const std::u16string& section, std::vector<Entry>& entries) {
    const KeySizes sizes = SizesOf(key);
    ListValues(key, sizes, section, entries);
    ForEachSubkey(key, sizes, [&](std::wstring_view part) {
        RegistryKey nested;
        if (RegOpenKeyExW(key, std::wstring(part).c_str(), 0, KEY_READ, PutOut(nested)) !=
            ERROR_SUCCESS) {
            return;  // gone since it was counted
        }
        std::u16string path = section;
        if (!path.empty()) path += u'\\';
        path += win32::Utf16(part);
        ListKey(nested.get(), path, entries);
    });
}

}  // namespace

std::vector<RegistrySettingsStore::Entry> RegistrySettingsStore::List(
    std::u16string_view application) {
    std::vector<Entry> entries;
    RegistryKey opened;
    const LONG status = RegOpenKeyExW(HKEY_CURRENT_USER, KeyPath(application, u"").c_str(), 0,
                                      KEY_READ, PutOut(opened));
    if (status == ERROR_FILE_NOT_FOUND) return entries;
    if (status != ERROR_SUCCESS) ThrowRegistryError(status);
    ListKey(opened.get(), u"", entries);
    std::sort(entries.begin(), entries.end(), [](const Entry& a, const Entry& b) {
        return a.section != b.section ? a.section < b.section : a.key < b.key;
    });
    return entries;
}

}  // namespace murl
