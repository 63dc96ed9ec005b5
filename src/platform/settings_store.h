#pragma once
// The per-user settings store: values addressed by (application, section, key).
// Any text is a valid section or key, the empty one included. Murl writes only text; a value
// that something else stored may be a number, or of a type that Murl cannot read.

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <utility>

namespace murl {

// One stored value as the store holds it.
struct SettingValue {
    enum class Kind { kText, kNumber, kUnreadable };
    Kind kind = Kind::kText;
    std::u16string text;     // kText: the value
    bool negative = false;   // kNumber: the magnitude, negated when negative
    uint64_t magnitude = 0;  //
    std::u16string type;     // the store's name of the value's type; empty for its plain text

    SettingValue() = default;
    // Plain text, as Murl stores it.
    SettingValue(std::u16string plain) : text(std::move(plain)) {}  // NOLINT: implicit
    SettingValue(const char16_t* plain) : text(plain) {}            // NOLINT: implicit

    static SettingValue Text(std::u16string text, std::u16string type) {
        SettingValue v(std::move(text));
        v.type = std::move(type);
        return v;
    }
    static SettingValue Number(int64_t value, std::u16string type) {
        SettingValue v = Unsigned(
            value < 0 ? uint64_t{0} - static_cast<uint64_t>(value) : static_cast<uint64_t>(value),
            std::move(type));
        v.negative = value < 0;
        return v;
    }
    static SettingValue Unsigned(uint64_t value, std::u16string type) {
        SettingValue v;
        v.kind = Kind::kNumber;
        v.magnitude = value;
        v.type = std::move(type);
        return v;
    }
    static SettingValue Unreadable(std::u16string type) {
        SettingValue v;
        v.kind = Kind::kUnreadable;
        v.type = std::move(type);
        return v;
    }
    bool operator==(const SettingValue&) const = default;
};

class SettingsStore {
public:
    virtual ~SettingsStore() = default;
    // The stored value, or nothing when the application, section or key is absent.
    // Never creates anything.
    virtual std::optional<SettingValue> ReadSetting(std::u16string_view application,
                                                    std::u16string_view section,
                                                    std::u16string_view key) = 0;
    // Creates what is missing and replaces an existing value; always stores text.
    virtual void SaveSetting(std::u16string_view application, std::u16string_view section,
                             std::u16string_view key, std::u16string_view value) = 0;

    // The stored text, or `fallback` when the entry is absent. A value that is not text throws
    // Error 13 "Type mismatch" rather than reading as absent.
    std::u16string GetSetting(std::u16string_view application, std::u16string_view section,
                              std::u16string_view key, std::u16string_view fallback);
};

}  // namespace murl
