#include "sim/fixed_clock.h"

namespace murl::sim {

namespace {

bool Digits(std::string_view text, size_t at, size_t count, int& value) noexcept {
    value = 0;
    for (size_t i = at; i < at + count; ++i) {
        if (text[i] < '0' || text[i] > '9') return false;
        value = value * 10 + (text[i] - '0');
    }
    return true;
}

bool LeapYear(int year) noexcept {
    return (year % 4 == 0 && year % 100 != 0) || year % 400 == 0;
}

}  // namespace

std::optional<DateTime> ParseDateTime(std::string_view text) noexcept {
    // YYYY-MM-DD HH:MM:SS
    if (text.size() != 19 || text[4] != '-' || text[7] != '-' || text[10] != ' ' ||
        text[13] != ':' || text[16] != ':') {
        return std::nullopt;
    }
    DateTime at;
    if (!Digits(text, 0, 4, at.year) || !Digits(text, 5, 2, at.month) ||
        !Digits(text, 8, 2, at.day) || !Digits(text, 11, 2, at.hour) ||
        !Digits(text, 14, 2, at.minute) || !Digits(text, 17, 2, at.second)) {
        return std::nullopt;
    }
    static constexpr int kDays[] = {31, 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
    if (at.year < 100 || at.month < 1 || at.month > 12 || at.day < 1) return std::nullopt;
    const int days = kDays[at.month - 1] + (at.month == 2 && LeapYear(at.year) ? 1 : 0);
    if (at.day > days || at.hour > 23 || at.minute > 59 || at.second > 59) return std::nullopt;
    return at;
}

}  // namespace murl::sim
