#include "plugin/conversions.h"

#include <algorithm>
#include <optional>

#include "host/error.h"
#include "text/readable_text.h"
#include "text/text.h"

namespace murl {

namespace {

constexpr bool IsBlank(char16_t c) {
    return c == u' ' || c == u'\t';
}
constexpr bool IsDigit(char16_t c) {
    return c >= u'0' && c <= u'9';
}

std::u16string_view TrimBlanks(std::u16string_view text) {
    while (!text.empty() && IsBlank(text.front())) text.remove_prefix(1);
    while (!text.empty() && IsBlank(text.back())) text.remove_suffix(1);
    return text;
}

bool EqualsIgnoringAsciiCase(std::u16string_view text, std::u16string_view lower) {
    return text.size() == lower.size() &&
           std::equal(text.begin(), text.end(), lower.begin(),
                      [](char16_t a, char16_t b) { return AsciiLower(a) == b; });
}

// A decimal number held exactly as its text gives it: the mantissa digits (integer part, then
// fraction) and a power of ten. No digit string or exponent is too long to be judged exactly.
struct Decimal {
    bool negative = false;
    std::u16string_view whole;
    std::u16string_view fraction;
    int64_t exponent = 0;

    int64_t size() const { return static_cast<int64_t>(whole.size() + fraction.size()); }
    // Value of mantissa digit `i`; 0 outside the mantissa.
    int DigitAt(int64_t i) const {
        if (i < 0 || i >= size()) return 0;
        const auto w = static_cast<int64_t>(whole.size());
        return (i < w ? whole[i] : fraction[i - w]) - u'0';
    }
    int64_t FirstNonZero() const {
        int64_t i = 0;
        while (i < size() && DigitAt(i) == 0) ++i;
        return i;
    }
    bool IsZero() const { return FirstNonZero() == size(); }
};

// Beyond any digit count a text can hold, so clamping the exponent here changes no result.
constexpr int64_t kExponentLimit = 1'000'000'000'000'000;

std::optional<Decimal> ParseDecimal(std::u16string_view text) {
    text = TrimBlanks(text);
    Decimal d;
    size_t i = 0;
    if (i < text.size() && (text[i] == u'+' || text[i] == u'-')) d.negative = text[i++] == u'-';
    const size_t whole_start = i;
    while (i < text.size() && IsDigit(text[i])) ++i;
    d.whole = text.substr(whole_start, i - whole_start);
    if (i < text.size() && text[i] == u'.') {
        const size_t fraction_start = ++i;
        while (i < text.size() && IsDigit(text[i])) ++i;
        d.fraction = text.substr(fraction_start, i - fraction_start);
    }
    if (d.size() == 0) return std::nullopt;
    if (i < text.size() && (text[i] == u'e' || text[i] == u'E')) {
        ++i;
        bool negative_exponent = false;
        if (i < text.size() && (text[i] == u'+' || text[i] == u'-')) {
            negative_exponent = text[i++] == u'-';
        }
        const size_t exponent_start = i;
        for (; i < text.size() && IsDigit(text[i]); ++i) {
            d.exponent = std::min(d.exponent * 10 + (text[i] - u'0'), kExponentLimit);
        }
        if (i == exponent_start) return std::nullopt;
        if (negative_exponent) d.exponent = -d.exponent;
    }
    if (i != text.size()) return std::nullopt;
    return d;
}

// The magnitude of `d` rounded half to even, or nothing when it is 10^10 or more.
std::optional<int64_t> RoundedMagnitude(const Decimal& d) {
    const int64_t first = d.FirstNonZero();
    if (first == d.size()) return 0;
    // Mantissa index of the first digit after the decimal point once the exponent is applied.
    const int64_t point = static_cast<int64_t>(d.whole.size()) + d.exponent;
    if (point - first > 10) return std::nullopt;
    int64_t magnitude = 0;
    for (int64_t i = first; i < point; ++i) magnitude = magnitude * 10 + d.DigitAt(i);
    const int next = d.DigitAt(point);
    bool above_half = next > 5;
    if (next == 5) {
        for (int64_t i = point + 1; i < d.size() && !above_half; ++i)
            above_half = d.DigitAt(i) != 0;
    }
    if (above_half || (next == 5 && magnitude % 2 == 1)) ++magnitude;
    return magnitude;
}

}  // namespace

int32_t NumberFromText(std::u16string_view text) {
    const auto d = ParseDecimal(text);
    if (!d) throw Error(err::kTypeMismatch);
    const auto magnitude = RoundedMagnitude(*d);
    const int64_t limit = d->negative ? 2147483648LL : 2147483647LL;
    if (!magnitude || *magnitude > limit) throw Error(err::kOverflow);
    return static_cast<int32_t>(d->negative ? -*magnitude : *magnitude);
}

// A numeric switch text is judged by its exact value, not its rounded one, and has no range:
// "0.4" and "1e400" are true, "0e999999" is false.
HostBool BooleanFromText(std::u16string_view text) {
    const auto word = TrimBlanks(text);
    if (EqualsIgnoringAsciiCase(word, u"true")) return kHostTrue;
    if (EqualsIgnoringAsciiCase(word, u"false")) return kHostFalse;
    const auto d = ParseDecimal(word);
    if (!d) throw Error(err::kTypeMismatch);
    return d->IsZero() ? kHostFalse : kHostTrue;
}

namespace {

[[noreturn]] void ThrowUnreadable(const SettingValue& value) {
    throw Error(err::kTypeMismatch, std::u16string(StandardDescription(err::kTypeMismatch)) +
                                        u" (stored as " + value.type + u")");
}

}  // namespace

int32_t CounterFromStored(const SettingValue& value) {
    switch (value.kind) {
        case SettingValue::Kind::kText:
            return NumberFromText(value.text);
        case SettingValue::Kind::kNumber: {
            const uint64_t limit = value.negative ? uint64_t{2147483648} : uint64_t{2147483647};
            if (value.magnitude > limit) throw Error(err::kOverflow);
            const auto magnitude = static_cast<int64_t>(value.magnitude);
            return static_cast<int32_t>(value.negative ? -magnitude : magnitude);
        }
        case SettingValue::Kind::kUnreadable:
            break;
    }
    ThrowUnreadable(value);
}

HostBool SwitchFromStored(const SettingValue& value) {
    switch (value.kind) {
        case SettingValue::Kind::kText:
            return BooleanFromText(value.text);
        case SettingValue::Kind::kNumber:
            return value.magnitude != 0 ? kHostTrue : kHostFalse;
        case SettingValue::Kind::kUnreadable:
            break;
    }
    ThrowUnreadable(value);
}

std::u16string StoredNumberText(const SettingValue& value) {
    return DecimalText(Whole{value.magnitude, value.negative});
}

std::string ShownValue(const SettingValue& value, size_t most) {
    std::string shown;
    switch (value.kind) {
        case SettingValue::Kind::kText:
            shown = ReadableText(value.text, most);
            break;
        case SettingValue::Kind::kNumber:
            shown = DecimalUtf8(Whole{value.magnitude, value.negative});
            break;
        case SettingValue::Kind::kUnreadable:
            shown = "an unreadable value";
            break;
    }
    if (!value.type.empty()) shown += " (" + ToUtf8(value.type) + ")";
    return shown;
}

std::u16string SwitchText(HostBool value) {
    return value != 0 ? u"True" : u"False";
}

}  // namespace murl
