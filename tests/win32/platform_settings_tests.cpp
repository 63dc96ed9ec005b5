// The registry settings store against the real registry.

#include "platform_test_support.h"

#include "platform/win32/win32_platform.h"

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
