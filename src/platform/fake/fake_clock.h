#pragma once
// A clock that stands still at a settable moment. Now() can be told to fail (ClockCall::Now).

#include "platform/clock.h"
#include "platform/fake/fail_plan.h"

namespace murl {

enum class ClockCall { Now };

class FakeClock : public Clock, public FailPlan<ClockCall> {
public:
    explicit FakeClock(DateTime now = {2007, 3, 5, 12, 0, 0}) : now_(now) {}
    void Set(const DateTime& now) { now_ = now; }
    DateTime Now() override {
        CountOrFail(ClockCall::Now);
        return now_;
    }

private:
    DateTime now_;
};

}  // namespace murl
