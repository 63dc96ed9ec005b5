#pragma once
// A port's system calls as one table of function pointers, so that a test can make any of them
// fail, stop short, be interrupted or race with another program. Product code calls through
// the table and cannot change it; only a test's StandIns can, and only until it goes.

namespace murl {

template <typename Calls>
class StandIns;

// `Calls` is a struct of function pointers. The table starts out as the real calls.
template <typename Calls>
class CallTable {
public:
    constexpr explicit CallTable(const Calls& real) noexcept : real_(real), in_use_(real) {}
    CallTable(const CallTable&) = delete;
    CallTable& operator=(const CallTable&) = delete;

    // The calls in use: the real ones unless a test has put stand-ins in.
    const Calls* operator->() const noexcept { return &in_use_; }
    // The real calls, for a stand-in to pass on to.
    const Calls& real() const noexcept { return real_; }

private:
    friend class StandIns<Calls>;

    const Calls real_;
    Calls in_use_;
};

// Lets a test put stand-ins into a table while it lives (`stand_ins->write = ...`); when it
// goes, the calls it found are back (the real ones, unless holders are nested), however the
// test ended.
template <typename Calls>
class StandIns {
public:
    explicit StandIns(CallTable<Calls>& table) noexcept : table_(table), found_(table.in_use_) {}
    ~StandIns() { table_.in_use_ = found_; }
    StandIns(const StandIns&) = delete;
    StandIns& operator=(const StandIns&) = delete;

    Calls* operator->() const noexcept { return &table_.in_use_; }
    Calls& operator*() const noexcept { return table_.in_use_; }

private:
    CallTable<Calls>& table_;
    const Calls found_;
};

}  // namespace murl
