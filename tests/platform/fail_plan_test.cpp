#include <gtest/gtest.h>

#include "platform/fake/fail_plan.h"

namespace murl {
namespace {

// Which of five calls of "Op" fail, given the plan.
std::string Outcomes(FailPlan& plan) {
    std::string outcome;
    for (int i = 0; i < 5; ++i) {
        try {
            plan.CountOrFail("Op");
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
        void (*plan)(FailPlan&);
        const char* outcomes;
    };
    const Case kCases[] = {
        {"third call", [](FailPlan& p) { p.fail_at("Op", Error(1), 3); }, "..1.."},
        {"counted from when planned",
         [](FailPlan& p) {
             p.CountOrFail("Op");
             p.fail_at("Op", Error(1), 2);
         },
         ".1..."},
        {"two plans",
         [](FailPlan& p) {
             p.fail_at("Op", Error(1), 2);
             p.fail_at("Op", Error(2), 2);
             p.fail_at("Op", Error(3), 4);
         },
         ".1.3."},
        {"other operation", [](FailPlan& p) { p.fail_at("Other", Error(1)); }, "....."},
        {"always", [](FailPlan& p) { p.fail_always("Op", Error(4)); }, "44444"},
    };
    for (const Case& c : kCases) {
        SCOPED_TRACE(c.name);
        FailPlan plan;
        c.plan(plan);
        plan.clear_calls();
        EXPECT_EQ(Outcomes(plan), c.outcomes);
        EXPECT_EQ(plan.count("Op"), 5);
    }
}

}  // namespace
}  // namespace murl
