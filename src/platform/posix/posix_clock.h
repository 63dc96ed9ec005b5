#pragma once
#include "platform/clock.h"

namespace murl {

// The system clock in the local time zone.
class PosixClock : public Clock {
public:
    DateTime Now() override;
};

}  // namespace murl
