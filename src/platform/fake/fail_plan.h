#pragma once
// Failure injection shared by the fakes: each fake names its operations in an enumeration of
// its own, so that a plan for an operation the fake does not have does not build. Each call is
// counted, and a planned failure is thrown when its call comes.

#include <algorithm>
#include <map>
#include <vector>

#include "host/error.h"

namespace murl {

template <class Operation>
class FailPlan {
public:
    // The `nth` call of `operation` from now on (1 = the next one) throws `error`, once.
    // Several failures may be planned for different calls.
    void fail_at(Operation operation, Error error, int nth = 1) {
        planned_.push_back({operation, std::move(error), totals_[operation] + std::max(nth, 1)});
    }
    // Every later call of `operation` throws `error`.
    void fail_always(Operation operation, Error error) {
        planned_.push_back({operation, std::move(error), 0});
    }
    void clear_failures() { planned_.clear(); }

    // Counts a call of `operation` and throws if a failure was planned for it.
    void CountOrFail(Operation operation) {
        calls_.push_back(operation);
        const int call = ++totals_[operation];
        auto due = std::find_if(planned_.begin(), planned_.end(), [&](const Planned& p) {
            return p.operation == operation && (p.call == 0 || p.call == call);
        });
        if (due == planned_.end()) return;
        Error error = due->error;
        if (due->call != 0) planned_.erase(due);
        throw error;
    }

    // Every operation called since construction or clear_calls, in order, failed ones
    // included; count() counts one operation in it.
    const std::vector<Operation>& calls() const noexcept { return calls_; }
    int count(Operation operation) const {
        return static_cast<int>(std::count(calls_.begin(), calls_.end(), operation));
    }
    void clear_calls() { calls_.clear(); }

private:
    struct Planned {
        Operation operation;
        Error error;
        int call;  // the operation's call number that fails; 0 fails every call
    };
    std::vector<Planned> planned_;
    std::vector<Operation> calls_;
    std::map<Operation, int> totals_;  // calls per operation, never cleared
};

}  // namespace murl
