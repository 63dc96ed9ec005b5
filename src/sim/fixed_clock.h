#pragma once
// A clock stopped at one moment, so that every reading (and every log line) is reproducible.

#include <optional>
#include <string_view>

#include "platform/clock.h"

namespace murl::sim {

class FixedClock final : public Clock {
public:
    explicit FixedClock(const DateTime& at) noexcept : at_(at) {}
    DateTime Now() override { return at_; }

private:
    DateTime at_;
};

// "YYYY-MM-DD HH:MM:SS" as a valid date and time; nothing for any other text.
std::optional<DateTime> ParseDateTime(std::string_view text) noexcept;

}  // namespace murl::sim
