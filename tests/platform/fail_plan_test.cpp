#include <gtest/gtest.h>

#include "platform/fake/fail_plan.h"

namespace murl {
namespace {

enum class Call { Op, Other };
using Plan = FailPlan<Call>;

// Which of five calls of Op fail, given the plan.
std::string Outcomes(Plan& plan) {
    std::string outcome;
    for (int i = 0; i < 5; ++i) {
        try {
            plan.CountOrFail(Call::Op);
            outcome += '.';
        } catch (const Error& e) {
            outcome += static_cast<char>('0' + e.number());
        }
    }
    return outcome;
}

TEST(FailPlan, FailsTheChosenCallsOfTheNamedOperation) {
    struct Case {
        const char* name;
        void (*plan)(Plan&);
        const char* outcomes;
    };
    const Case kCases[] = {
        {"third call", [](Plan& p) { p.fail_at(Call::Op, Error(1), 3); }, "..1.."},
        {"counted from when planned",
         [](Plan& p) {
             p.CountOrFail(Call::Op);
             p.fail_at(Call::Op, Error(1), 2);
         },
         ".1..."},
        {"two plans",
         [](Plan& p) {
             p.fail_at(Call::Op, Error(1), 2);
             p.fail_at(Call::Op, Error(2), 2);
             p.fail_at(Call::Op, Error(3), 4);
         },
         ".1.3."},
        {"other operation", [](Plan& p) { p.fail_at(Call::Other, Error(1)); }, "....."},
        {"always", [](Plan& p) { p.fail_always(Call::Op, Error(4)); }, "44444"},
    };
    for (const Case& c : kCases) {
        SCOPED_TRACE(c.name);
        Plan plan;
        c.plan(plan);
        plan.clear_calls();
        EXPECT_EQ(Outcomes(plan), c.outcomes);
        EXPECT_EQ(plan.count(Call::Op), 5);
    }
}

}  // namespace
}  // namespace murl
