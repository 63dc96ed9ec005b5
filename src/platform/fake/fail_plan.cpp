#include "platform/fake/fail_plan.h"

#include <algorithm>

namespace murl {

void FailPlan::fail_at(std::string_view operation, Error error, int nth) {
    auto total = totals_.find(operation);
    const int call = (total == totals_.end() ? 0 : total->second) + std::max(nth, 1);
    planned_.push_back({std::string(operation), std::move(error), call});
}

void FailPlan::fail_always(std::string_view operation, Error error) {
    planned_.push_back({std::string(operation), std::move(error), 0});
}

void FailPlan::clear_failures() {
    planned_.clear();
}

int FailPlan::count(std::string_view operation) const {
    return static_cast<int>(std::count(calls_.begin(), calls_.end(), operation));
}

void FailPlan::CountOrFail(std::string_view operation) {
    calls_.emplace_back(operation);
    auto total = totals_.find(operation);
    if (total == totals_.end()) total = totals_.emplace(std::string(operation), 0).first;
    const int call = ++total->second;
    auto due = std::find_if(planned_.begin(), planned_.end(), [&](const Planned& p) {
        return p.operation == operation && (p.call == 0 || p.call == call);
    });
    if (due == planned_.end()) return;
    Error error = due->error;
    if (due->call != 0) planned_.erase(due);
    throw error;
}

}  // namespace murl
