#pragma once
// Failure injection shared by the fakes: each operation is counted by name, and a planned
// failure is thrown when its call comes.

#include <map>
#include <string>
#include <string_view>
#include <vector>

#include "host/error.h"

namespace murl {

class FailPlan {
public:
    // The `nth` call of `operation` from now on (1 = the next one) throws `error`, once.
    // Several failures may be planned for different calls.
    void fail_at(std::string_view operation, Error error, int nth = 1);
    // Every later call of `operation` throws `error`.
    void fail_always(std::string_view operation, Error error);
    void clear_failures();

    // Counts a call of `operation` and throws if a failure was planned for it.
    void CountOrFail(std::string_view operation);

    // Every operation called since construction or clear_calls, in order, failed ones
    // included; count() counts one operation in it.
    const std::vector<std::string>& calls() const noexcept { return calls_; }
    int count(std::string_view operation) const;
    void clear_calls() { calls_.clear(); }

private:
    struct Planned {
        std::string operation;
        Error error;
        int call;  // the operation's call number that fails; 0 fails every call
    };
    std::vector<Planned> planned_;
    std::vector<std::string> calls_;
    std::map<std::string, int, std::less<>> totals_;  // calls per operation, never cleared
};

}  // namespace murl
