#pragma once
// Conversions between the settings store's text values and the plug-in's counters and switches.

#include <cstdint>
#include <string>
#include <string_view>

#include "host/host.h"
#include "platform/settings_store.h"

namespace murl {

// A stored counter text as a signed 32-bit integer.
// Accepted: blanks (space, tab) around, an optional sign, decimal digits with an optional
// fraction and an optional exponent (e or E, optional sign), at least one mantissa digit.
// The exact value is rounded to the nearest integer, a half to the even neighbour.
// Throws Error 13 "Type mismatch" for anything else (the empty text included) and
// Error 6 "Overflow" when the rounded value is outside the signed 32-bit range.
int32_t NumberFromText(std::u16string_view text);

// A stored switch text as a host Boolean: "True"/"False" in any letter case (blanks around
// allowed), or a numeric text as above that gives false for zero and true for any other value.
// Throws Error 13 "Type mismatch" for anything else.
HostBool BooleanFromText(std::u16string_view text);

// A stored counter as a signed 32-bit integer: a text as NumberFromText reads it, a number
// as it is (Error 6 "Overflow" outside the signed 32-bit range). A value of any other type
// throws Error 13 "Type mismatch", its description naming the type.
int32_t CounterFromStored(const SettingValue& value);

// A stored switch as a host Boolean: a text as BooleanFromText reads it, a number as false for
// zero and true for any other. A value of any other type throws as CounterFromStored does.
HostBool SwitchFromStored(const SettingValue& value);

// A stored number's decimal text: a leading "-" when negative, no leading zeros.
std::u16string StoredNumberText(const SettingValue& value);

// A stored value for people: a text as ReadableText shows it (cut to `most` units), a number
// as StoredNumberText; the store's name of its type follows when it is not the plain text.
std::string ShownValue(const SettingValue& value, size_t most = std::u16string_view::npos);

// A switch as stored: "True" for any non-zero host Boolean, "False" for 0.
std::u16string SwitchText(HostBool value);

}  // namespace murl
