#pragma once
// What the error log holds, gathered a line at a time as the doctor reads it: how many
// entries, the last few, and the failure that recurs most, with its first and last time.

#include <cstddef>
#include <deque>
#include <string>
#include <string_view>
#include <unordered_map>

namespace murl::doctor {

// A failure as it recurs in the log: its words (an entry without its time) and when.
struct Recurring {
    std::string failure;
    size_t count = 0;
    std::string first, last;  // the times of its first and last entry
};

class LogSummary {
public:
    explicit LogSummary(size_t kept) : kept_(kept) {}

    // One line of the log, UTF-8, without its line break: "TIME<tab>WHAT". An empty line is
    // no entry.
    void Add(std::string_view line);

    size_t entries() const noexcept { return entries_; }
    // The last `kept` entries, oldest first, with the tab shown as a blank.
    const std::deque<std::string>& last() const noexcept { return last_; }
    // The failure with the most entries; of those equally frequent, the one seen first.
    Recurring MostFrequent() const;

private:
    struct Seen {
        size_t count = 0, order = 0;
        std::string first, last;
    };
    size_t kept_;
    size_t entries_ = 0;
    std::deque<std::string> last_;
    std::unordered_map<std::string, Seen> failures_;
};

}  // namespace murl::doctor
