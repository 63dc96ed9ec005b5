#pragma once
// What the error log holds, gathered as the doctor reads it, in memory bounded whatever the
// log's size or content: how many entries, the last few as a player can read them, the failure
// that recurs most with its first and last time, and the stretches of zero bytes that a crash
// or a power cut leaves in a file that was being appended to.

#include <cstddef>
#include <cstdint>
#include <deque>
#include <string>
#include <string_view>
#include <unordered_map>
#include <vector>

namespace murl::doctor {

// Units of an entry shown; a longer one is cut, and marked so.
inline constexpr size_t kShownUnits = 300;

// A failure as it recurs in the log: its words (an entry without its time, as shown) and when.
struct Recurring {
    std::string failure;
    size_t count = 0;
    std::string first, last;  // the times of its first and last entry, as shown
};

// A run of zero bytes: no text Murl writes holds one, so it is what a crash or a power cut
// leaves of writes that never reached the disk.
struct Stretch {
    uint64_t offset = 0, length = 0;
};

class LogSummary {
public:
    explicit LogSummary(size_t kept) : kept_(kept) {}

    // The log's next bytes, as read: Windows-1252 text, an entry a line ("TIME<tab>WHAT" and a
    // line break). An empty line is no entry; a stretch of zero bytes ends the line before it.
    void Read(std::string_view bytes);
    // No more bytes: ends the last line.
    void End();

    uint64_t bytes() const noexcept { return offset_; }
    size_t entries() const noexcept { return entries_; }
    // The last `kept` entries, oldest first, quoted and escaped as ReadableText shows them and
    // cut at kShownUnits, the tab after the time shown as a blank.
    const std::deque<std::string>& last() const noexcept { return last_; }
    // The failure with the most entries; of those equally frequent, the one seen first. Only
    // a bounded number of different failures is followed: past it, a failure seen once makes
    // room for a new one, and when none was seen once, a new one is not followed.
    Recurring MostFrequent() const;

    // The first few stretches of zero bytes, in the order of the log, and how many there are
    // and how many bytes they hold in all.
    const std::vector<Stretch>& stretches() const noexcept { return stretches_; }
    size_t stretch_count() const noexcept { return stretch_count_; }
    uint64_t stretch_bytes() const noexcept { return stretch_bytes_; }
    // Entries after the last stretch, what Murl appended once it was there; 0 without one.
    size_t entries_after_stretch() const noexcept { return entries_after_stretch_; }

private:
    struct Seen {
        size_t count = 0, order = 0;
        std::string first, last;
    };
    void AddToLine(std::string_view bytes);
    void SettleZeros();
    void EndLine();
    void AddEntry(std::string_view bytes);
    Seen* Follow(const std::string& failure);

    size_t kept_;
    uint64_t offset_ = 0;
    // The line being read: its first bytes, enough to show it and tell that it was cut, and
    // its whole length.
    std::string line_;
    uint64_t line_length_ = 0;
    // Zero bytes read and not yet known to be a stretch or characters of the line.
    uint64_t zeros_ = 0, zeros_at_ = 0;

    size_t entries_ = 0;
    std::deque<std::string> last_;
    std::unordered_map<std::string, Seen> failures_;
    size_t order_ = 0;
    bool following_ = true;  // new failures are still followed

    std::vector<Stretch> stretches_;
    size_t stretch_count_ = 0;
    uint64_t stretch_bytes_ = 0;
    size_t entries_after_stretch_ = 0;
};

// The report's words for a stretch: where it lies and how long it is.
std::string DescribeStretch(const Stretch& stretch);

}  // namespace murl::doctor
