// The stored-text conversions on any text: they fail only as documented, agree with each
// other, survive a round trip through the text they would store, and match a plain model on
// short decimal texts. The first byte chooses how the rest becomes text: one unit per byte
// (even) or two bytes per unit (odd).

#include <optional>
#include <string>

#include "fuzz_support.h"
#include "host/error.h"
#include "plugin/conversions.h"

namespace murl::fuzz {
namespace {

struct Outcome {
    bool ok = false;
    int32_t value = 0;  // when ok
    int32_t error = 0;  // the Error's number otherwise

    bool operator==(const Outcome&) const = default;
    std::string Show() const {
        return ok ? std::to_string(value) : "error " + std::to_string(error);
    }
};

template <class Convert>
Outcome Try(Convert&& convert) {
    try {
        return {true, convert(), 0};
    } catch (const Error& e) {
        return {false, 0, e.number()};
    }
}

Outcome Number(std::u16string_view text) {
    return Try([&] { return NumberFromText(text); });
}
Outcome Boolean(std::u16string_view text) {
    return Try([&] { return int32_t{BooleanFromText(text)}; });
}

bool IsBlank(char16_t c) {
    return c == u' ' || c == u'\t';
}
bool IsDigit(char16_t c) {
    return c >= u'0' && c <= u'9';
}

std::u16string_view Trimmed(std::u16string_view text) {
    while (!text.empty() && IsBlank(text.front())) text.remove_prefix(1);
    while (!text.empty() && IsBlank(text.back())) text.remove_suffix(1);
    return text;
}

bool IsBooleanWord(std::u16string_view text) {
    const auto word = Trimmed(text);
    std::u16string lowered(word);
    for (auto& c : lowered) c = AsciiLower(c);
    return lowered == u"true" || lowered == u"false";
}

// The number conversion for texts of at most 18 mantissa digits and a one- or two-digit
// exponent, with integer arithmetic only; nothing for any other text.
std::optional<Outcome> NumberModel(std::u16string_view text) {
    text = Trimmed(text);
    size_t i = 0;
    bool negative = false;
    if (i < text.size() && (text[i] == u'+' || text[i] == u'-')) negative = text[i++] == u'-';
    int64_t mantissa = 0;
    int digits = 0, scale = 0;  // value = mantissa * 10^-scale
    auto digit = [&] {
        if (++digits > 18) return false;
        mantissa = mantissa * 10 + (text[i] - u'0');
        return true;
    };
    for (; i < text.size() && IsDigit(text[i]); ++i) {
        if (!digit()) return std::nullopt;
    }
    if (i < text.size() && text[i] == u'.') {
        for (++i; i < text.size() && IsDigit(text[i]); ++i, ++scale) {
            if (!digit()) return std::nullopt;
        }
    }
    if (digits == 0) return std::nullopt;
    if (i < text.size() && (text[i] == u'e' || text[i] == u'E')) {
        ++i;
        bool negative_exponent = false;
        if (i < text.size() && (text[i] == u'+' || text[i] == u'-'))
            negative_exponent = text[i++] == u'-';
        int exponent = 0, exponent_digits = 0;
        for (; i < text.size() && IsDigit(text[i]); ++i) {
            if (++exponent_digits > 2) return std::nullopt;
            exponent = exponent * 10 + (text[i] - u'0');
        }
        if (exponent_digits == 0) return std::nullopt;
        scale += negative_exponent ? exponent : -exponent;
    }
    if (i != text.size()) return std::nullopt;

    const int64_t limit = negative ? 2147483648LL : 2147483647LL;
    int64_t magnitude = 0;
    if (scale <= 0) {
        magnitude = mantissa;
        for (int k = 0; k < -scale && magnitude != 0; ++k) {
            if (magnitude > limit) break;
            magnitude *= 10;
        }
    } else if (scale > 18) {
        magnitude = 0;  // below 0.1
    } else {
        int64_t unit = 1;
        for (int k = 0; k < scale; ++k) unit *= 10;
        magnitude = mantissa / unit;
        const int64_t rest = mantissa % unit;
        if (rest * 2 > unit || (rest * 2 == unit && magnitude % 2 == 1)) ++magnitude;
    }
    if (magnitude > limit) return Outcome{false, 0, err::kOverflow};
    return Outcome{true, static_cast<int32_t>(negative ? -magnitude : magnitude), 0};
}

}  // namespace
}  // namespace murl::fuzz

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    using namespace murl;
    using namespace murl::fuzz;
    Input in(data, size);
    const bool wide = in.Byte() & 1;
    const std::u16string text = wide ? in.RestAsUtf16() : in.RestAsBytes();
    const std::string context = "text " + Show(text);

    const Outcome number = Number(text);
    const Outcome boolean = Boolean(text);
    FUZZ_CHECK(number.ok || number.error == err::kTypeMismatch || number.error == err::kOverflow,
               context + " gives " + number.Show());
    FUZZ_CHECK(boolean.ok ? boolean.value == kHostTrue || boolean.value == kHostFalse
                          : boolean.error == err::kTypeMismatch,
               context + " gives " + boolean.Show());

    // Blanks around change nothing.
    const std::u16string padded = u" \t" + text + u"\t ";
    FUZZ_CHECK(Number(padded) == number, context);
    FUZZ_CHECK(Boolean(padded) == boolean, context);

    // What the plug-in stores reads back as what it stored.
    if (number.ok) {
        FUZZ_CHECK(Number(DecimalText(number.value)) == number, context + " -> " + number.Show());
    }
    if (boolean.ok) {
        FUZZ_CHECK(Boolean(SwitchText(static_cast<HostBool>(boolean.value))) == boolean, context);
    }

    // A number is a switch too: non-zero (or out of range) is true; only "True"/"False" words
    // are switches that are not numbers.
    if (number.ok) FUZZ_CHECK(boolean.ok, context);
    if (number.ok && number.value != 0)
        FUZZ_CHECK(boolean.ok && boolean.value == kHostTrue, context);
    if (!number.ok && number.error == err::kOverflow)
        FUZZ_CHECK(boolean.ok && boolean.value == kHostTrue, context);
    if (!number.ok && number.error == err::kTypeMismatch)
        FUZZ_CHECK(boolean.ok == IsBooleanWord(text), context);

    if (const auto model = NumberModel(text)) {
        FUZZ_CHECK(*model == number,
                   context + " gives " + number.Show() + ", model " + model->Show());
    }
    return 0;
}
