#pragma once
#include <cstdint>
#include <string>

namespace murl {

// A local date and time to the second.
struct DateTime {
    int year = 0, month = 0, day = 0, hour = 0, minute = 0, second = 0;
    bool operator==(const DateTime&) const = default;
};

// "YYYY-MM-DD HH:MM:SS".
std::u16string FormatDateTime(const DateTime& at);

class Clock {
public:
    virtual ~Clock() = default;
    virtual DateTime Now() = 0;  // current local date and time
};

}  // namespace murl
