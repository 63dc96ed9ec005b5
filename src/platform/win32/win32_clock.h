#pragma once
#include "platform/clock.h"

namespace murl {

class Win32Clock : public Clock {
public:
    DateTime Now() override;
};

}  // namespace murl
